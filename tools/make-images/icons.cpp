// The project's own images, drawn with the graphics layer: spinners, the play/pause morph,
// player and timeline controls, event placeholders and small marks. Icons that screens tint are
// drawn in one dark colour (only their shape matters); the others carry their own colours.
#include "icons.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/graphics/path.h"

namespace dk::tools {
namespace {

using platform::Color;
using platform::GraphicsContext;
using platform::LineCap;
using platform::LineJoin;
using platform::Path;
using platform::Point;
using platform::Rect;
using platform::Size;

constexpr double kPi = std::numbers::pi;
const Color kInk = Color::rgba(0x33 / 255.0, 0x33 / 255.0, 0x33 / 255.0);
const Color kWhite = Color::whiteColor();
const Color kGrey = Color::rgba(0.55, 0.56, 0.58);
const Color kGreen = Color::rgba(0x80 / 255.0, 0xab / 255.0, 0x54 / 255.0);

void strokeStyle(GraphicsContext& c, const Color& color, double width) {
  c.setStrokeColor(color);
  c.setLineWidth(width);
  c.setLineCap(LineCap::Round);
  c.setLineJoin(LineJoin::Round);
}

Path polygon(std::initializer_list<Point> points) {
  Path p;
  for (const Point& q : points) p.lineTo(q);
  p.close();
  return p;
}

Point mix(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

double easeInOut(double t) { return t * t * (3 - 2 * t); }

// --- Spinner: a faint track and a quarter arc, turned 4 degrees per frame (90 frames a turn) ---
Icon spinnerFrame(const std::string& name, int frame, const Color& color) {
  return {name + std::to_string(frame), {40, 40}, [frame, color](GraphicsContext& c) {
            const Point centre{20, 20};
            strokeStyle(c, color.withAlpha(0.25), 3.5);
            c.strokePath(Path::arc(centre, 15, 0, 2 * kPi, true));
            const double start = -kPi / 2 + (frame - 1) * 2 * kPi / 90;
            strokeStyle(c, color, 3.5);
            c.strokePath(Path::arc(centre, 15, start, start + kPi / 2, true));
          }};
}

// --- Play / pause: the triangle's two halves become the two bars ---
struct Quads {
  Point left[4];
  Point right[4];
};

Quads playQuads() {
  return {{{9, 6}, {17, 10.6}, {17, 19.4}, {9, 24}}, {{17, 10.6}, {24.5, 15}, {24.5, 15}, {17, 19.4}}};
}

Quads pauseQuads() { return {{{8, 6}, {13, 6}, {13, 24}, {8, 24}}, {{17, 6}, {22, 6}, {22, 24}, {17, 24}}}; }

void drawMorph(GraphicsContext& c, double t, const Color& color) {
  const Quads a = playQuads(), b = pauseQuads();
  const double e = easeInOut(std::clamp(t, 0.0, 1.0));
  c.setFillColor(color);
  for (auto side : {&Quads::left, &Quads::right}) {
    Path p;
    for (int i = 0; i < 4; ++i) p.lineTo(mix((a.*side)[i], (b.*side)[i], e));
    p.close();
    c.fillPath(p);
  }
}

Icon morphFrame(const std::string& name, int frame, bool toPause) {
  const double t = (frame - 1) / 20.0;
  return {name + std::to_string(frame), {30, 30},
          [t, toPause](GraphicsContext& c) { drawMorph(c, toPause ? t : 1 - t, kWhite); }};
}

// --- Player controls (white, drawn over video) ---
void triangle(GraphicsContext& c, Point tip, double height, double width, bool pointsRight) {
  const double dir = pointsRight ? 1 : -1;
  c.fillPath(polygon({{tip.x - dir * width, tip.y - height / 2}, tip, {tip.x - dir * width, tip.y + height / 2}}));
}

void skipIcon(GraphicsContext& c, bool next, const Color& color) {
  // Two triangles run into a bar: skip to the next or previous recording.
  c.setFillColor(color);
  if (next) {
    triangle(c, {15, 15}, 14, 8, true);
    triangle(c, {22, 15}, 14, 8, true);
    c.fillPath(Path::roundedRect(Rect(22, 8, 2.5, 14), 1));
  } else {
    triangle(c, {15, 15}, 14, 8, false);
    triangle(c, {8, 15}, 14, 8, false);
    c.fillPath(Path::roundedRect(Rect(5.5, 8, 2.5, 14), 1));
  }
}

void frameStepIcon(GraphicsContext& c, bool next, const Color& color) {
  // One outlined triangle against a bar: one frame forward or back.
  strokeStyle(c, color, 2);
  c.setFillColor(color);
  if (next) {
    c.strokePath(polygon({{8, 8}, {19, 15}, {8, 22}}));
    c.fillPath(Path::roundedRect(Rect(20.5, 8, 2.5, 14), 1));
  } else {
    c.strokePath(polygon({{22, 8}, {11, 15}, {22, 22}}));
    c.fillPath(Path::roundedRect(Rect(7, 8, 2.5, 14), 1));
  }
}

void fullScreenIcon(GraphicsContext& c, const Color& color) {
  strokeStyle(c, color, 2.2);
  Path p;
  const double lo = 6, hi = 24, arm = 6;
  p.moveTo({lo, lo + arm}), p.lineTo({lo, lo}), p.lineTo({lo + arm, lo});
  p.moveTo({hi - arm, lo}), p.lineTo({hi, lo}), p.lineTo({hi, lo + arm});
  p.moveTo({hi, hi - arm}), p.lineTo({hi, hi}), p.lineTo({hi - arm, hi});
  p.moveTo({lo + arm, hi}), p.lineTo({lo, hi}), p.lineTo({lo, hi - arm});
  c.strokePath(p);
}

void cameraBody(GraphicsContext& c, const Color& color, double width) {
  strokeStyle(c, color, width);
  Path body = Path::roundedRect(Rect(4, 9, 22, 15), 3);
  body.addRect(Rect(11, 6, 8, 3));
  c.strokePath(body);
  c.strokeEllipse(Rect(10.5, 11, 9, 9));
}

// --- Timeline controls (tinted by the screens) ---
void magnifier(GraphicsContext& c, bool plus) {
  strokeStyle(c, kInk, 2.2);
  c.strokeEllipse(Rect(5, 5, 15, 15));
  Path handle;
  handle.moveTo({17.5, 17.5});
  handle.lineTo({25, 25});
  c.setLineWidth(3);
  c.strokePath(handle);
  c.setLineWidth(2);
  Path sign;
  sign.moveTo({8.5, 12.5});
  sign.lineTo({16.5, 12.5});
  if (plus) {
    sign.moveTo({12.5, 8.5});
    sign.lineTo({12.5, 16.5});
  }
  c.strokePath(sign);
}

void moreDots(GraphicsContext& c) {
  c.setFillColor(kInk);
  for (double x : {7.0, 15.0, 23.0}) c.fillEllipse(Rect(x - 2.2, 12.8, 4.4, 4.4));
}

void calendar(GraphicsContext& c) {
  strokeStyle(c, kInk, 2);
  c.strokePath(Path::roundedRect(Rect(5, 7, 20, 18), 2.5));
  Path rings;
  rings.moveTo({10, 4.5}), rings.lineTo({10, 9});
  rings.moveTo({20, 4.5}), rings.lineTo({20, 9});
  rings.moveTo({5, 12}), rings.lineTo({25, 12});
  c.strokePath(rings);
  c.setFillColor(kInk);
  for (int row = 0; row < 2; ++row) {
    for (int col = 0; col < 4; ++col) c.fillRect(Rect(8 + col * 4, 15 + row * 4.5, 2.2, 2.2));
  }
}

void verticalArrow(GraphicsContext& c, bool up, const Color& color) {
  strokeStyle(c, color, 2.4);
  const double tipY = up ? 6 : 24, tailY = up ? 24 : 6, dir = up ? 1 : -1;
  Path p;
  p.moveTo({15, tailY}), p.lineTo({15, tipY});
  p.moveTo({8, tipY + dir * 7}), p.lineTo({15, tipY}), p.lineTo({22, tipY + dir * 7});
  c.strokePath(p);
}

void chevronLeft(GraphicsContext& c, const Color& color) {
  strokeStyle(c, color, 2.6);
  Path p;
  p.moveTo({18, 6}), p.lineTo({10, 15}), p.lineTo({18, 24});
  c.strokePath(p);
}

void arrowBack(GraphicsContext& c, const Color& color) {
  strokeStyle(c, color, 2.4);
  Path p;
  p.moveTo({24, 15}), p.lineTo({7, 15});
  p.moveTo({13, 8}), p.lineTo({6, 15}), p.lineTo({13, 22});
  c.strokePath(p);
}

// --- Downloads ---
void downloadArrow(GraphicsContext& c, const Color& color, double top, double bottom) {
  strokeStyle(c, color, 2.2);
  Path p;
  p.moveTo({15, top}), p.lineTo({15, bottom});
  p.moveTo({10, bottom - 5}), p.lineTo({15, bottom}), p.lineTo({20, bottom - 5});
  c.strokePath(p);
}

void downloadDone(GraphicsContext& c) {
  c.setFillColor(kGreen);
  c.fillEllipse(Rect(3, 3, 24, 24));
  strokeStyle(c, kWhite, 2.6);
  Path check;
  check.moveTo({9, 15.5}), check.lineTo({13.5, 20}), check.lineTo({21.5, 11});
  c.strokePath(check);
}

void downloadSummary(GraphicsContext& c) {
  downloadArrow(c, kInk, 4, 18);
  Path tray;
  tray.moveTo({5, 18}), tray.lineTo({5, 25}), tray.lineTo({25, 25}), tray.lineTo({25, 18});
  c.strokePath(tray);
}

// --- Event placeholders (tinted with the theme colour on the timeline) ---
void motionEvent(GraphicsContext& c) {
  // A figure in stride with speed lines behind it.
  c.setFillColor(kInk);
  c.fillEllipse(Rect(22, 5, 6, 6));
  strokeStyle(c, kInk, 3);
  Path body;
  body.moveTo({23, 13}), body.lineTo({20, 22});
  body.moveTo({20, 22}), body.lineTo({24, 28}), body.lineTo({25, 34});
  body.moveTo({20, 22}), body.lineTo({16, 28}), body.lineTo({12, 31});
  body.moveTo({22, 15}), body.lineTo({27, 19}), body.lineTo({31, 18});
  body.moveTo({22, 15}), body.lineTo({17, 17}), body.lineTo({14, 21});
  c.strokePath(body);
  c.setLineWidth(2);
  Path lines;
  for (double y : {14.0, 20.0, 26.0}) lines.moveTo({5, y}), lines.lineTo({11, y});
  c.strokePath(lines);
}

void soundEvent(GraphicsContext& c) {
  c.setFillColor(kInk);
  c.fillPath(polygon({{6, 15}, {12, 15}, {19, 9}, {19, 31}, {12, 25}, {6, 25}}));
  strokeStyle(c, kInk, 2.4);
  c.strokePath(Path::arc({19, 20}, 6, -kPi / 4, kPi / 4, true));
  c.strokePath(Path::arc({19, 20}, 11, -kPi / 3.5, kPi / 3.5, true));
}

void infraredEvent(GraphicsContext& c) {
  // Heat: a flame.
  c.setFillColor(kInk);
  Path flame;
  flame.moveTo({20, 4});
  flame.curveTo({22, 12}, {31, 15}, {30, 24});
  flame.curveTo({29.5, 31}, {25, 36}, {20, 36});
  flame.curveTo({14, 36}, {10, 31}, {10, 25});
  flame.curveTo({10, 19}, {14, 17}, {15, 12});
  flame.curveTo({17, 15}, {17, 18}, {16.5, 20});
  flame.curveTo({19, 17}, {21, 11}, {20, 4});
  flame.close();
  c.fillPath(flame);
  c.setFillColor(Color::clear());
  c.setBlendMode(platform::BlendMode::Clear);
  c.fillPath(Path::ellipse(Rect(16, 25, 8, 9)));
  c.setBlendMode(platform::BlendMode::Normal);
}

void noSnapshot(GraphicsContext& c) {
  // A picture frame with a mountain, struck through: no thumbnail.
  strokeStyle(c, kGrey, 2);
  c.strokePath(Path::roundedRect(Rect(6, 9, 28, 22), 3));
  c.setFillColor(kGrey);
  c.fillPath(polygon({{9, 28}, {17, 18}, {22, 24}, {25, 21}, {31, 28}}));
  c.fillEllipse(Rect(25, 12, 4, 4));
  strokeStyle(c, kGrey, 2.4);
  Path slash;
  slash.moveTo({7, 5}), slash.lineTo({33, 35});
  c.strokePath(slash);
}

void noConnection(GraphicsContext& c) {
  // Wi-Fi waves with a slash.
  strokeStyle(c, kInk, 3.5);
  const Point centre{40, 56};
  for (double r : {12.0, 24.0, 36.0}) c.strokePath(Path::arc(centre, r, -kPi * 0.78, -kPi * 0.22, true));
  c.setFillColor(kInk);
  c.fillEllipse(Rect(36, 52, 8, 8));
  strokeStyle(c, kInk, 4);
  Path slash;
  slash.moveTo({14, 10}), slash.lineTo({66, 66});
  c.strokePath(slash);
}

// --- Check boxes and picker marks ---
void checkBox(GraphicsContext& c, bool checked) {
  if (checked) {
    c.setFillColor(kInk);
    c.fillPath(Path::roundedRect(Rect(2, 2, 20, 20), 4));
    strokeStyle(c, kWhite, 2.4);
    Path tick;
    tick.moveTo({6.5, 12.5}), tick.lineTo({10.5, 16.5}), tick.lineTo({17.5, 8});
    c.strokePath(tick);
  } else {
    strokeStyle(c, kInk, 2);
    c.strokePath(Path::roundedRect(Rect(3, 3, 18, 18), 3.5));
  }
}

}  // namespace

std::vector<Icon> allIcons() {
  std::vector<Icon> icons;
  for (int i = 1; i <= 90; ++i) {
    icons.push_back(spinnerFrame("loadingGrey", i, kGrey));
    icons.push_back(spinnerFrame("loadingWhite", i, kWhite));
  }
  for (int i = 1; i <= 21; ++i) {
    icons.push_back(morphFrame("play_pause", i, true));
    icons.push_back(morphFrame("pause_play", i, false));
  }
  const Size button{30, 30};
  icons.push_back({"Play", button, [](GraphicsContext& c) { drawMorph(c, 0, kWhite); }});
  icons.push_back({"Pause", button, [](GraphicsContext& c) { drawMorph(c, 1, kWhite); }});
  icons.push_back({"Player_Prev", button, [](GraphicsContext& c) { skipIcon(c, false, kWhite); }});
  icons.push_back({"Player_Next", button, [](GraphicsContext& c) { skipIcon(c, true, kWhite); }});
  icons.push_back({"prev_frame", button, [](GraphicsContext& c) { frameStepIcon(c, false, kWhite); }});
  icons.push_back({"next_frame", button, [](GraphicsContext& c) { frameStepIcon(c, true, kWhite); }});
  icons.push_back({"open_fs", button, [](GraphicsContext& c) { fullScreenIcon(c, kWhite); }});
  icons.push_back({"Player_iOs_shot", button, [](GraphicsContext& c) { cameraBody(c, kInk, 2); }});
  icons.push_back({"prev-frame", button, [](GraphicsContext& c) { frameStepIcon(c, false, kInk); }});
  icons.push_back({"next-frame", button, [](GraphicsContext& c) { frameStepIcon(c, true, kInk); }});
  icons.push_back({"zoom-in", button, [](GraphicsContext& c) { magnifier(c, true); }});
  icons.push_back({"zoom-out", button, [](GraphicsContext& c) { magnifier(c, false); }});
  icons.push_back({"more-timeline", button, [](GraphicsContext& c) { moreDots(c); }});
  icons.push_back({"timeline_calendar_picker", button, [](GraphicsContext& c) { calendar(c); }});
  icons.push_back({"Event_arrow_up", button, [](GraphicsContext& c) { verticalArrow(c, true, kInk); }});
  icons.push_back({"Event_arrow_down", button, [](GraphicsContext& c) { verticalArrow(c, false, kInk); }});
  icons.push_back({"chevron_left_white", button, [](GraphicsContext& c) { chevronLeft(c, kWhite); }});
  icons.push_back({"arrow_back_white", {20, 20}, [](GraphicsContext& c) {
                     c.scale(20.0 / 30, 20.0 / 30);
                     arrowBack(c, kWhite);
                   }});
  icons.push_back({"download_while", {24, 24}, [](GraphicsContext& c) {
                     c.scale(0.8, 0.8);
                     downloadArrow(c, kInk, 7, 23);
                   }});
  icons.push_back({"download_done", {24, 24}, [](GraphicsContext& c) {
                     c.scale(0.8, 0.8);
                     downloadDone(c);
                   }});
  icons.push_back({"download-summary", button, [](GraphicsContext& c) { downloadSummary(c); }});
  icons.push_back({"motion_event", {40, 40}, [](GraphicsContext& c) { motionEvent(c); }});
  icons.push_back({"sound_event", {40, 40}, [](GraphicsContext& c) { soundEvent(c); }});
  icons.push_back({"Infrared_event", {40, 40}, [](GraphicsContext& c) { infraredEvent(c); }});
  icons.push_back({"no_snap", {40, 40}, [](GraphicsContext& c) { noSnapshot(c); }});
  icons.push_back({"No_connection", {80, 80}, [](GraphicsContext& c) { noConnection(c); }});
  icons.push_back({"box_uncheck", {24, 24}, [](GraphicsContext& c) { checkBox(c, false); }});
  icons.push_back({"box_check", {24, 24}, [](GraphicsContext& c) { checkBox(c, true); }});
  icons.push_back({"Selector_previous_next", {12, 12}, [](GraphicsContext& c) {
                     c.setFillColor(kInk);
                     c.fillEllipse(Rect(3.5, 3.5, 5, 5));
                   }});
  icons.push_back({"Triangle", {12, 12}, [](GraphicsContext& c) {
                     c.setFillColor(kInk);
                     c.fillPath(polygon({{2, 3}, {10, 3}, {6, 9}}));
                   }});
  return icons;
}

}  // namespace dk::tools

#include "scene_pictures.h"

#include <cairo.h>
#include <jpeglib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace dk::cloudsim::detail {
namespace {

// Scenes are drawn in a 320 x 180 design space and scaled to the asked size.
constexpr double kW = 320;
constexpr double kH = 180;
constexpr double kBandTop = 132;

struct Colour {
  double r, g, b;
};

uint64_t mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  return x ^ (x >> 33);
}

// Each camera's own shade of a colour: up to 18% lighter or darker per channel.
struct Tint {
  explicit Tint(int64_t cameraId) : hash(mix(static_cast<uint64_t>(cameraId) + 0x9E37)) {}
  Colour operator()(Colour c, int salt = 0) const {
    auto shade = [&](double v, int k) {
      const double f = 1.0 + (static_cast<double>((hash >> (k * 7 + salt)) % 37) - 18.0) / 100.0;
      return std::clamp(v * f, 0.0, 1.0);
    };
    return {shade(c.r, 0), shade(c.g, 1), shade(c.b, 2)};
  }
  double offset(int salt, double range) const { return static_cast<double>((hash >> salt) % 1000) / 1000.0 * range; }
  uint64_t hash;
};

void setColour(cairo_t* cr, Colour c, double alpha = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

void fillRect(cairo_t* cr, double x, double y, double w, double h, Colour c) {
  setColour(cr, c);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void circle(cairo_t* cr, double x, double y, double r, Colour c) {
  setColour(cr, c);
  cairo_arc(cr, x, y, r, 0, 2 * M_PI);
  cairo_fill(cr);
}

void sky(cairo_t* cr, double bottom, Colour top, Colour horizon) {
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, bottom);
  cairo_pattern_add_color_stop_rgb(gradient, 0, top.r, top.g, top.b);
  cairo_pattern_add_color_stop_rgb(gradient, 1, horizon.r, horizon.g, horizon.b);
  cairo_set_source(cr, gradient);
  cairo_rectangle(cr, 0, 0, kW, bottom);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
}

void porch(cairo_t* cr, const Tint& tint) {
  sky(cr, 50, tint({0.45, 0.65, 0.90}), tint({0.75, 0.86, 0.96}));
  fillRect(cr, 0, 40, kW, kBandTop - 40, tint({0.86, 0.78, 0.62}));
  fillRect(cr, 0, 38, kW, 10, tint({0.35, 0.22, 0.16}, 3));
  for (double x : {40.0, 215.0}) {
    fillRect(cr, x, 62, 60, 40, {0.95, 0.95, 0.92});
    fillRect(cr, x + 3, 65, 54, 34, tint({0.55, 0.75, 0.92}, 5));
    fillRect(cr, x + 29, 65, 2, 34, {0.95, 0.95, 0.92});
    fillRect(cr, x + 3, 81, 54, 2, {0.95, 0.95, 0.92});
  }
  fillRect(cr, 130, 58, 46, 70, tint({0.45, 0.26, 0.14}, 9));
  circle(cr, 168, 96, 2.5, {0.85, 0.75, 0.35});
  circle(cr, 188, 90, 3.5, {0.25, 0.25, 0.28});
  circle(cr, 188, 90, 1.8, {0.55, 0.80, 1.00});
  fillRect(cr, 118, 126, 70, 6, {0.62, 0.62, 0.60});
}

void garden(cairo_t* cr, const Tint& tint) {
  sky(cr, 92, tint({0.35, 0.60, 0.92}), tint({0.80, 0.90, 0.98}));
  circle(cr, 40 + tint.offset(3, 240), 26, 12, {1.0, 0.86, 0.35});
  fillRect(cr, 0, 90, kW, kBandTop - 90, tint({0.30, 0.62, 0.25}));
  setColour(cr, {0.93, 0.92, 0.88});
  for (double x = 4; x < kW; x += 14) {
    cairo_move_to(cr, x, 112);
    cairo_line_to(cr, x, 76);
    cairo_line_to(cr, x + 4, 71);
    cairo_line_to(cr, x + 8, 76);
    cairo_line_to(cr, x + 8, 112);
    cairo_close_path(cr);
  }
  cairo_fill(cr);
  fillRect(cr, 0, 82, kW, 3, {0.85, 0.84, 0.80});
  fillRect(cr, 0, 100, kW, 3, {0.85, 0.84, 0.80});
  for (int i = 0; i < 2; ++i) {
    const double x = 60 + i * 170 + tint.offset(11 + i * 5, 40);
    fillRect(cr, x - 4, 70, 8, 50, {0.40, 0.27, 0.15});
    circle(cr, x, 58, 24, tint({0.18, 0.45, 0.20}, 13 + i));
    circle(cr, x - 14, 70, 14, tint({0.20, 0.50, 0.22}, 17 + i));
  }
}

void livingRoom(cairo_t* cr, const Tint& tint) {
  fillRect(cr, 0, 0, kW, 105, tint({0.90, 0.84, 0.74}));
  fillRect(cr, 0, 105, kW, kBandTop - 105, tint({0.55, 0.38, 0.22}, 4));
  setColour(cr, {0.45, 0.30, 0.17});
  cairo_set_line_width(cr, 1);
  for (double x = 0; x < kW; x += 40) {
    cairo_move_to(cr, x, 105);
    cairo_line_to(cr, x - 20, kBandTop);
  }
  cairo_stroke(cr);
  fillRect(cr, 28, 18, 84, 64, {0.96, 0.96, 0.94});
  fillRect(cr, 32, 22, 76, 56, tint({0.50, 0.72, 0.95}, 6));
  fillRect(cr, 68, 22, 4, 56, {0.96, 0.96, 0.94});
  const Colour sofa = tint({0.30, 0.40, 0.62}, 8);
  setColour(cr, sofa);
  roundedRect(cr, 150, 72, 140, 40, 8);
  cairo_fill(cr);
  setColour(cr, {sofa.r * 0.8, sofa.g * 0.8, sofa.b * 0.8});
  roundedRect(cr, 158, 60, 124, 22, 6);
  cairo_fill(cr);
  fillRect(cr, 158, 112, 6, 10, {0.25, 0.18, 0.10});
  fillRect(cr, 276, 112, 6, 10, {0.25, 0.18, 0.10});
  fillRect(cr, 127, 50, 2, 70, {0.30, 0.30, 0.30});
  setColour(cr, tint({0.98, 0.88, 0.55}, 10));
  cairo_move_to(cr, 116, 52);
  cairo_line_to(cr, 140, 52);
  cairo_line_to(cr, 133, 36);
  cairo_line_to(cr, 123, 36);
  cairo_close_path(cr);
  cairo_fill(cr);
}

void driveway(cairo_t* cr, const Tint& tint) {
  sky(cr, 72, tint({0.35, 0.25, 0.50}), tint({0.98, 0.62, 0.35}));
  fillRect(cr, 0, 70, kW, kBandTop - 70, tint({0.38, 0.52, 0.30}));
  fillRect(cr, 200, 28, 110, 74, tint({0.70, 0.70, 0.72}, 2));
  for (double y = 48; y < 100; y += 8) fillRect(cr, 212, y, 86, 6, {0.82, 0.82, 0.84});
  setColour(cr, {0.28, 0.28, 0.30});
  cairo_move_to(cr, 40, kBandTop);
  cairo_line_to(cr, 280, kBandTop);
  cairo_line_to(cr, 190, 72);
  cairo_line_to(cr, 150, 72);
  cairo_close_path(cr);
  cairo_fill(cr);
  for (double t = 0.1; t < 0.95; t += 0.22) {
    const double y = 72 + t * (kBandTop - 72);
    const double w = 1.5 + t * 3;
    fillRect(cr, 170 - w / 2, y, w, 6 + t * 6, {0.95, 0.92, 0.70});
  }
  const Colour body = tint({0.75, 0.15, 0.15}, 7);
  setColour(cr, body);
  roundedRect(cr, 30 + tint.offset(19, 30), 96, 92, 22, 5);
  cairo_fill(cr);
  setColour(cr, {body.r * 0.8, body.g * 0.8, body.b * 0.8});
  roundedRect(cr, 50 + tint.offset(19, 30), 82, 52, 18, 6);
  cairo_fill(cr);
  for (double dx : {50.0, 104.0}) circle(cr, dx + tint.offset(19, 30), 119, 7, {0.10, 0.10, 0.10});
}

// The scene a camera's name suggests (a door, a garden, a room, a drive), else one by identifier.
int sceneFor(int64_t cameraId, const std::string& cameraName) {
  std::string name = cameraName;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  const std::pair<const char*, int> hints[] = {{"door", 0}, {"porch", 0}, {"garden", 1}, {"yard", 1},
                                               {"room", 2}, {"kitchen", 2}, {"drive", 3}, {"garage", 3}};
  for (const auto& [word, scene] : hints) {
    if (name.find(word) != std::string::npos) return scene;
  }
  return static_cast<int>(static_cast<uint64_t>(cameraId) % 4);
}

// The text context of the calling thread, at 72 dpi so font sizes are design-space pixels.
PangoContext* textContext() {
  struct Holder {
    PangoContext* context = nullptr;
    Holder() {
      context = pango_font_map_create_context(pango_cairo_font_map_get_default());
      pango_cairo_context_set_resolution(context, 72.0);
    }
    ~Holder() { g_object_unref(context); }
  };
  thread_local Holder holder;
  return holder.context;
}

// Draws one line of text with its top left at (x, y), cut with an ellipsis at maxWidth.
// Returns the drawn width.
double text(cairo_t* cr, const std::string& s, double x, double y, double size, PangoWeight weight, double maxWidth,
            Colour colour, bool measureOnly = false) {
  PangoContext* context = textContext();
  pango_cairo_update_context(cr, context);
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* font = pango_font_description_from_string("Roboto");
  pango_font_description_set_weight(font, weight);
  pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, s.c_str(), -1);
  pango_layout_set_width(layout, static_cast<int>(maxWidth * PANGO_SCALE));
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  if (!measureOnly) {
    setColour(cr, colour);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
  }
  pango_font_description_free(font);
  g_object_unref(layout);
  return width;
}

// A label on a dark rounded plate; `alignRight` puts the plate's right edge at x.
void plate(cairo_t* cr, const std::string& s, double x, double y, bool alignRight) {
  constexpr double kSize = 10.5, kPad = 5, kMax = 150;
  const double w = text(cr, s, 0, 0, kSize, PANGO_WEIGHT_MEDIUM, kMax, {1, 1, 1}, true);
  const double left = alignRight ? x - w - 2 * kPad : x;
  cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
  roundedRect(cr, left, y, w + 2 * kPad, kSize + 7, 4);
  cairo_fill(cr);
  text(cr, s, left + kPad, y + 2.5, kSize, PANGO_WEIGHT_MEDIUM, kMax, {1, 1, 1});
}

void captionBand(cairo_t* cr, const SceneCaption& caption) {
  cairo_set_source_rgba(cr, 0.05, 0.06, 0.08, 0.82);
  cairo_rectangle(cr, 0, kBandTop, kW, kH - kBandTop);
  cairo_fill(cr);
  const Colour accent{caption.accent.r / 255.0, caption.accent.g / 255.0, caption.accent.b / 255.0};
  circle(cr, 22, kBandTop + 24, 11, accent);
  circle(cr, 22, kBandTop + 24, 4.5, {1, 1, 1});
  text(cr, caption.title, 42, kBandTop + 6, 15, PANGO_WEIGHT_BOLD, kW - 50, {1, 1, 1});
  text(cr, caption.detail, 42, kBandTop + 26, 12, PANGO_WEIGHT_NORMAL, kW - 50, {0.86, 0.88, 0.92});
}

std::string encodeJpeg(cairo_surface_t* surface, int width, int height) {
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&info, &out, &outSize);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 85, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
  while (info.next_scanline < info.image_height) {
    // cairo's RGB24 pixels are native-endian 32-bit words 0x00RRGGBB.
    const auto* pixels = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(info.next_scanline) * stride);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<unsigned char>(pixels[x] >> 16);
      row[x * 3 + 1] = static_cast<unsigned char>(pixels[x] >> 8);
      row[x * 3 + 2] = static_cast<unsigned char>(pixels[x]);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::string bytes(reinterpret_cast<const char*>(out), outSize);
  jpeg_destroy_compress(&info);
  free(out);
  return bytes;
}

}  // namespace

std::string renderSceneJpeg(int width, int height, int64_t cameraId, const std::string& cameraName,
                            const SceneCaption& caption) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, width / kW, height / kH);
  const Tint tint(cameraId);
  switch (sceneFor(cameraId, cameraName)) {
    case 0: porch(cr, tint); break;
    case 1: garden(cr, tint); break;
    case 2: livingRoom(cr, tint); break;
    default: driveway(cr, tint); break;
  }
  if (!cameraName.empty()) plate(cr, cameraName, 6, 6, false);
  if (!caption.corner.empty()) plate(cr, caption.corner, kW - 6, 6, true);
  captionBand(cr, caption);
  cairo_destroy(cr);
  std::string jpeg = encodeJpeg(surface, width, height);
  cairo_surface_destroy(surface);
  return jpeg;
}

std::string eventLabel(const std::string& type, const std::string& category) {
  std::string label;
  if (type == event_type::kVideoMotion) label = "Motion";
  else if (type == event_type::kInfrared) label = "Infrared";
  else if (type == event_type::kAudio) label = "Sound";
  else if (type == event_type::kAudioCategorized) label = "Sound";
  else if (type == event_type::kDoorbell) label = "Doorbell";
  else if (type == event_type::kAnalytics) label = "Analytics";
  else if (type == event_type::kFace) label = "Face";
  else label = type;
  if (!category.empty()) label += ": " + category;
  return label;
}

std::string localTimeText(double seconds, int utcOffsetSeconds) {
  const std::time_t t = static_cast<std::time_t>(std::floor(seconds)) + utcOffsetSeconds;
  std::tm parts{};
  gmtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::string eventThumbnailJpeg(const Event& event, const World& world) {
  const Camera* camera = world.camera(event.cameraId);
  SceneCaption caption{eventLabel(event.type, event.category), localTimeText(event.timestamp, world.utcOffsetSeconds),
                       "#" + std::to_string(event.eventId), accentForEventType(event.type)};
  return renderSceneJpeg(320, 180, event.cameraId, camera ? camera->name : std::string(), caption);
}

std::string cameraSnapshotJpeg(const Camera& camera, const World& world, int width, int height) {
  SceneCaption caption{"Live snapshot", localTimeText(world.now, world.utcOffsetSeconds), "", Rgb{120, 120, 120}};
  return renderSceneJpeg(width, height, camera.cameraId, camera.name, caption);
}

}  // namespace dk::cloudsim::detail

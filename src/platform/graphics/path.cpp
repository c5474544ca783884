#include "platform/graphics/path.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dk::platform {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// Control-point distance of a quarter circle drawn as one cubic curve.
constexpr double kKappa = 0.5522847498307936;

Point lerp(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

}  // namespace

Path Path::rect(const Rect& r) {
  Path p;
  p.addRect(r);
  return p;
}

Path Path::roundedRect(const Rect& r, double cornerRadius) { return roundedRect(r, CornerRadii::all(cornerRadius)); }

Path Path::roundedRect(const Rect& r, const CornerRadii& radii) {
  Path p;
  p.addRoundedRect(r, radii);
  return p;
}

Path Path::ellipse(const Rect& r) {
  Path p;
  p.addEllipse(r);
  return p;
}

Path Path::arc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
  Path p;
  p.addArc(center, radius, startAngle, endAngle, clockwise);
  return p;
}

void Path::moveTo(Point p) {
  elements_.push_back({ElementType::MoveTo, {p, {}, {}}});
  current_ = subpathStart_ = p;
  hasCurrent_ = true;
}

void Path::lineTo(Point p) {
  if (!hasCurrent_) {
    moveTo(p);
    return;
  }
  elements_.push_back({ElementType::LineTo, {p, {}, {}}});
  current_ = p;
}

void Path::curveTo(Point c1, Point c2, Point end) {
  if (!hasCurrent_) moveTo(c1);
  elements_.push_back({ElementType::CurveTo, {c1, c2, end}});
  current_ = end;
}

void Path::quadCurveTo(Point control, Point end) {
  if (!hasCurrent_) moveTo(control);
  const Point start = current_;
  curveTo(lerp(start, control, 2.0 / 3.0), lerp(end, control, 2.0 / 3.0), end);
}

void Path::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
  radius = std::abs(radius);
  double sweep = endAngle - startAngle;
  // Clockwise on a y-down screen is the direction of increasing angles; a sweep that would go the
  // other way wraps round, and one of a full turn or more is a full circle.
  if (clockwise) {
    if (sweep >= kTwoPi) {
      sweep = kTwoPi;
    } else if (sweep < 0) {
      sweep = std::fmod(sweep, kTwoPi) + kTwoPi;
    }
  } else {
    if (sweep <= -kTwoPi) {
      sweep = -kTwoPi;
    } else if (sweep > 0) {
      sweep = std::fmod(sweep, kTwoPi) - kTwoPi;
    }
  }
  auto pointAt = [&](double a) { return Point{center.x + radius * std::cos(a), center.y + radius * std::sin(a)}; };
  const Point start = pointAt(startAngle);
  if (hasCurrent_) {
    lineTo(start);
  } else {
    moveTo(start);
  }
  if (sweep == 0 || radius == 0) return;
  const int segments = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / (std::numbers::pi / 2) - 1e-9)));
  const double step = sweep / segments;
  const double k = 4.0 / 3.0 * std::tan(step / 4);
  double a0 = startAngle;
  for (int i = 0; i < segments; ++i) {
    const double a1 = (i == segments - 1) ? startAngle + sweep : a0 + step;
    const Point p0 = pointAt(a0), p3 = pointAt(a1);
    const Point c1{p0.x - k * radius * std::sin(a0), p0.y + k * radius * std::cos(a0)};
    const Point c2{p3.x + k * radius * std::sin(a1), p3.y - k * radius * std::cos(a1)};
    curveTo(c1, c2, p3);
    a0 = a1;
  }
}

void Path::addRect(const Rect& r) {
  const Rect s = r.standardized();
  moveTo({s.minX(), s.minY()});
  lineTo({s.maxX(), s.minY()});
  lineTo({s.maxX(), s.maxY()});
  lineTo({s.minX(), s.maxY()});
  close();
}

void Path::addRoundedRect(const Rect& r, const CornerRadii& radii) {
  const Rect s = r.standardized();
  const double limit = std::min(s.width(), s.height()) / 2;
  auto clampRadius = [&](double v) { return std::clamp(v, 0.0, limit); };
  const double tl = clampRadius(radii.topLeft), tr = clampRadius(radii.topRight);
  const double br = clampRadius(radii.bottomRight), bl = clampRadius(radii.bottomLeft);
  const double x0 = s.minX(), y0 = s.minY(), x1 = s.maxX(), y1 = s.maxY();
  const double c = 1 - kKappa;
  moveTo({x0 + tl, y0});
  lineTo({x1 - tr, y0});
  if (tr > 0) curveTo({x1 - tr * c, y0}, {x1, y0 + tr * c}, {x1, y0 + tr});
  lineTo({x1, y1 - br});
  if (br > 0) curveTo({x1, y1 - br * c}, {x1 - br * c, y1}, {x1 - br, y1});
  lineTo({x0 + bl, y1});
  if (bl > 0) curveTo({x0 + bl * c, y1}, {x0, y1 - bl * c}, {x0, y1 - bl});
  lineTo({x0, y0 + tl});
  if (tl > 0) curveTo({x0, y0 + tl * c}, {x0 + tl * c, y0}, {x0 + tl, y0});
  close();
}

void Path::addEllipse(const Rect& r) {
  const Rect s = r.standardized();
  const double cx = s.midX(), cy = s.midY(), rx = s.width() / 2, ry = s.height() / 2;
  const double kx = rx * kKappa, ky = ry * kKappa;
  moveTo({cx + rx, cy});
  curveTo({cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry});
  curveTo({cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy});
  curveTo({cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry});
  curveTo({cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy});
  close();
}

void Path::addPath(const Path& other) {
  for (const auto& e : other.elements_) {
    switch (e.type) {
      case ElementType::MoveTo: moveTo(e.points[0]); break;
      case ElementType::LineTo: lineTo(e.points[0]); break;
      case ElementType::CurveTo: curveTo(e.points[0], e.points[1], e.points[2]); break;
      case ElementType::Close: close(); break;
    }
  }
}

void Path::close() {
  if (!hasCurrent_) return;
  elements_.push_back({ElementType::Close, {}});
  current_ = subpathStart_;
}

Rect Path::boundingBox() const {
  bool any = false;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  auto add = [&](Point p) {
    if (!any) {
      x0 = x1 = p.x, y0 = y1 = p.y, any = true;
      return;
    }
    x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
  };
  for (const auto& e : elements_) {
    const int n = e.type == ElementType::CurveTo ? 3 : (e.type == ElementType::Close ? 0 : 1);
    for (int i = 0; i < n; ++i) add(e.points[i]);
  }
  return any ? Rect(x0, y0, x1 - x0, y1 - y0) : Rect();
}

Path Path::transformed(const AffineTransform& t) const {
  Path out;
  for (const auto& e : elements_) {
    switch (e.type) {
      case ElementType::MoveTo: out.moveTo(t.apply(e.points[0])); break;
      case ElementType::LineTo: out.lineTo(t.apply(e.points[0])); break;
      case ElementType::CurveTo: out.curveTo(t.apply(e.points[0]), t.apply(e.points[1]), t.apply(e.points[2])); break;
      case ElementType::Close: out.close(); break;
    }
  }
  return out;
}

bool Path::contains(Point p, FillRule rule) const {
  // Winding number over the path flattened to segments; every subpath counts as closed.
  int winding = 0;
  int crossings = 0;
  auto edge = [&](Point a, Point b) {
    if ((a.y <= p.y) == (b.y <= p.y)) return;
    const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
    if (x > p.x) {
      winding += b.y > a.y ? 1 : -1;
      ++crossings;
    }
  };
  Point current, start;
  bool open = false;
  auto closeSubpath = [&] {
    if (open) edge(current, start);
    current = start;
  };
  for (const auto& e : elements_) {
    switch (e.type) {
      case ElementType::MoveTo:
        closeSubpath();
        current = start = e.points[0];
        open = true;
        break;
      case ElementType::LineTo:
        edge(current, e.points[0]);
        current = e.points[0];
        break;
      case ElementType::CurveTo: {
        constexpr int kSteps = 24;
        Point prev = current;
        for (int i = 1; i <= kSteps; ++i) {
          const double t = static_cast<double>(i) / kSteps, u = 1 - t;
          const Point q{u * u * u * current.x + 3 * u * u * t * e.points[0].x + 3 * u * t * t * e.points[1].x +
                            t * t * t * e.points[2].x,
                        u * u * u * current.y + 3 * u * u * t * e.points[0].y + 3 * u * t * t * e.points[1].y +
                            t * t * t * e.points[2].y};
          edge(prev, q);
          prev = q;
        }
        current = e.points[2];
        break;
      }
      case ElementType::Close:
        closeSubpath();
        open = true;
        break;
    }
  }
  closeSubpath();
  return rule == FillRule::NonZero ? winding != 0 : (crossings % 2) == 1;
}

}  // namespace dk::platform

// Geometry in double precision: points, sizes, rectangles, insets and affine transforms.
//
// Double precision throughout: a year of 3-minute timeline rows is about 10^8 points of content.
// Plain values; safe to share between threads.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>

namespace dk::platform {

// Points and sizes construct from their two values (as a Rect does), so Point(10, 30) reads the
// same under every compiler, not only those with parenthesised aggregate initialisation.
struct Point {
  double x = 0, y = 0;
  constexpr Point() = default;
  constexpr Point(double x, double y) : x(x), y(y) {}
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0, height = 0;
  constexpr Size() = default;
  constexpr Size(double width, double height) : width(width), height(height) {}
  friend bool operator==(const Size&, const Size&) = default;
};

struct EdgeInsets {
  double top = 0, left = 0, bottom = 0, right = 0;
  friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

struct Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
  Rect(Point o, Size s) : origin(o), size(s) {}

  double minX() const { return std::min(origin.x, origin.x + size.width); }
  double minY() const { return std::min(origin.y, origin.y + size.height); }
  double maxX() const { return std::max(origin.x, origin.x + size.width); }
  double maxY() const { return std::max(origin.y, origin.y + size.height); }
  double midX() const { return (minX() + maxX()) / 2; }
  double midY() const { return (minY() + maxY()) / 2; }
  double width() const { return std::abs(size.width); }
  double height() const { return std::abs(size.height); }
  bool isEmpty() const { return size.width == 0 || size.height == 0; }
  // Origin at the minimum corner, non-negative size (CGRectStandardize).
  Rect standardized() const { return Rect(minX(), minY(), width(), height()); }
  bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
  bool intersects(const Rect& r) const {
    return !isEmpty() && !r.isEmpty() && minX() < r.maxX() && r.minX() < maxX() && minY() < r.maxY() && r.minY() < maxY();
  }
  Rect intersection(const Rect& r) const {
    if (!intersects(r)) return Rect();
    const double x0 = std::max(minX(), r.minX()), y0 = std::max(minY(), r.minY());
    return Rect(x0, y0, std::min(maxX(), r.maxX()) - x0, std::min(maxY(), r.maxY()) - y0);
  }
  Rect unionWith(const Rect& r) const {
    if (isEmpty()) return r;
    if (r.isEmpty()) return *this;
    const double x0 = std::min(minX(), r.minX()), y0 = std::min(minY(), r.minY());
    return Rect(x0, y0, std::max(maxX(), r.maxX()) - x0, std::max(maxY(), r.maxY()) - y0);
  }
  Rect insetBy(double dx, double dy) const { return Rect(minX() + dx, minY() + dy, width() - 2 * dx, height() - 2 * dy); }
  Rect inset(const EdgeInsets& i) const {
    return Rect(minX() + i.left, minY() + i.top, width() - i.left - i.right, height() - i.top - i.bottom);
  }
  Rect offsetBy(double dx, double dy) const { return Rect(origin.x + dx, origin.y + dy, size.width, size.height); }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// [a b 0; c d 0; tx ty 1], applied as p' = (a*x + c*y + tx, b*x + d*y + ty), as Core Graphics does.
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static AffineTransform identity() { return {}; }
  static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
  static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  static AffineTransform rotation(double radians) {
    const double s = std::sin(radians), co = std::cos(radians);
    return {co, s, -s, co, 0, 0};
  }
  bool isIdentity() const { return *this == AffineTransform{}; }
  // this followed by t (CGAffineTransformConcat(this, t)).
  AffineTransform concat(const AffineTransform& t) const {
    return {a * t.a + b * t.c, a * t.b + b * t.d, c * t.a + d * t.c, c * t.b + d * t.d,
            tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
  }
  AffineTransform translatedBy(double x, double y) const { return translation(x, y).concat(*this); }
  AffineTransform scaledBy(double sx, double sy) const { return scale(sx, sy).concat(*this); }
  AffineTransform rotatedBy(double radians) const { return rotation(radians).concat(*this); }
  AffineTransform inverted() const {
    const double det = a * d - b * c;
    if (det == 0) return *this;
    return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
  }
  Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  Size apply(Size s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }
  // The bounding box of the transformed rectangle (CGRectApplyAffineTransform).
  Rect apply(const Rect& r) const {
    const Point p[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                        apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
    double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (const auto& q : p) {
      x0 = std::min(x0, q.x), x1 = std::max(x1, q.x), y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
  }
  friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

// RGBA colour with components in 0...1 (UIColor).
struct Color {
  double red = 0, green = 0, blue = 0, alpha = 1;

  static Color rgba(double r, double g, double b, double a = 1) { return {r, g, b, a}; }
  static Color white(double w, double a = 1) { return {w, w, w, a}; }
  static Color clear() { return {0, 0, 0, 0}; }
  static Color black() { return {0, 0, 0, 1}; }
  static Color whiteColor() { return {1, 1, 1, 1}; }
  Color withAlpha(double a) const { return {red, green, blue, a}; }
  friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace dk::platform

// Path: a vector outline built from lines, cubic curves, arcs, rectangles and ellipses
// (UIBezierPath / CGPath), in points, y growing downwards.
//
// Arcs and ellipses are stored as cubic curves, so a path is a plain list of move/line/curve/close
// elements that any context can replay. A value type: copy it freely; a const Path is safe to read
// from several threads.
#pragma once

#include <vector>

#include "platform/graphics/geometry.h"

namespace dk::platform {

enum class FillRule { NonZero, EvenOdd };

// Radii of the four corners of a rounded rectangle, in points.
struct CornerRadii {
  double topLeft = 0, topRight = 0, bottomLeft = 0, bottomRight = 0;
  static CornerRadii all(double r) { return {r, r, r, r}; }
  friend bool operator==(const CornerRadii&, const CornerRadii&) = default;
};

class Path {
 public:
  enum class ElementType { MoveTo, LineTo, CurveTo, Close };
  // MoveTo and LineTo use points[0]; CurveTo uses the two control points then the end point.
  struct Element {
    ElementType type;
    Point points[3];
    friend bool operator==(const Element&, const Element&) = default;
  };

  Path() = default;

  // Factories in the manner of UIBezierPath's class constructors.
  static Path rect(const Rect& r);
  // Corner radius clamped to half the shorter side, as the platform does.
  static Path roundedRect(const Rect& r, double cornerRadius);
  static Path roundedRect(const Rect& r, const CornerRadii& radii);
  static Path ellipse(const Rect& r);
  // Angles in radians from the positive x axis; clockwise on screen means increasing angles.
  static Path arc(Point center, double radius, double startAngle, double endAngle, bool clockwise);

  void moveTo(Point p);
  // Without a current point a line starts a new subpath at p.
  void lineTo(Point p);
  void curveTo(Point control1, Point control2, Point end);
  void quadCurveTo(Point control, Point end);
  // Joins the current point to the arc's start with a line (or moves there when there is none).
  void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
  void addRect(const Rect& r);
  void addRoundedRect(const Rect& r, const CornerRadii& radii);
  void addEllipse(const Rect& r);
  void addPath(const Path& other);
  void close();

  bool isEmpty() const { return elements_.empty(); }
  bool hasCurrentPoint() const { return hasCurrent_; }
  Point currentPoint() const { return current_; }
  const std::vector<Element>& elements() const { return elements_; }
  // Smallest rectangle holding every point of the path, control points included.
  Rect boundingBox() const;
  Path transformed(const AffineTransform& t) const;
  // Whether p lies inside the filled path.
  bool contains(Point p, FillRule rule = FillRule::NonZero) const;

  friend bool operator==(const Path& a, const Path& b) { return a.elements_ == b.elements_; }

 private:
  std::vector<Element> elements_;
  Point current_;
  Point subpathStart_;
  bool hasCurrent_ = false;
};

}  // namespace dk::platform

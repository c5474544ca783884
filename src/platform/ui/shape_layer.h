// Layers that draw something of their own: ShapeLayer (a path filled and stroked, CAShapeLayer)
// and GradientLayer (an axial gradient, CAGradientLayer). Main-thread objects, like all layers.
#pragma once

#include <optional>
#include <vector>

#include "platform/graphics/context.h"
#include "platform/graphics/gradient_layer.h"
#include "platform/graphics/path.h"
#include "platform/ui/layer.h"

namespace dk::platform {

class ShapeLayer : public Layer {
 public:
  const Path& path() const { return path_; }
  void setPath(Path path) { path_ = std::move(path); changed(); }
  // nullopt: no fill (the platform's nil fill colour). Default opaque black.
  std::optional<Color> fillColor() const { return fillColor_; }
  void setFillColor(std::optional<Color> color) { fillColor_ = color; changed(); }
  // nullopt: no stroke (the default).
  std::optional<Color> strokeColor() const { return strokeColor_; }
  void setStrokeColor(std::optional<Color> color) { strokeColor_ = color; changed(); }
  double lineWidth() const { return lineWidth_; }
  void setLineWidth(double width) { lineWidth_ = width; changed(); }
  LineCap lineCap() const { return lineCap_; }
  void setLineCap(LineCap cap) { lineCap_ = cap; changed(); }
  LineJoin lineJoin() const { return lineJoin_; }
  void setLineJoin(LineJoin join) { lineJoin_ = join; changed(); }
  FillRule fillRule() const { return fillRule_; }
  void setFillRule(FillRule rule) { fillRule_ = rule; changed(); }

  void drawContents(GraphicsContext& context) const override;

 private:
  Path path_;
  std::optional<Color> fillColor_ = Color::black();
  std::optional<Color> strokeColor_;
  double lineWidth_ = 1;
  LineCap lineCap_ = LineCap::Butt;
  LineJoin lineJoin_ = LineJoin::Miter;
  FillRule fillRule_ = FillRule::NonZero;
};

class GradientLayer : public Layer {
 public:
  const GradientLayerStyle& style() const { return style_; }
  void setColors(std::vector<Color> colors) { style_.colors = std::move(colors); changed(); }
  void setLocations(std::vector<double> locations) { style_.locations = std::move(locations); changed(); }
  // Unit coordinates of the bounds; defaults (0.5, 0) to (0.5, 1).
  void setStartPoint(Point p) { style_.startPoint = p; changed(); }
  void setEndPoint(Point p) { style_.endPoint = p; changed(); }

  void drawContents(GraphicsContext& context) const override;

 private:
  GradientLayerStyle style_;
};

}  // namespace dk::platform

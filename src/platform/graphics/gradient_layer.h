// GradientLayerStyle: the drawing of an axial gradient layer (CAGradientLayer): colours spread
// over locations between a start and an end point given in unit coordinates of the layer's
// bounds, the end colours continuing beyond both ends. Views and layers of the UI layer host it
// and call draw() from their drawing pass. A value type; safe to share read-only.
#pragma once

#include <vector>

#include "platform/graphics/context.h"
#include "platform/graphics/geometry.h"

namespace dk::platform {

struct GradientLayerStyle {
  std::vector<Color> colors;
  // Empty: colours spread evenly from 0 to 1. Otherwise one location per colour, 0...1.
  std::vector<double> locations;
  Point startPoint{0.5, 0.0};
  Point endPoint{0.5, 1.0};

  // The stops the colours and locations give (locations clamped and kept in order).
  std::vector<GradientStop> stops() const;
  // Fills `bounds` with the gradient; nothing for fewer than one colour.
  void draw(GraphicsContext& context, const Rect& bounds) const;
};

}  // namespace dk::platform

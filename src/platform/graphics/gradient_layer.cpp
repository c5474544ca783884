#include "platform/graphics/gradient_layer.h"

#include <algorithm>

namespace dk::platform {

std::vector<GradientStop> GradientLayerStyle::stops() const {
  std::vector<GradientStop> result;
  const size_t n = colors.size();
  if (n == 0) return result;
  const bool useLocations = locations.size() == n;
  double previous = 0;
  for (size_t i = 0; i < n; ++i) {
    double location = useLocations ? locations[i] : (n == 1 ? 0.0 : static_cast<double>(i) / (n - 1));
    // Stops must not run backwards; a location before the previous one sits on it.
    location = std::max(previous, std::clamp(location, 0.0, 1.0));
    previous = location;
    result.push_back({location, colors[i]});
  }
  return result;
}

void GradientLayerStyle::draw(GraphicsContext& context, const Rect& bounds) const {
  if (colors.empty() || bounds.isEmpty()) return;
  const Rect b = bounds.standardized();
  context.saveGState();
  context.clipToRect(b);
  if (colors.size() == 1 || startPoint == endPoint) {
    context.setFillColor(colors.front());
    context.fillRect(b);
  } else {
    const Point start{b.minX() + startPoint.x * b.width(), b.minY() + startPoint.y * b.height()};
    const Point end{b.minX() + endPoint.x * b.width(), b.minY() + endPoint.y * b.height()};
    context.drawLinearGradient(stops(), start, end, true, true);
  }
  context.restoreGState();
}

}  // namespace dk::platform

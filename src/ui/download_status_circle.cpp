#include "ui/download_status_circle.h"

#include <numbers>

namespace dk {

DownloadStatusCircle getDownloadStatusCircleWithRadius(const platform::Color& strokeColor, float radius, float progress,
                                                       float lineWidth) {
  DownloadStatusCircle circle;
  circle.strokeColor = strokeColor;
  circle.lineWidth = lineWidth;
  const double diameter = 2.0f * radius;
  if (progress == 1.0f) {
    circle.path = platform::Path::roundedRect(platform::Rect(0, 0, diameter, diameter), radius);
    circle.position = platform::Point{0.5, 0.5};
  } else {
    // Both shapes centre on (r + 0.5, r + 0.5) of the parent once the layer is placed: the arc's
    // layer keeps its default position and so sits half its size up and left.
    constexpr float kTop = 4.71238898038469f;
    const float end = kTop + 1.5f * progress * static_cast<float>(std::numbers::pi);
    circle.path = platform::Path::arc({diameter + 0.5, diameter + 0.5}, radius, kTop, end, true);
    circle.bounds = platform::Rect(0, 0, diameter, diameter);
  }
  return circle;
}

}  // namespace dk

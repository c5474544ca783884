// The circular download-progress ring drawn over event thumbnails (getDownloadStatusCircleWithRadius).
//
// DownloadStatusCircle describes the shape layer the ring is: its path, stroke and geometry; the
// layer classes of the UI layer build the actual layer from it. A plain value; safe anywhere.
#pragma once

#include <optional>

#include "platform/graphics/geometry.h"
#include "platform/graphics/path.h"

namespace dk {

struct DownloadStatusCircle {
  platform::Path path;
  platform::Color strokeColor;
  platform::Color fillColor = platform::Color::clear();
  double lineWidth = 1;
  // The layer's position, set for the full circle; its bounds, set for a partial arc.
  std::optional<platform::Point> position;
  std::optional<platform::Rect> bounds;
};

// Progress 1.0 exactly: a closed circle of radius r in (0, 0, 2r, 2r) at position (0.5, 0.5).
// Otherwise: an arc centred at (2r + 0.5, 2r + 0.5), clockwise from the top (3pi/2) through
// 1.5 * progress * pi, in bounds (0, 0, 2r, 2r). Arguments are single precision, as the caller's.
DownloadStatusCircle getDownloadStatusCircleWithRadius(const platform::Color& strokeColor, float radius, float progress,
                                                       float lineWidth);

}  // namespace dk

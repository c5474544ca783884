// Picture comparison for tests: how far two images are apart, pixel by pixel.
//
// Compares the premultiplied 8-bit channels of two images of the same pixel size. Pure functions
// over immutable images; safe from any thread.
#pragma once

#include <cstddef>
#include <string>

#include "platform/graphics/image.h"

namespace dk::platform {

struct ImageDifference {
  bool sameSize = false;
  // Mean and largest absolute channel difference (0...255) over every channel of every pixel.
  double meanAbsolute = 0;
  int maxAbsolute = 0;
  // Pixels where any channel differs by more than the tolerance given to compareImages.
  std::size_t differingPixels = 0;
  // Differing pixels whose eight neighbours all differ too: the inside of a changed area, where
  // a softened or shifted edge would leave only a line.
  std::size_t solidlyDifferingPixels = 0;

  // Whether the images match within the tolerances.
  bool within(double meanTolerance, int maxTolerance) const {
    return sameSize && meanAbsolute <= meanTolerance && maxAbsolute <= maxTolerance;
  }
  std::string describe() const;
};

ImageDifference compareImages(const Image& a, const Image& b, int pixelTolerance = 0);

}  // namespace dk::platform

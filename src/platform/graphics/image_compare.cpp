#include "platform/graphics/image_compare.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace dk::platform {

ImageDifference compareImages(const Image& a, const Image& b, int pixelTolerance) {
  ImageDifference d;
  d.sameSize = a.pixelWidth() == b.pixelWidth() && a.pixelHeight() == b.pixelHeight();
  if (!d.sameSize) {
    d.meanAbsolute = 255;
    d.maxAbsolute = 255;
    return d;
  }
  const ConstPixelBuffer pa = a.pixels(), pb = b.pixels();
  std::uint64_t total = 0;
  std::vector<std::uint8_t> differs(static_cast<size_t>(pa.width) * pa.height, 0);
  for (int y = 0; y < pa.height; ++y) {
    const std::uint8_t* ra = pa.data + static_cast<size_t>(y) * pa.bytesPerRow;
    const std::uint8_t* rb = pb.data + static_cast<size_t>(y) * pb.bytesPerRow;
    for (int x = 0; x < pa.width; ++x) {
      int pixelMax = 0;
      for (int c = 0; c < 4; ++c) {
        const int diff = std::abs(int{ra[4 * x + c]} - int{rb[4 * x + c]});
        total += static_cast<std::uint64_t>(diff);
        pixelMax = std::max(pixelMax, diff);
      }
      d.maxAbsolute = std::max(d.maxAbsolute, pixelMax);
      if (pixelMax > pixelTolerance) {
        ++d.differingPixels;
        differs[static_cast<size_t>(y) * pa.width + x] = 1;
      }
    }
  }
  for (int y = 1; y + 1 < pa.height; ++y) {
    for (int x = 1; x + 1 < pa.width; ++x) {
      bool solid = true;
      for (int dy = -1; dy <= 1 && solid; ++dy) {
        for (int dx = -1; dx <= 1 && solid; ++dx) solid = differs[static_cast<size_t>(y + dy) * pa.width + x + dx];
      }
      if (solid) ++d.solidlyDifferingPixels;
    }
  }
  d.meanAbsolute = static_cast<double>(total) / (4.0 * pa.width * pa.height);
  return d;
}

std::string ImageDifference::describe() const {
  std::ostringstream out;
  if (!sameSize) return "images differ in size";
  out << "mean channel difference " << meanAbsolute << ", max " << maxAbsolute << ", " << differingPixels
      << " pixels beyond tolerance (" << solidlyDifferingPixels << " inside a changed area)";
  return out.str();
}

}  // namespace dk::platform

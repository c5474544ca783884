// Image decoding: any bytes decode or are refused with a reason, never past the pixel caps; and
// decoded to fit a bound (rows shrunk as they arrive), never past the bound.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/graphics/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  std::string error;
  auto image = dk::platform::Image::fromEncodedData(bytes, 1.0, &error);
  if (!image) {
    if (error.empty()) std::abort();
  } else {
    const auto pixels = static_cast<uint64_t>(image->size().width) * static_cast<uint64_t>(image->size().height);
    if (pixels > 50'000'000) std::abort();
    (void)image->pixelColor(0, 0);
  }
  // A bound from 1 to 64 pixels, so that even small inputs take the shrinking road.
  const int bound = 1 + (size > 0 ? data[size - 1] % 64 : 0);
  error.clear();
  auto fitted = dk::platform::Image::fromEncodedDataFitting(bytes, bound, 1.0, &error);
  if (!fitted) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (fitted->pixelWidth() > bound || fitted->pixelHeight() > bound) std::abort();
  (void)fitted->pixelColor(fitted->pixelWidth() - 1, fitted->pixelHeight() - 1);
  return 0;
}

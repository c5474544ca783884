// Image decoding: any bytes decode or are refused with a reason, never past the pixel caps.
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
    return 0;
  }
  const auto pixels = static_cast<uint64_t>(image->size().width) * static_cast<uint64_t>(image->size().height);
  if (pixels > 50'000'000) std::abort();
  (void)image->pixelColor(0, 0);
  return 0;
}

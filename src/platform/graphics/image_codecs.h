// Private to the graphics layer: PNG and JPEG to and from cairo ARGB32 surfaces.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dk::platform {

// Largest width or height accepted from encoded data, so a hostile header cannot make us allocate
// gigabytes.
constexpr int kMaxDecodedDimension = 16384;
// Largest picture accepted, and the most pixels each byte of encoded data may stand for: a small
// file that declares a huge picture is refused before anything of that size is allocated. (Real
// JPEGs stay far below 1024 pixels a byte; deflate cannot exceed about 1032:1, which for a
// one-bit PNG is about 8300 pixels a byte.)
constexpr std::uint64_t kMaxDecodedPixels = 50'000'000;
constexpr std::uint64_t kMaxJpegPixelsPerByte = 1024;
constexpr std::uint64_t kMaxPngPixelsPerByte = 8300;

// A new ARGB32 surface, or nullptr with the reason in *error. *opaque tells whether the data had no
// alpha channel. JPEG data that libjpeg finds corrupt is refused, not shown half grey.
cairo_surface_t* decodeImage(const std::vector<std::uint8_t>& bytes, bool* opaque, std::string* error);
// The same, scaled down by a whole factor (blocks of pixels averaged) so that neither side
// exceeds `maxPixelSize`; a picture already within it comes out as decodeImage gives it. Rows are
// shrunk as they are decoded (JPEG at libjpeg's reduced scales first), so a large picture never
// takes memory of its full size. An interlaced PNG, whose rows arrive in passes, is refused when
// it is more than twice the bound across.
cairo_surface_t* decodeImageToFit(const std::vector<std::uint8_t>& bytes, int maxPixelSize, bool* opaque,
                                  std::string* error);
std::vector<std::uint8_t> encodePNGSurface(cairo_surface_t* surface);
std::vector<std::uint8_t> encodeJPEGSurface(cairo_surface_t* surface, double quality);

}  // namespace dk::platform

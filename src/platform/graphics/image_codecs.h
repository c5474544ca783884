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

// A new ARGB32 surface, or nullptr with the reason in *error. *opaque tells whether the data had no
// alpha channel.
cairo_surface_t* decodeImage(const std::vector<std::uint8_t>& bytes, bool* opaque, std::string* error);
std::vector<std::uint8_t> encodePNGSurface(cairo_surface_t* surface);
std::vector<std::uint8_t> encodeJPEGSurface(cairo_surface_t* surface, double quality);

}  // namespace dk::platform

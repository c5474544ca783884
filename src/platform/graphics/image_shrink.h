// Private to the graphics layer: shrinking a picture by a whole factor as its rows arrive, so a
// large picture is never held at full size.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

namespace dk::platform {

// The smallest whole factor that brings a w x h picture within `maxPixelSize` on both sides.
int shrinkFactor(int w, int h, int maxPixelSize);

// Takes the rows of a w x h picture (premultiplied ARGB32 words), top to bottom, and averages
// each `factor` x `factor` block (fewer at the right and bottom edges) into one pixel of a new
// surface. Holds one row of sums, not the picture.
class RowShrinker {
 public:
  RowShrinker(int w, int h, int factor);
  ~RowShrinker();
  RowShrinker(const RowShrinker&) = delete;
  RowShrinker& operator=(const RowShrinker&) = delete;

  // False when the surface could not be made.
  bool ready() const { return surface_ != nullptr; }
  void addRow(const std::uint32_t* row);
  // The surface (owned by the caller from now on) once every row has come; nullptr otherwise.
  cairo_surface_t* finish();

 private:
  void flush();

  int w_, h_, factor_, outW_, outH_;
  int rowsIn_ = 0, rowsInBlock_ = 0, rowsOut_ = 0;
  std::vector<std::uint64_t> sums_;  // four channels per output pixel
  cairo_surface_t* surface_ = nullptr;
};

}  // namespace dk::platform

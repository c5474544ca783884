#include "platform/graphics/image_shrink.h"

#include <algorithm>

namespace dk::platform {

int shrinkFactor(int w, int h, int maxPixelSize) {
  const int longer = std::max(w, h);
  if (maxPixelSize <= 0 || longer <= maxPixelSize) return 1;
  return (longer + maxPixelSize - 1) / maxPixelSize;
}

RowShrinker::RowShrinker(int w, int h, int factor)
    : w_(w), h_(h), factor_(std::max(factor, 1)), outW_((w + factor_ - 1) / factor_),
      outH_((h + factor_ - 1) / factor_), sums_(static_cast<size_t>(outW_) * 4, 0) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, outW_, outH_);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return;
  }
  cairo_surface_flush(s);
  surface_ = s;
}

RowShrinker::~RowShrinker() {
  if (surface_) cairo_surface_destroy(surface_);
}

void RowShrinker::addRow(const std::uint32_t* row) {
  if (!surface_ || rowsIn_ >= h_) return;
  for (int x = 0; x < w_; ++x) {
    std::uint64_t* sum = &sums_[static_cast<size_t>(x / factor_) * 4];
    const std::uint32_t p = row[x];
    sum[0] += p & 0xff;
    sum[1] += (p >> 8) & 0xff;
    sum[2] += (p >> 16) & 0xff;
    sum[3] += p >> 24;
  }
  ++rowsIn_;
  if (++rowsInBlock_ == factor_ || rowsIn_ == h_) flush();
}

void RowShrinker::flush() {
  auto* out = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface_) +
                                               static_cast<size_t>(rowsOut_) * cairo_image_surface_get_stride(surface_));
  for (int ox = 0; ox < outW_; ++ox) {
    const std::uint64_t columns = static_cast<std::uint64_t>(std::min(factor_, w_ - ox * factor_));
    const std::uint64_t count = columns * static_cast<std::uint64_t>(rowsInBlock_);
    std::uint64_t* sum = &sums_[static_cast<size_t>(ox) * 4];
    std::uint32_t word = 0;
    for (int c = 0; c < 4; ++c) {
      word |= static_cast<std::uint32_t>((sum[c] + count / 2) / count) << (8 * c);
      sum[c] = 0;
    }
    out[ox] = word;
  }
  ++rowsOut_;
  rowsInBlock_ = 0;
}

cairo_surface_t* RowShrinker::finish() {
  if (!surface_ || rowsIn_ != h_) return nullptr;
  cairo_surface_mark_dirty(surface_);
  cairo_surface_t* done = surface_;
  surface_ = nullptr;
  return done;
}

}  // namespace dk::platform

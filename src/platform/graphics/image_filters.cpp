#include "platform/graphics/image_filters.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace dk::platform {
namespace {

constexpr int kAlphaByte = std::endian::native == std::endian::little ? 3 : 0;

bool sameShape(const ConstPixelBuffer& src, const PixelBuffer& dst) {
  return src.data && dst.data && src.width > 0 && src.height > 0 && src.width == dst.width &&
         src.height == dst.height && src.bytesPerRow >= src.width * 4 && dst.bytesPerRow >= dst.width * 4;
}

}  // namespace

bool boxConvolve(const ConstPixelBuffer& srcIn, const PixelBuffer& dst, int kernelWidth, int kernelHeight) {
  if (!sameShape(srcIn, dst) || kernelWidth <= 0 || kernelHeight <= 0 || kernelWidth % 2 == 0 ||
      kernelHeight % 2 == 0) {
    return false;
  }
  const int w = srcIn.width, h = srcIn.height;
  const int hr = kernelWidth / 2, vr = kernelHeight / 2;

  // Rows already written would be read again while the window slides; work from a copy in place.
  std::vector<std::uint8_t> copy;
  ConstPixelBuffer src = srcIn;
  if (srcIn.data == dst.data) {
    copy.resize(static_cast<size_t>(srcIn.bytesPerRow) * h);
    std::memcpy(copy.data(), srcIn.data, copy.size());
    src.data = copy.data();
  }

  auto row = [&](int y) { return src.data + static_cast<size_t>(std::clamp(y, 0, h - 1)) * src.bytesPerRow; };
  const size_t channels = static_cast<size_t>(w) * 4;

  // Vertical first: colsum[x][c] sums the column's window of source pixels, slid one row at a time
  // (one row in, one row out). Each output row is then a horizontal running sum over colsum.
  // Both are sums of the same box, so the result is the exact box average, rounded once.
  std::vector<std::uint32_t> colsum(channels, 0);
  for (int j = -vr; j <= vr; ++j) {
    const std::uint8_t* p = row(j);
    for (size_t i = 0; i < channels; ++i) colsum[i] += p[i];
  }
  // colsum padded by hr pixels of its edge values on each side, so the running sum needs no clamps.
  std::vector<std::uint32_t> padded(static_cast<size_t>(w + 2 * hr) * 4);

  // Rounded to nearest: floor((2 sum + area) / (2 area)), by one multiply and shift. Exact while
  // numerator times divisor stays below 2^48 (boxes up to about 700 x 700).
  const std::uint64_t area = static_cast<std::uint64_t>(kernelWidth) * static_cast<std::uint64_t>(kernelHeight);
  const std::uint64_t divisor = 2 * area;
  const bool exactMultiply = 511 * area * divisor < (std::uint64_t{1} << 48);
  const std::uint64_t magic = ((std::uint64_t{1} << 48) + divisor - 1) / divisor;
  auto average = [&](std::uint32_t sum) -> std::uint8_t {
    const std::uint64_t numerator = 2 * std::uint64_t{sum} + area;
    return static_cast<std::uint8_t>(exactMultiply ? (numerator * magic) >> 48 : numerator / divisor);
  };
  for (int y = 0; y < h; ++y) {
    std::uint32_t* pad = padded.data();
    for (int k = 0; k < hr; ++k) {
      std::memcpy(pad + static_cast<size_t>(k) * 4, colsum.data(), 16);
      std::memcpy(pad + static_cast<size_t>(hr + w + k) * 4, colsum.data() + (w - 1) * 4, 16);
    }
    std::memcpy(pad + static_cast<size_t>(hr) * 4, colsum.data(), channels * 4);

    // Locals rather than an array: the byte stores below could otherwise alias the sums.
    std::uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int k = 0; k < kernelWidth - 1; ++k) {
      s0 += pad[k * 4], s1 += pad[k * 4 + 1], s2 += pad[k * 4 + 2], s3 += pad[k * 4 + 3];
    }
    std::uint8_t* __restrict out = dst.data + static_cast<size_t>(y) * dst.bytesPerRow;
    const std::uint32_t* __restrict entering = pad + static_cast<size_t>(kernelWidth - 1) * 4;
    const std::uint32_t* __restrict leaving = pad;
    for (int x = 0; x < w; ++x) {
      s0 += entering[0], s1 += entering[1], s2 += entering[2], s3 += entering[3];
      out[0] = average(s0), out[1] = average(s1), out[2] = average(s2), out[3] = average(s3);
      s0 -= leaving[0], s1 -= leaving[1], s2 -= leaving[2], s3 -= leaving[3];
      out += 4, entering += 4, leaving += 4;
    }

    if (y + 1 < h) {
      const std::uint8_t* in = row(y + vr + 1);
      const std::uint8_t* gone = row(y - vr);
      if (in != gone) {
        std::uint32_t* __restrict sums = colsum.data();
        const std::uint8_t* __restrict add = in;
        const std::uint8_t* __restrict remove = gone;
        for (size_t i = 0; i < channels; ++i) sums[i] += static_cast<std::uint32_t>(add[i]) - remove[i];
      }
    }
  }
  return true;
}

bool matrixMultiply(const ConstPixelBuffer& srcIn, const PixelBuffer& dst, const std::array<std::int16_t, 16>& matrix,
                    std::int32_t divisor) {
  if (!sameShape(srcIn, dst) || divisor <= 0) return false;
  const std::int32_t half = divisor / 2;
  // The usual divisor is a power of two: a shift instead of four divisions per pixel.
  const bool powerOfTwo = (divisor & (divisor - 1)) == 0;
  // Largest magnitude a sum can reach, to know whether single precision holds it exactly.
  std::int64_t largestSum = 0;
  for (int c = 0; c < 4; ++c) {
    std::int64_t column = 0;
    for (int r = 0; r < 4; ++r) column += std::abs(static_cast<std::int64_t>(matrix[static_cast<size_t>(r * 4 + c)]));
    largestSum = std::max(largestSum, 255 * column + half);
  }
  if (powerOfTwo && largestSum < (std::int64_t{1} << 24)) {
    // Four lanes of single precision: every sum is an integer below 2^24 and the divisor a power
    // of two, so the arithmetic is exact and truncation after clamping at zero rounds as above.
    typedef float Lanes __attribute__((vector_size(16)));
    Lanes rows[4];
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) rows[r][c] = matrix[static_cast<size_t>(r * 4 + c)];
    }
    const float bias = static_cast<float>(half), scale = 1.0f / static_cast<float>(divisor);
    const Lanes zero = {0, 0, 0, 0}, top = {255, 255, 255, 255};
    for (int y = 0; y < srcIn.height; ++y) {
      const std::uint8_t* in = srcIn.data + static_cast<size_t>(y) * srcIn.bytesPerRow;
      std::uint8_t* out = dst.data + static_cast<size_t>(y) * dst.bytesPerRow;
      for (int x = 0; x < srcIn.width; ++x, in += 4, out += 4) {
        Lanes v = rows[0] * static_cast<float>(in[0]) + rows[1] * static_cast<float>(in[1]) +
                  rows[2] * static_cast<float>(in[2]) + rows[3] * static_cast<float>(in[3]);
        v = (v + bias) * scale;
        v = v < zero ? zero : v;
        v = v > top ? top : v;
        const float alpha = v[kAlphaByte];
        for (int c = 0; c < 4; ++c) {
          out[c] = static_cast<std::uint8_t>(c == kAlphaByte ? alpha : std::min(v[c], alpha));
        }
      }
    }
    return true;
  }
  std::int32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = matrix[static_cast<size_t>(i)];
  // Floor division, so that negative sums land below zero and clamp there.
  auto channel = [&](std::int32_t sum) {
    const std::int64_t n = std::int64_t{sum} + half;
    const std::int64_t q = n >= 0 ? n / divisor : -((-n + divisor - 1) / divisor);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(q, 0, 255));
  };
  for (int y = 0; y < srcIn.height; ++y) {
    const std::uint8_t* in = srcIn.data + static_cast<size_t>(y) * srcIn.bytesPerRow;
    std::uint8_t* out = dst.data + static_cast<size_t>(y) * dst.bytesPerRow;
    for (int x = 0; x < srcIn.width; ++x, in += 4, out += 4) {
      const std::int32_t p0 = in[0], p1 = in[1], p2 = in[2], p3 = in[3];
      std::int32_t v[4];
      for (int c = 0; c < 4; ++c) v[c] = channel(p0 * m[c] + p1 * m[4 + c] + p2 * m[8 + c] + p3 * m[12 + c]);
      const std::int32_t alpha = v[kAlphaByte];
      for (int c = 0; c < 4; ++c) out[c] = static_cast<std::uint8_t>(c == kAlphaByte ? alpha : std::min(v[c], alpha));
    }
  }
  return true;
}

}  // namespace dk::platform

#include "platform/graphics/image_filters.h"

#include <algorithm>
#include <bit>
#include <cmath>
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
  const int lastX = w - 1;

  // colsum[x][c]: the sum over the vertical window of each row's horizontal window sum.
  std::vector<std::uint32_t> colsum(static_cast<size_t>(w) * 4, 0);

  // Adds (sign +1) or removes (sign -1) one row's horizontal window sums, by a running sum.
  auto accumulateRow = [&](const std::uint8_t* p, std::uint32_t* out, bool add) {
    std::uint32_t s[4];
    for (int c = 0; c < 4; ++c) {
      std::uint32_t v = static_cast<std::uint32_t>(hr + 1) * p[c];
      for (int i = 1; i <= hr; ++i) v += p[std::min(i, lastX) * 4 + c];
      s[c] = v;
    }
    for (int x = 0; x < w; ++x) {
      const int in = std::min(x + hr + 1, lastX) * 4, outIdx = std::max(x - hr, 0) * 4;
      for (int c = 0; c < 4; ++c) {
        out[x * 4 + c] += add ? s[c] : -s[c];
        s[c] += p[in + c];
        s[c] -= p[outIdx + c];
      }
    }
  };
  // One row in, one row out of the window, in a single sweep.
  auto slideRow = [&](const std::uint8_t* pin, const std::uint8_t* pout, std::uint32_t* out) {
    std::int32_t s[4];
    for (int c = 0; c < 4; ++c) {
      std::int32_t v = (hr + 1) * (static_cast<std::int32_t>(pin[c]) - pout[c]);
      for (int i = 1; i <= hr; ++i) {
        const int k = std::min(i, lastX) * 4 + c;
        v += static_cast<std::int32_t>(pin[k]) - pout[k];
      }
      s[c] = v;
    }
    for (int x = 0; x < w; ++x) {
      const int in = std::min(x + hr + 1, lastX) * 4, outIdx = std::max(x - hr, 0) * 4;
      for (int c = 0; c < 4; ++c) {
        out[x * 4 + c] += static_cast<std::uint32_t>(s[c]);
        s[c] += static_cast<std::int32_t>(pin[in + c]) - pin[outIdx + c];
        s[c] -= static_cast<std::int32_t>(pout[in + c]) - pout[outIdx + c];
      }
    }
  };

  for (int j = -vr; j <= vr; ++j) accumulateRow(row(j), colsum.data(), true);

  const double area = static_cast<double>(kernelWidth) * kernelHeight;
  const double inverse = 1.0 / area;
  const double half = area / 2;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* out = dst.data + static_cast<size_t>(y) * dst.bytesPerRow;
    for (int i = 0; i < w * 4; ++i) {
      // Rounded to nearest; the small bias keeps exact quotients from flooring one below.
      out[i] = static_cast<std::uint8_t>((colsum[i] + half) * inverse + 1e-7);
    }
    if (y + 1 < h) {
      const std::uint8_t* entering = row(y + vr + 1);
      const std::uint8_t* leaving = row(y - vr);
      if (entering != leaving) slideRow(entering, leaving, colsum.data());
    }
  }
  return true;
}

bool matrixMultiply(const ConstPixelBuffer& srcIn, const PixelBuffer& dst, const std::array<std::int16_t, 16>& matrix,
                    std::int32_t divisor) {
  if (!sameShape(srcIn, dst) || divisor <= 0) return false;
  const std::int32_t half = divisor / 2;
  for (int y = 0; y < srcIn.height; ++y) {
    const std::uint8_t* in = srcIn.data + static_cast<size_t>(y) * srcIn.bytesPerRow;
    std::uint8_t* out = dst.data + static_cast<size_t>(y) * dst.bytesPerRow;
    for (int x = 0; x < srcIn.width; ++x) {
      const std::uint8_t p[4] = {in[4 * x], in[4 * x + 1], in[4 * x + 2], in[4 * x + 3]};
      std::int32_t v[4];
      for (int c = 0; c < 4; ++c) {
        const std::int32_t sum =
            p[0] * matrix[c] + p[1] * matrix[4 + c] + p[2] * matrix[8 + c] + p[3] * matrix[12 + c];
        v[c] = sum <= 0 ? 0 : std::min<std::int32_t>((sum + half) / divisor, 255);
      }
      const std::int32_t alpha = v[kAlphaByte];
      for (int c = 0; c < 4; ++c) {
        out[4 * x + c] = static_cast<std::uint8_t>(c == kAlphaByte ? alpha : std::min(v[c], alpha));
      }
    }
  }
  return true;
}

}  // namespace dk::platform

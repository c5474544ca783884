#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/graphics/image_filters.h"

namespace dk::platform {
namespace {

// A plain ARGB32 buffer with padding at the end of each row, as bitmaps have.
struct Buffer {
  Buffer(int w, int h) : width(w), height(h), stride(w * 4 + 8), bytes(static_cast<size_t>(stride) * h, 0) {}
  PixelBuffer view() { return {bytes.data(), width, height, stride}; }
  std::uint8_t* at(int x, int y) { return bytes.data() + static_cast<size_t>(y) * stride + x * 4; }
  void fill(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        std::uint8_t* p = at(x, y);
        p[0] = b, p[1] = g, p[2] = r, p[3] = a;
      }
    }
  }
  long channelSum(int c) {
    long sum = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) sum += at(x, y)[c];
    }
    return sum;
  }
  int width, height, stride;
  std::vector<std::uint8_t> bytes;
};

TEST(BoxConvolve, FlatImageStaysFlat) {
  Buffer src(30, 20), dst(30, 20);
  src.fill(10, 120, 200, 255);
  ASSERT_TRUE(boxConvolve(src.view().asConst(), dst.view(), 9, 9));
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 30; ++x) {
      ASSERT_EQ(std::memcmp(dst.at(x, y), src.at(x, y), 4), 0) << x << "," << y;
    }
  }
}

TEST(BoxConvolve, SinglePixelSpreadsEvenlyOverTheBox) {
  Buffer src(21, 21), dst(21, 21);
  std::uint8_t* centre = src.at(10, 10);
  centre[0] = centre[1] = centre[2] = centre[3] = 250;
  ASSERT_TRUE(boxConvolve(src.view().asConst(), dst.view(), 5, 5));
  // 250 / 25 = 10 on every pixel of the 5 x 5 box around it, nothing outside.
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 21; ++x) {
      const bool inBox = std::abs(x - 10) <= 2 && std::abs(y - 10) <= 2;
      ASSERT_EQ(dst.at(x, y)[3], inBox ? 10 : 0) << x << "," << y;
    }
  }
}

TEST(BoxConvolve, ThreePassesSpreadSymmetricallyAndKeepTheTotal) {
  Buffer a(41, 41), b(41, 41);
  std::uint8_t* centre = a.at(20, 20);
  centre[0] = centre[1] = centre[2] = centre[3] = 255;
  for (int pass = 0; pass < 3; ++pass) {
    if (pass % 2 == 0) {
      ASSERT_TRUE(boxConvolve(a.view().asConst(), b.view(), 5, 5));
    } else {
      ASSERT_TRUE(boxConvolve(b.view().asConst(), a.view(), 5, 5));
    }
  }
  Buffer& out = b;
  for (int d = 0; d <= 6; ++d) {
    const int v = out.at(20 + d, 20)[3];
    EXPECT_EQ(out.at(20 - d, 20)[3], v) << d;
    EXPECT_EQ(out.at(20, 20 + d)[3], v) << d;
    EXPECT_EQ(out.at(20, 20 - d)[3], v) << d;
    if (d > 0) {
      EXPECT_LE(v, out.at(20 + d - 1, 20)[3]);  // falls off from the centre
    }
  }
  EXPECT_GT(out.at(20, 20)[3], 0);
  EXPECT_EQ(out.at(27, 20)[3], 0);  // three radius-2 passes reach six pixels
  // Rounding each pass costs at most half a level per pixel of the 13 x 13 reach.
  EXPECT_NEAR(out.channelSum(3), 255, 13 * 13 / 2);
}

TEST(BoxConvolve, EdgesExtendTheNearestPixel) {
  // A bright left column stays bright at the edge: the pixels beyond it repeat it.
  Buffer src(10, 4), dst(10, 4);
  for (int y = 0; y < 4; ++y) src.at(0, y)[3] = 90;
  ASSERT_TRUE(boxConvolve(src.view().asConst(), dst.view(), 3, 3));
  EXPECT_EQ(dst.at(0, 0)[3], 60);  // (90 + 90 + 0) / 3 over every row
  EXPECT_EQ(dst.at(1, 2)[3], 30);
  EXPECT_EQ(dst.at(2, 2)[3], 0);
}

TEST(BoxConvolve, KernelWiderThanTheImageStillAverages) {
  Buffer src(3, 3), dst(3, 3);
  src.fill(0, 0, 0, 255);
  src.at(1, 1)[3] = 0;
  ASSERT_TRUE(boxConvolve(src.view().asConst(), dst.view(), 51, 51));
  EXPECT_GT(dst.at(1, 1)[3], 250);
}

TEST(BoxConvolve, InPlaceGivesTheSameResult) {
  Buffer src(17, 13), dst(17, 13);
  for (size_t i = 0; i < src.bytes.size(); ++i) src.bytes[i] = static_cast<std::uint8_t>((i * 37) % 251);
  ASSERT_TRUE(boxConvolve(src.view().asConst(), dst.view(), 7, 3));
  ASSERT_TRUE(boxConvolve(src.view().asConst(), src.view(), 7, 3));
  for (int y = 0; y < 13; ++y) ASSERT_EQ(std::memcmp(src.at(0, y), dst.at(0, y), 17 * 4), 0);
}

TEST(BoxConvolve, RefusesEvenKernelsAndMismatchedBuffers) {
  Buffer a(4, 4), b(4, 5);
  a.fill(1, 2, 3, 4);
  Buffer c = a;
  EXPECT_FALSE(boxConvolve(a.view().asConst(), c.view(), 4, 3));
  EXPECT_FALSE(boxConvolve(a.view().asConst(), c.view(), 3, 0));
  EXPECT_FALSE(boxConvolve(a.view().asConst(), b.view(), 3, 3));
  EXPECT_EQ(c.bytes, a.bytes);
}

TEST(MatrixMultiply, IdentityKeepsPixelsAndRowsMapInputToOutputBytes) {
  Buffer src(2, 1), dst(2, 1);
  src.fill(10, 20, 30, 255);
  std::array<std::int16_t, 16> identity{256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256};
  ASSERT_TRUE(matrixMultiply(src.view().asConst(), dst.view(), identity, 256));
  EXPECT_EQ(std::memcmp(dst.at(0, 0), src.at(0, 0), 4), 0);
  // Row 0 (input byte 0) feeding column 2 (output byte 2): byte 0 moves to byte 2.
  std::array<std::int16_t, 16> swap{0, 0, 256, 0, 0, 256, 0, 0, 256, 0, 0, 0, 0, 0, 0, 256};
  ASSERT_TRUE(matrixMultiply(src.view().asConst(), dst.view(), swap, 256));
  EXPECT_EQ(dst.at(0, 0)[0], 30);
  EXPECT_EQ(dst.at(0, 0)[2], 10);
}

TEST(MatrixMultiply, ResultsClampToBytesAndToAlpha) {
  Buffer src(1, 1), dst(1, 1);
  src.fill(100, 100, 100, 128);
  std::array<std::int16_t, 16> boost{1024, 0, 0, 0, -1024, 0, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256};
  ASSERT_TRUE(matrixMultiply(src.view().asConst(), dst.view(), boost, 256));
  EXPECT_EQ(dst.at(0, 0)[0], 0);    // 400 - 400 = 0
  EXPECT_EQ(dst.at(0, 0)[2], 100);
  EXPECT_EQ(dst.at(0, 0)[3], 128);
  std::array<std::int16_t, 16> brighten{768, 0, 0, 0, 0, 768, 0, 0, 0, 0, 768, 0, 0, 0, 0, 256};
  ASSERT_TRUE(matrixMultiply(src.view().asConst(), dst.view(), brighten, 256));
  EXPECT_EQ(dst.at(0, 0)[0], 128);  // 300 would be more than the pixel's alpha allows
  EXPECT_FALSE(matrixMultiply(src.view().asConst(), dst.view(), brighten, 0));
}

TEST(MatrixMultiply, LargeCoefficientsAndOtherDivisorsStayExact) {
  Buffer src(1, 1), dst(1, 1);
  src.fill(201, 7, 0, 255);
  // 201 * 30000 - 7 * 30000 = 5820000, / 30000 = 194: beyond what single precision holds exactly
  // for the larger entries, and a divisor that is not a power of two.
  std::array<std::int16_t, 16> big{30000, 0, 0, 0, -30000, 30000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30000};
  ASSERT_TRUE(matrixMultiply(src.view().asConst(), dst.view(), big, 30000));
  EXPECT_EQ(dst.at(0, 0)[0], 194);
  EXPECT_EQ(dst.at(0, 0)[1], 7);
  EXPECT_EQ(dst.at(0, 0)[3], 255);
  // Halves round up, as with the power-of-two divisor.
  std::array<std::int16_t, 16> half{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6};
  src.fill(1, 0, 0, 255);
  ASSERT_TRUE(matrixMultiply(src.view().asConst(), dst.view(), half, 6));
  EXPECT_EQ(dst.at(0, 0)[0], 1);  // 3 / 6 = 0.5
  std::array<std::int16_t, 16> halfPow2{128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256};
  ASSERT_TRUE(matrixMultiply(src.view().asConst(), dst.view(), halfPow2, 256));
  EXPECT_EQ(dst.at(0, 0)[0], 1);  // 128 / 256 = 0.5
}

}  // namespace
}  // namespace dk::platform

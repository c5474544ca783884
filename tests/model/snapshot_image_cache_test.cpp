#include "model/snapshot_image_cache.h"

#include <gtest/gtest.h>

#include "platform/dispatch/run_loop.h"
#include "platform/media/images/image_cache.h"

namespace dk {
namespace {

using platform::Color;
using platform::Image;

// A 160 x 90 point image at scale 2 with a marker column at pixel x = 70.
platform::ImagePtr snapshot() {
  const int w = 320, h = 180;
  std::vector<std::uint8_t> pixels(static_cast<size_t>(w * h * 4), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = &pixels[static_cast<size_t>((y * w + x) * 4)];
      const bool marker = x == 70;
      p[0] = marker ? 255 : 0;   // B
      p[1] = 0;                  // G
      p[2] = marker ? 0 : 200;   // R
      p[3] = 255;                // A
    }
  }
  return Image::fromPixels(pixels.data(), w, h, w * 4, 2.0, false);
}

class SnapshotCacheTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::ImageCache::resetForTesting();
    bool cleared = false;
    platform::ImageCache::sharedImageCache()->clearDisk([&] { cleared = true; });
    ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return cleared; }));
  }
  void TearDown() override {
    platform::MainRunLoop::runUntilIdle();
    platform::ImageCache::resetForTesting();
  }
  // The application home is the test program's temporary one (model_test_environment.cpp).
};

TEST(SnapshotCacheKeys, OptionPrefixesThenTheIdentifier) {
  EXPECT_EQ(getCacheKeyForImageKey(123, KLImageCacheOptionNone), "123");
  EXPECT_EQ(getCacheKeyForImageKey(123, KLImageCacheOptionCropped), "Cropped+123");
  EXPECT_EQ(getCacheKeyForImageKey(123, KLImageCacheOptionBlurred), "Blurred+123");
  EXPECT_EQ(getCacheKeyForImageKey(123, KLImageCacheOptionCropped | KLImageCacheOptionBlurred), "Cropped+Blurred+123");
  EXPECT_EQ(getCacheKeyForImageKey(std::nullopt, KLImageCacheOptionCropped), "Cropped+");
}

TEST(SnapshotCrop, CentredSquareAsTallAsTheImage) {
  auto cropped = croppedImageFromImage(snapshot());
  ASSERT_TRUE(cropped);
  EXPECT_EQ(cropped->pixelWidth(), 180);
  EXPECT_EQ(cropped->pixelHeight(), 180);
  EXPECT_EQ(cropped->scale(), 1.0);
  EXPECT_EQ(cropped->pixelValue(0, 10), 0xFF0000FFu) << "the square starts at x = 70";
  EXPECT_EQ(cropped->pixelValue(1, 10), 0xFFC80000u);
  EXPECT_FALSE(croppedImageFromImage(nullptr));

  auto tall = Image::withColor(Color::rgba(0, 1, 0, 1), {40, 100}, 1);
  auto clipped = croppedImageFromImage(tall);
  ASSERT_TRUE(clipped);
  EXPECT_EQ(clipped->pixelWidth(), 40) << "clipped to the image, as the platform clips";
  EXPECT_EQ(clipped->pixelHeight(), 100);
}

TEST_F(SnapshotCacheTest, StoreLocallyThenReadBothVariants) {
  EXPECT_FALSE(getLocalSnapshotForKey(123)) << "nothing stored yet";
  storeImageLocally(snapshot(), 123);
  auto plain = getLocalSnapshotForKey(123);
  auto square = getLocalCroppedSnapshotForKey(123);
  ASSERT_TRUE(plain);
  ASSERT_TRUE(square);
  EXPECT_EQ(plain->pixelWidth(), 320);
  EXPECT_EQ(square->pixelWidth(), 180);
  EXPECT_EQ(square->pixelValue(0, 0), 0xFF0000FFu);
  EXPECT_FALSE(getLocalSnapshotForKey(124));
  EXPECT_TRUE(platform::ImageCache::sharedImageCache()->diskImageExistsForKey("Cropped+123"));
}

TEST(SnapshotQueue, OneGlobalQueue) {
  EXPECT_EQ(imagesQueue(), imagesQueue());
  EXPECT_EQ(imagesQueue()->kind(), platform::DispatchQueue::Kind::Concurrent);
}

}  // namespace
}  // namespace dk

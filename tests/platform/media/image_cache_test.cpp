#include "platform/media/images/image_cache.h"

#include <gtest/gtest.h>

#include "platform/dispatch/run_loop.h"
#include "support/manual_clock.h"
#include "support/temp_directory.h"

namespace dk::platform {
namespace {

ImagePtr solid(Color color, double w = 8, double h = 6, double scale = 1, bool opaque = false) {
  auto image = Image::withColor(color, {w, h}, scale);
  if (!opaque) return image;
  auto p = image->pixels();
  return Image::fromPixels(p.data, p.width, p.height, p.bytesPerRow, scale, true);
}

std::shared_ptr<ImageCache> cacheIn(const std::filesystem::path& dir, ImageCache::Config config = {}) {
  config.directory = dir / "cache";
  return std::make_shared<ImageCache>(config);
}

void store(ImageCache& cache, ImagePtr image, const std::string& key) {
  bool done = false;
  cache.storeImage(std::move(image), key, [&] { done = true; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return done; }));
}

TEST(ImageCache, StoreThenReadFromMemoryAndDisk) {
  dk::test::TemporaryDirectory dir;
  auto cache = cacheIn(dir.path());
  auto image = solid(Color::rgba(1, 0, 0, 0.5), 8, 6, 2);
  store(*cache, image, "Cropped+123");
  EXPECT_EQ(cache->imageFromMemoryCacheForKey("Cropped+123"), image);
  EXPECT_EQ(cache->cachePathForKey("Cropped+123").filename(), "Cropped+123.img");
  cache->clearMemory();
  EXPECT_FALSE(cache->imageFromMemoryCacheForKey("Cropped+123"));
  auto fromDisk = cache->imageFromDiskCacheForKey("Cropped+123");
  ASSERT_TRUE(fromDisk);
  EXPECT_EQ(fromDisk->pixelWidth(), 16);
  EXPECT_EQ(fromDisk->pixelHeight(), 12);
  EXPECT_EQ(fromDisk->scale(), 1.0) << "images come back from disk at scale 1";
  EXPECT_EQ(fromDisk->pixelValue(3, 3), image->pixelValue(3, 3)) << "PNG keeps the pixels";
  EXPECT_EQ(cache->imageFromMemoryCacheForKey("Cropped+123"), fromDisk) << "a disk read fills memory";
  EXPECT_FALSE(cache->imageFromCacheForKey("456"));
}

TEST(ImageCache, ReadRightAfterStoreSeesTheImage) {
  dk::test::TemporaryDirectory dir;
  auto cache = cacheIn(dir.path());
  cache->storeImage(solid(Color::rgba(0, 0, 1, 1), 4, 4, 1, true), "opaque");
  cache->clearMemory();
  auto read = cache->imageFromDiskCacheForKey("opaque");
  ASSERT_TRUE(read) << "the read waits for the queued write";
  const Color c = read->pixelColor(2, 2);
  EXPECT_NEAR(c.blue, 1.0, 0.05) << "opaque images go through JPEG";
  EXPECT_TRUE(cache->diskImageExistsForKey("opaque"));
  MainRunLoop::runUntilIdle();
}

TEST(ImageCache, FilesExpireAfterTheirAge) {
  dk::test::TemporaryDirectory dir;
  dk::test::ManualClockScope clock;
  auto cache = cacheIn(dir.path());
  store(*cache, solid(Color::rgba(0, 1, 0, 1)), "old");
  clock.advance(604800 - 10);
  store(*cache, solid(Color::rgba(0, 1, 0, 1)), "young");
  cache->clearMemory();
  EXPECT_TRUE(cache->imageFromDiskCacheForKey("old"));
  clock.advance(20);
  cache->clearMemory();
  EXPECT_FALSE(cache->imageFromDiskCacheForKey("old")) << "older than a week";
  EXPECT_TRUE(cache->imageFromDiskCacheForKey("young"));
  EXPECT_EQ(cache->totalDiskCount(), 2u);
  bool done = false;
  cache->deleteOldFiles([&] { done = true; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return done; }));
  EXPECT_EQ(cache->totalDiskCount(), 1u);
}

TEST(ImageCache, SizeLimitRemovesTheOldestFirst) {
  dk::test::TemporaryDirectory dir;
  dk::test::ManualClockScope clock;
  ImageCache::Config config;
  auto probe = cacheIn(dir.path() / "probe");
  store(*probe, solid(Color::rgba(1, 1, 0, 0.5), 32, 32), "x");
  const uint64_t one = probe->totalDiskSize();
  ASSERT_GT(one, 0u);
  config.maxCacheSize = one * 3;  // four files exceed it; trimming goes down to 1.5 files
  auto cache = cacheIn(dir.path(), config);
  for (const char* key : {"a", "b", "c", "d"}) {
    store(*cache, solid(Color::rgba(1, 1, 0, 0.5), 32, 32), key);
    clock.advance(60);
  }
  bool done = false;
  cache->deleteOldFiles([&] { done = true; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return done; }));
  EXPECT_FALSE(cache->diskImageExistsForKey("a"));
  EXPECT_FALSE(cache->diskImageExistsForKey("b"));
  EXPECT_FALSE(cache->diskImageExistsForKey("c"));
  EXPECT_TRUE(cache->diskImageExistsForKey("d"));
}

TEST(ImageCache, MemoryKeepsTheMostRecentlyUsedWithinItsCost) {
  dk::test::TemporaryDirectory dir;
  ImageCache::Config config;
  config.maxMemoryCost = 10 * 10 * 4 * 2;  // two 10x10 images
  auto cache = cacheIn(dir.path(), config);
  cache->storeImage(solid(Color::rgba(1, 0, 0, 1), 10, 10), "one", false, {});
  cache->storeImage(solid(Color::rgba(1, 0, 0, 1), 10, 10), "two", false, {});
  EXPECT_TRUE(cache->imageFromMemoryCacheForKey("one"));  // now the most recent
  cache->storeImage(solid(Color::rgba(1, 0, 0, 1), 10, 10), "three", false, {});
  EXPECT_TRUE(cache->imageFromMemoryCacheForKey("one"));
  EXPECT_FALSE(cache->imageFromMemoryCacheForKey("two"));
  EXPECT_EQ(cache->memoryCount(), 2u);
  EXPECT_FALSE(cache->diskImageExistsForKey("one")) << "memory only";
  MainRunLoop::runUntilIdle();
}

TEST(ImageCache, RemoveAndKeysThatAreNotFileNames) {
  dk::test::TemporaryDirectory dir;
  auto cache = cacheIn(dir.path());
  EXPECT_NE(cache->cachePathForKey("a/b"), cache->cachePathForKey("a%2Fb"));
  EXPECT_EQ(cache->cachePathForKey("../x").parent_path(), dir.path() / "cache");
  EXPECT_EQ(cache->cachePathForKey("..").parent_path(), dir.path() / "cache");
  store(*cache, solid(Color::rgba(0, 0, 0, 1)), "a/b");
  bool removed = false;
  cache->removeImageForKey("a/b", [&] { removed = true; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return removed; }));
  EXPECT_FALSE(cache->imageFromCacheForKey("a/b"));
  store(*cache, nullptr, "nothing");
  EXPECT_EQ(cache->totalDiskCount(), 0u);
}

TEST(ImageCache, SharedInstanceLivesInTheApplicationHome) {
  dk::test::TemporaryHome home;
  ImageCache::resetForTesting();
  auto shared = ImageCache::sharedImageCache();
  EXPECT_EQ(shared, ImageCache::sharedImageCache());
  EXPECT_EQ(shared->config().directory, home.path() / "Caches" / "ImageCache");
  EXPECT_EQ(shared->config().maxCacheAge, 604800);
  EXPECT_EQ(shared->config().maxCacheSize, 1ull << 30);
  ImageCache::resetForTesting();
}

}  // namespace
}  // namespace dk::platform

#include "model/snapshot_image_cache.h"

#include <cmath>
#include <utility>
#include <vector>

#include "platform/media/images/image_cache.h"

namespace dk {

namespace {
const std::vector<std::pair<uint64_t, std::string>>& optionNames() {
  static const std::vector<std::pair<uint64_t, std::string>> names = {{KLImageCacheOptionCropped, "Cropped"},
                                                                     {KLImageCacheOptionBlurred, "Blurred"}};
  return names;
}
}  // namespace

std::string getCacheKeyForImageKey(std::optional<int64_t> key, uint64_t options) {
  std::string cacheKey;
  for (const auto& [bit, name] : optionNames()) {
    if (options & bit) cacheKey += name + "+";
  }
  if (key) cacheKey += std::to_string(*key);
  return cacheKey;
}

void storeImage(const platform::ImagePtr& image, std::optional<int64_t> key, uint64_t options) {
  if (!image) return;
  platform::ImageCache::sharedImageCache()->storeImage(image, getCacheKeyForImageKey(key, options), [] {});
}

void storeImageLocally(const platform::ImagePtr& image, std::optional<int64_t> key) {
  storeImage(image, key, KLImageCacheOptionNone);
  storeImage(croppedImageFromImage(image), key, KLImageCacheOptionCropped);
}

platform::ImagePtr getImageForKey(std::optional<int64_t> key, uint64_t options) {
  return platform::ImageCache::sharedImageCache()->imageFromDiskCacheForKey(getCacheKeyForImageKey(key, options));
}

platform::ImagePtr getLocalSnapshotForKey(std::optional<int64_t> key) { return getImageForKey(key, KLImageCacheOptionNone); }

platform::ImagePtr getLocalCroppedSnapshotForKey(std::optional<int64_t> key) {
  return getImageForKey(key, KLImageCacheOptionCropped);
}

platform::ImagePtr croppedImageFromImage(const platform::ImagePtr& image) {
  if (!image) return nullptr;
  const double scale = image->scale();
  const double width = image->size().width * scale;
  const double height = image->size().height * scale;
  const double x = (width - height) * 0.5;
  // Whole pixels, as the platform makes a rectangle integral before cutting it out.
  const int left = static_cast<int>(std::floor(x));
  const int side = static_cast<int>(std::ceil(x + height)) - left;
  return image->croppedToPixels(left, 0, side, static_cast<int>(std::ceil(height)));
}

platform::QueuePtr imagesQueue() {
  static const platform::QueuePtr queue = platform::DispatchQueue::global();
  return queue;
}

}  // namespace dk

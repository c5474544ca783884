// The camera snapshots in the shared image cache: the key scheme (the camera identifier, with a
// prefix per option, "123" and "Cropped+123"), storing a snapshot together with its square,
// centre-cropped variant, and reading either back from disk.
//
// Free functions over ImageCache::sharedImageCache(); safe from any thread. Reads go to disk
// synchronously on the caller's thread (after any write still queued).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/dispatch/queue.h"
#include "platform/graphics/image.h"

namespace dk {

enum KLImageCacheOption : uint64_t {
  KLImageCacheOptionNone = 0,
  KLImageCacheOptionCropped = 1,  // "Cropped"
  KLImageCacheOptionBlurred = 2,  // "Blurred"
};

// Stores the image with no option, then its cropped variant with KLImageCacheOptionCropped.
void storeImageLocally(const platform::ImagePtr& image, std::optional<int64_t> key);
// Stores into the shared cache (memory now, disk in the background).
void storeImage(const platform::ImagePtr& image, std::optional<int64_t> key, uint64_t options);
// The image read from the shared cache's disk; nullptr when there is none.
platform::ImagePtr getImageForKey(std::optional<int64_t> key, uint64_t options);
platform::ImagePtr getLocalSnapshotForKey(std::optional<int64_t> key);
platform::ImagePtr getLocalCroppedSnapshotForKey(std::optional<int64_t> key);

// A square as tall as the image, centred horizontally, at scale 1 (clipped to the image when the
// image is taller than wide); nullptr for nullptr.
platform::ImagePtr croppedImageFromImage(const platform::ImagePtr& image);
// "<Option>+" for each option set (Cropped before Blurred), then the key's decimal text.
std::string getCacheKeyForImageKey(std::optional<int64_t> key, uint64_t options);

// A background-priority global queue for image work, obtained once.
platform::QueuePtr imagesQueue();

}  // namespace dk

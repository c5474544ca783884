// ImageCache: images kept by key in memory and in a disk folder (what SDImageCache gives), with
// an age limit and a size limit for the disk and a cost limit for memory.
//
// Storing puts the image in memory at once and writes it to disk in the background, on the
// cache's own serial I/O queue; disk reads run synchronously on that same queue, so a read made
// after a store sees the stored image. Images are written as PNG, or JPEG when opaque, and come
// back from disk at scale 1. File ages come from the injectable clock ("now" of the platform).
// Expired files are not returned and are removed by deleteOldFiles, which also trims the folder
// to half its size limit, oldest files first. Completions run on the main queue.
// Thread-safe; the shared instance lives for the process (tests reset it).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/dispatch/queue.h"
#include "platform/graphics/image.h"

namespace dk::platform {

class ImageCache : public std::enable_shared_from_this<ImageCache> {
 public:
  struct Config {
    std::filesystem::path directory;       // the disk folder (created on first write)
    double maxCacheAge = 604800;           // seconds a file is kept (one week)
    uint64_t maxCacheSize = 1ull << 30;    // bytes on disk (1 GiB); 0: no limit
    uint64_t maxMemoryCost = 128ull << 20; // bytes of pixels in memory; 0: no limit
  };
  using Completion = std::function<void()>;

  // The process-wide cache, in "<home>/Caches/ImageCache".
  static std::shared_ptr<ImageCache> sharedImageCache();
  static void resetForTesting();

  // Owned by a shared_ptr (make_shared): background work keeps the cache alive until it is done.
  explicit ImageCache(Config config);
  ~ImageCache();
  ImageCache(const ImageCache&) = delete;
  ImageCache& operator=(const ImageCache&) = delete;

  const Config& config() const { return config_; }

  // Memory now, disk in the background (unless toDisk is false); the completion runs on the main
  // queue once the image is on disk.
  void storeImage(ImagePtr image, const std::string& key, Completion completion = {});
  void storeImage(ImagePtr image, const std::string& key, bool toDisk, Completion completion);

  ImagePtr imageFromMemoryCacheForKey(std::string_view key) const;
  // Reads the disk (synchronously, after any pending write) and keeps the result in memory;
  // nullptr when there is no such file, it has expired or it does not decode.
  ImagePtr imageFromDiskCacheForKey(const std::string& key);
  // Memory first, then disk.
  ImagePtr imageFromCacheForKey(const std::string& key);
  bool diskImageExistsForKey(const std::string& key);

  void removeImageForKey(const std::string& key, Completion completion = {});
  void clearMemory();
  void clearDisk(Completion completion = {});
  // Removes expired files, then the oldest until the folder is within half its size limit.
  void deleteOldFiles(Completion completion = {});

  uint64_t totalDiskSize();
  size_t totalDiskCount();
  size_t memoryCount() const;
  // Where the image of `key` lives on disk.
  std::filesystem::path cachePathForKey(std::string_view key) const;

 private:
  struct Entry {
    std::string key;
    ImagePtr image;
    uint64_t cost;
  };
  void remember(const std::string& key, ImagePtr image);
  void forget(std::string_view key);
  bool expired(const std::filesystem::path& file) const;
  void finish(Completion completion);
  void trimDisk();  // on the I/O queue

  const Config config_;
  QueuePtr ioQueue_;
  mutable std::mutex memoryMutex_;
  mutable std::list<Entry> lru_;  // most recently used first
  std::unordered_map<std::string, std::list<Entry>::iterator> byKey_;
  uint64_t memoryCost_ = 0;
};

}  // namespace dk::platform

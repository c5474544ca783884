#include "platform/media/images/image_cache.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/foundation/app_directories.h"
#include "platform/foundation/file_io.h"

namespace dk::platform {

namespace {

std::mutex gSharedMutex;
std::shared_ptr<ImageCache>& sharedSlot() {
  // Never destroyed: objects torn down at exit may still ask for it.
  static auto* instance = new std::shared_ptr<ImageCache>();
  return *instance;
}

// Seconds since 1970 of a file's last write; nullopt when it cannot be read.
std::optional<double> modificationTime(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return std::nullopt;
  return static_cast<double>(info.st_mtim.tv_sec) + static_cast<double>(info.st_mtim.tv_nsec) * 1e-9;
}

// Files carry the time they were written by the platform clock, so ages follow that clock.
void setModificationTime(const std::filesystem::path& file, double seconds) {
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(std::floor(seconds));
  times[0].tv_nsec = times[1].tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
  ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

uint64_t costOf(const ImagePtr& image) {
  return image ? static_cast<uint64_t>(image->pixelWidth()) * static_cast<uint64_t>(image->pixelHeight()) * 4 : 0;
}

}  // namespace

std::shared_ptr<ImageCache> ImageCache::sharedImageCache() {
  std::lock_guard<std::mutex> lock(gSharedMutex);
  auto& slot = sharedSlot();
  if (!slot) slot = std::make_shared<ImageCache>(Config{AppDirectories::home() / "Caches" / "ImageCache"});
  return slot;
}

void ImageCache::resetForTesting() {
  std::shared_ptr<ImageCache> old;
  std::lock_guard<std::mutex> lock(gSharedMutex);
  old.swap(sharedSlot());
}

ImageCache::ImageCache(Config config)
    : config_(std::move(config)), ioQueue_(DispatchQueue::createSerial("com.dkchronokit.ImageCache.io")) {}

ImageCache::~ImageCache() = default;

std::filesystem::path ImageCache::cachePathForKey(std::string_view key) const {
  // Readable names for ordinary keys ("Cropped+123"); anything else is escaped, long keys hashed.
  std::string name;
  for (unsigned char c : key) {
    if (std::isalnum(c) || c == '+' || c == '-' || c == '_' || c == '.') {
      name += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      name += escaped;
    }
  }
  if (name.empty() || name == "." || name == ".." || name.size() > 180) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : key) hash = (hash ^ c) * 1099511628211ull;
    char hex[24];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    name = std::string("key-") + hex + "-" + std::to_string(key.size());
  }
  return config_.directory / (name + ".img");
}

void ImageCache::remember(const std::string& key, ImagePtr image) {
  std::lock_guard<std::mutex> lock(memoryMutex_);
  auto it = byKey_.find(key);
  if (it != byKey_.end()) {
    memoryCost_ -= it->second->cost;
    lru_.erase(it->second);
    byKey_.erase(it);
  }
  const uint64_t cost = costOf(image);
  lru_.push_front(Entry{key, std::move(image), cost});
  byKey_[key] = lru_.begin();
  memoryCost_ += cost;
  // Evict the least recently used, but never the entry just stored.
  while (config_.maxMemoryCost && memoryCost_ > config_.maxMemoryCost && lru_.size() > 1) {
    memoryCost_ -= lru_.back().cost;
    byKey_.erase(lru_.back().key);
    lru_.pop_back();
  }
}

void ImageCache::forget(std::string_view key) {
  std::lock_guard<std::mutex> lock(memoryMutex_);
  auto it = byKey_.find(std::string(key));
  if (it == byKey_.end()) return;
  memoryCost_ -= it->second->cost;
  lru_.erase(it->second);
  byKey_.erase(it);
}

void ImageCache::finish(Completion completion) {
  if (completion) DispatchQueue::main()->async(std::move(completion));
}

void ImageCache::storeImage(ImagePtr image, const std::string& key, Completion completion) {
  storeImage(std::move(image), key, true, std::move(completion));
}

void ImageCache::storeImage(ImagePtr image, const std::string& key, bool toDisk, Completion completion) {
  if (!image || key.empty()) {
    finish(std::move(completion));
    return;
  }
  remember(key, image);
  if (!toDisk) {
    finish(std::move(completion));
    return;
  }
  const std::filesystem::path file = cachePathForKey(key);
  ioQueue_->async([self = shared_from_this(), image, file, completion = std::move(completion)]() mutable {
    const std::vector<std::uint8_t> bytes = image->isOpaque() ? image->encodeJPEG(0.9) : image->encodePNG();
    std::string error;
    if (!bytes.empty() &&
        writeFileAtomically(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), 0644,
                            false, &error)) {
      setModificationTime(file, now());
    } else {
      std::fprintf(stderr, "ImageCache: could not write %s: %s\n", file.c_str(), error.c_str());
    }
    self->finish(std::move(completion));
  });
}

ImagePtr ImageCache::imageFromMemoryCacheForKey(std::string_view key) const {
  std::lock_guard<std::mutex> lock(memoryMutex_);
  auto it = byKey_.find(std::string(key));
  if (it == byKey_.end()) return nullptr;
  lru_.splice(lru_.begin(), lru_, it->second);
  return it->second->image;
}

bool ImageCache::expired(const std::filesystem::path& file) const {
  auto written = modificationTime(file);
  return !written || (config_.maxCacheAge > 0 && now() - *written > config_.maxCacheAge);
}

ImagePtr ImageCache::imageFromDiskCacheForKey(const std::string& key) {
  if (key.empty()) return nullptr;
  const std::filesystem::path file = cachePathForKey(key);
  std::optional<std::string> data;
  ioQueue_->sync([&] {
    if (!std::filesystem::exists(file) || expired(file)) return;
    data = readWholeFile(file);
  });
  if (!data) return nullptr;
  ImagePtr image = Image::fromEncodedData(std::vector<std::uint8_t>(data->begin(), data->end()));
  if (image) remember(key, image);
  return image;
}

ImagePtr ImageCache::imageFromCacheForKey(const std::string& key) {
  if (ImagePtr image = imageFromMemoryCacheForKey(key)) return image;
  return imageFromDiskCacheForKey(key);
}

bool ImageCache::diskImageExistsForKey(const std::string& key) {
  bool exists = false;
  const std::filesystem::path file = cachePathForKey(key);
  ioQueue_->sync([&] { exists = std::filesystem::exists(file) && !expired(file); });
  return exists;
}

void ImageCache::removeImageForKey(const std::string& key, Completion completion) {
  forget(key);
  const std::filesystem::path file = cachePathForKey(key);
  ioQueue_->async([self = shared_from_this(), file, completion = std::move(completion)]() mutable {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    self->finish(std::move(completion));
  });
}

void ImageCache::clearMemory() {
  std::lock_guard<std::mutex> lock(memoryMutex_);
  lru_.clear();
  byKey_.clear();
  memoryCost_ = 0;
}

size_t ImageCache::memoryCount() const {
  std::lock_guard<std::mutex> lock(memoryMutex_);
  return lru_.size();
}

void ImageCache::clearDisk(Completion completion) {
  ioQueue_->async([self = shared_from_this(), completion = std::move(completion)]() mutable {
    std::error_code ec;
    std::filesystem::remove_all(self->config_.directory, ec);
    self->finish(std::move(completion));
  });
}

void ImageCache::deleteOldFiles(Completion completion) {
  ioQueue_->async([self = shared_from_this(), completion = std::move(completion)]() mutable {
    self->trimDisk();
    self->finish(std::move(completion));
  });
}

void ImageCache::trimDisk() {
  struct File {
    std::filesystem::path path;
    double written;
    uint64_t size;
  };
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(config_.directory, ec)) {
    if (entry.is_regular_file(ec)) files.push_back(entry.path());
  }
  std::vector<File> kept;
  uint64_t total = 0;
  for (const auto& path : files) {
    const auto written = modificationTime(path);
    if (!written || expired(path)) {
      std::filesystem::remove(path, ec);
      continue;
    }
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec) continue;
    kept.push_back({path, *written, size});
    total += size;
  }
  if (config_.maxCacheSize == 0 || total <= config_.maxCacheSize) return;
  std::sort(kept.begin(), kept.end(), [](const File& a, const File& b) { return a.written < b.written; });
  const uint64_t target = config_.maxCacheSize / 2;
  for (const File& file : kept) {
    if (total <= target) break;
    if (std::filesystem::remove(file.path, ec)) total -= file.size;
  }
}

uint64_t ImageCache::totalDiskSize() {
  uint64_t total = 0;
  ioQueue_->sync([&] {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(config_.directory, ec)) {
      if (entry.is_regular_file(ec)) total += entry.file_size(ec);
    }
  });
  return total;
}

size_t ImageCache::totalDiskCount() {
  size_t count = 0;
  ioQueue_->sync([&] {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(config_.directory, ec)) {
      if (entry.is_regular_file(ec)) ++count;
    }
  });
  return count;
}

}  // namespace dk::platform

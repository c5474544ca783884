// ImagePrefetcher: warms the image cache with a list of URLs (what the image library's prefetcher
// gives), loading at most `maxConcurrentPrefetchCount` of them at a time through the downloader.
// A new list replaces the one being prefetched: loads of URLs it still holds go on, the others are
// cancelled. Of a list only its last `maxPrefetchURLs` distinct URLs are taken (callers append the
// rows that come into view, so the tail is what is about to be seen): a list of thousands costs
// no more than that. cancelPrefetching stops everything. Progress and completion, when given, run
// on the main queue. Main thread only.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/images/image_downloader.h"

namespace dk::platform {

class ImagePrefetcher : public std::enable_shared_from_this<ImagePrefetcher> {
 public:
  static constexpr size_t kDefaultMaxConcurrentPrefetchCount = 3;
  static constexpr size_t kDefaultMaxPrefetchURLs = 40;
  using Progress = std::function<void(size_t finished, size_t total)>;
  using Completed = std::function<void(size_t finished, size_t skipped)>;

  static std::shared_ptr<ImagePrefetcher> sharedImagePrefetcher();
  static void resetForTesting();
  // Through `downloader` (the shared one when nullptr).
  static std::shared_ptr<ImagePrefetcher> create(std::shared_ptr<ImageDownloader> downloader = nullptr);

  unsigned options() const { return options_; }
  void setOptions(unsigned options) { options_ = options; }
  size_t maxConcurrentPrefetchCount() const { return maxConcurrent_; }
  void setMaxConcurrentPrefetchCount(size_t count);
  size_t maxPrefetchURLs() const { return maxURLs_; }
  void setMaxPrefetchURLs(size_t count) { maxURLs_ = std::max<size_t>(1, count); }

  void prefetchURLs(const std::vector<std::string>& urls, Progress progress = nullptr, Completed completed = nullptr);
  void cancelPrefetching();
  // Loads in flight (at most maxConcurrentPrefetchCount).
  size_t loadsInFlight() const { return inFlight_.size(); }

 private:
  explicit ImagePrefetcher(std::shared_ptr<ImageDownloader> downloader) : downloader_(std::move(downloader)) {}
  void startNext();
  void loadFinished(const ImageLoadOperation* operation, bool failed, uint64_t generation);

  std::shared_ptr<ImageDownloader> downloader_;
  unsigned options_ = 0;
  size_t maxConcurrent_ = kDefaultMaxConcurrentPrefetchCount;
  size_t maxURLs_ = kDefaultMaxPrefetchURLs;
  std::deque<std::string> pending_;
  std::vector<ImageLoadOperationPtr> inFlight_;
  size_t total_ = 0, finished_ = 0, skipped_ = 0;
  uint64_t generation_ = 0;
  Progress progress_;
  Completed completed_;
};

}  // namespace dk::platform

#include "platform/media/images/image_prefetcher.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "platform/ui/main_thread.h"

namespace dk::platform {

namespace {
std::mutex gPrefetcherMutex;
std::shared_ptr<ImagePrefetcher>& prefetcherSlot() {
  static std::shared_ptr<ImagePrefetcher> slot;
  return slot;
}
}  // namespace

std::shared_ptr<ImagePrefetcher> ImagePrefetcher::sharedImagePrefetcher() {
  std::lock_guard<std::mutex> lock(gPrefetcherMutex);
  auto& slot = prefetcherSlot();
  if (!slot) slot = create();
  return slot;
}

void ImagePrefetcher::resetForTesting() {
  std::shared_ptr<ImagePrefetcher> old;
  {
    std::lock_guard<std::mutex> lock(gPrefetcherMutex);
    old.swap(prefetcherSlot());
  }
  if (old) old->cancelPrefetching();
}

std::shared_ptr<ImagePrefetcher> ImagePrefetcher::create(std::shared_ptr<ImageDownloader> downloader) {
  if (!downloader) downloader = ImageDownloader::sharedDownloader();
  return std::shared_ptr<ImagePrefetcher>(new ImagePrefetcher(std::move(downloader)));
}

void ImagePrefetcher::setMaxConcurrentPrefetchCount(size_t count) {
  maxConcurrent_ = std::max<size_t>(1, count);
  startNext();
}

void ImagePrefetcher::prefetchURLs(const std::vector<std::string>& urls, Progress progress, Completed completed) {
  DK_ASSERT_MAIN_THREAD();
  // The last maxURLs_ distinct URLs, in list order.
  std::vector<std::string> wanted;
  std::unordered_set<std::string> seen;
  for (auto it = urls.rbegin(); it != urls.rend() && wanted.size() < maxURLs_; ++it) {
    if (seen.insert(*it).second) wanted.push_back(*it);
  }
  std::reverse(wanted.begin(), wanted.end());

  // Loads of URLs the new list still holds go on (cancelling them would only send them again).
  ++generation_;
  pending_.clear();
  std::vector<ImageLoadOperationPtr> kept, dropped;
  for (auto& load : inFlight_) (seen.count(load->url()) ? kept : dropped).push_back(load);
  inFlight_.clear();
  for (auto& load : dropped) load->cancel();
  std::unordered_set<std::string> running;
  for (auto& load : kept) running.insert(load->url());
  for (const auto& url : wanted) {
    if (!running.count(url)) pending_.push_back(url);
  }
  total_ = wanted.size();
  finished_ = skipped_ = 0;
  progress_ = std::move(progress);
  completed_ = std::move(completed);
  if (wanted.empty()) {
    if (completed_) DispatchQueue::main()->async([c = completed_] { c(0, 0); });
    return;
  }
  // The kept loads count for this list now: a load reports to whichever list holds it.
  inFlight_ = std::move(kept);
  startNext();
}

void ImagePrefetcher::cancelPrefetching() {
  ++generation_;
  pending_.clear();
  auto loads = std::move(inFlight_);
  inFlight_.clear();
  for (auto& load : loads) load->cancel();
  progress_ = nullptr;
  completed_ = nullptr;
}

void ImagePrefetcher::startNext() {
  while (inFlight_.size() < maxConcurrent_ && !pending_.empty()) {
    const std::string url = pending_.front();
    pending_.pop_front();
    std::weak_ptr<ImagePrefetcher> weak = weak_from_this();
    const uint64_t generation = generation_;
    // {answered, operation}: a memory hit answers inside loadImage, before the load is known.
    auto state = std::make_shared<std::pair<bool, const ImageLoadOperation*>>(false, nullptr);
    auto load = downloader_->loadImage(url, options_, [weak, state, generation](ImagePtr image, ErrorPtr, bool) {
      state->first = true;
      if (auto self = weak.lock()) self->loadFinished(state->second, !image, generation);
    });
    if (state->first) continue;
    state->second = load.get();
    inFlight_.push_back(std::move(load));
  }
}

void ImagePrefetcher::loadFinished(const ImageLoadOperation* operation, bool failed, uint64_t generation) {
  if (operation) {
    // A load no list holds any more (cancelled, or replaced) is not counted.
    if (std::erase_if(inFlight_, [&](const ImageLoadOperationPtr& l) { return l.get() == operation; }) == 0) return;
  } else if (generation != generation_) {
    return;
  }
  if (failed) {
    ++skipped_;
  } else {
    ++finished_;
  }
  if (progress_) progress_(finished_ + skipped_, total_);
  if (finished_ + skipped_ == total_) {
    auto completed = std::move(completed_);
    completed_ = nullptr;
    progress_ = nullptr;
    if (completed) completed(finished_, skipped_);
    return;
  }
  startNext();
}

}  // namespace dk::platform

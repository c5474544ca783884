#include "platform/media/image_prefetcher.h"

#include <algorithm>
#include <mutex>

#include "platform/ui/main_thread.h"

namespace dk::platform {

namespace {
std::mutex gSharedMutex;
std::shared_ptr<ImagePrefetcher>& sharedSlot() {
  static std::shared_ptr<ImagePrefetcher> slot;
  return slot;
}
}  // namespace

std::shared_ptr<ImagePrefetcher> ImagePrefetcher::sharedImagePrefetcher() {
  std::lock_guard<std::mutex> lock(gSharedMutex);
  auto& slot = sharedSlot();
  if (!slot) slot = create();
  return slot;
}

void ImagePrefetcher::resetSharedInstanceForTesting() {
  std::shared_ptr<ImagePrefetcher> old;
  {
    std::lock_guard<std::mutex> lock(gSharedMutex);
    old.swap(sharedSlot());
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
  cancelPrefetching();
  pending_.assign(urls.begin(), urls.end());
  total_ = urls.size();
  finished_ = skipped_ = 0;
  progress_ = std::move(progress);
  completed_ = std::move(completed);
  if (urls.empty()) {
    if (completed_) DispatchQueue::main()->async([c = completed_] { c(0, 0); });
    return;
  }
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
  if (generation != generation_) return;
  if (operation) std::erase_if(inFlight_, [&](const ImageLoadOperationPtr& l) { return l.get() == operation; });
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

#include "platform/media/images/image_downloader.h"

#include <algorithm>

#include "platform/dispatch/queue.h"
#include "platform/graphics/screen_scale.h"
#include "platform/net/credential_scope.h"

namespace dk::platform {

namespace {

std::mutex gDownloaderMutex;
std::shared_ptr<ImageDownloader>& downloaderSlot() {
  static std::shared_ptr<ImageDownloader> slot;
  return slot;
}

ErrorPtr imageError(int64_t code, std::string description) {
  return Error::make(kImageErrorDomain, code, std::move(description));
}

// Cancellations and connectivity failures say nothing about the URL itself.
bool worthRemembering(const ErrorPtr& error) {
  if (!error) return false;
  const int64_t code = error->code();
  return code != -999 && code != -1001 && code != -1009 && code != -1005 && code != -1004 && code != -1003 &&
         code != -1018;
}

}  // namespace

void ImageLoadOperation::cancel() {
  if (cancelled_.exchange(true)) return;
  Completion dropped;
  {
    std::lock_guard<std::mutex> lock(completionMutex_);
    dropped.swap(completion_);
  }
  if (auto downloader = downloader_.lock()) downloader->cancelOperation(*this);
}

void ImageLoadOperation::finish(ImagePtr image, ErrorPtr error, bool fromCache) {
  // Checked on the main thread, where cancellations of view loads are made: a cancelled load
  // never answers, and no load answers twice.
  if (cancelled_.load() || finished_.exchange(true)) return;
  Completion completion;
  {
    std::lock_guard<std::mutex> lock(completionMutex_);
    completion.swap(completion_);
  }
  if (completion) completion(std::move(image), std::move(error), fromCache);
}

std::shared_ptr<ImageDownloader> ImageDownloader::sharedDownloader() {
  std::lock_guard<std::mutex> lock(gDownloaderMutex);
  auto& slot = downloaderSlot();
  if (!slot) slot = create(ImageCache::sharedImageCache());
  return slot;
}

void ImageDownloader::resetForTesting() {
  std::shared_ptr<ImageDownloader> old;
  std::lock_guard<std::mutex> lock(gDownloaderMutex);
  old.swap(downloaderSlot());
}

std::shared_ptr<ImageDownloader> ImageDownloader::create(std::shared_ptr<ImageCache> cache, TlsPolicy tls) {
  return std::shared_ptr<ImageDownloader>(new ImageDownloader(std::move(cache), std::move(tls)));
}

ImageDownloader::ImageDownloader(std::shared_ptr<ImageCache> cache, TlsPolicy tls)
    : cache_(std::move(cache)), decodeQueue_(DispatchQueue::createSerial("com.kelo.image.decode")) {
  HttpSession::Options options;
  options.tls = std::move(tls);
  session_ = HttpSession::create(std::move(options));
}

ImageDownloader::~ImageDownloader() = default;

void ImageDownloader::setValueForHTTPHeaderField(std::optional<std::string> value, const std::string& field) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (value) {
    headers_[field] = std::move(*value);
  } else {
    headers_.erase(field);
  }
}

std::optional<std::string> ImageDownloader::valueForHTTPHeaderField(const std::string& field) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = headers_.find(field);
  return it == headers_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

size_t ImageDownloader::maxConcurrentDownloads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return maxConcurrent_;
}

void ImageDownloader::setMaxConcurrentDownloads(size_t count) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    maxConcurrent_ = std::max<size_t>(1, count);
  }
  startWaitingFetches();
}

int ImageDownloader::maxDecodedPixelSize() const { return maxDecodedPixelSize_.load(); }

void ImageDownloader::setMaxDecodedPixelSize(int pixels) {
  maxDecodedPixelSize_.store(pixels > 0 ? pixels : kDefaultMaxDecodedPixelSize);
}

size_t ImageDownloader::mostDecodesAtOnce() const { return mostDecoding_.load(); }

double ImageDownloader::downloadTimeout() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeout_;
}

void ImageDownloader::setDownloadTimeout(double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeout_ = seconds > 0 ? seconds : 15.0;
}

void ImageDownloader::setCredentialServer(std::string baseURL) {
  std::lock_guard<std::mutex> lock(mutex_);
  credentialServer_ = std::move(baseURL);
}

std::string ImageDownloader::credentialServer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return credentialServer_;
}

size_t ImageDownloader::runningDownloads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

size_t ImageDownloader::queuedDownloads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiting_.size();
}

bool ImageDownloader::hasFailedBefore(const std::string& url) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failedURLs_.count(url) > 0;
}

ImageLoadOperationPtr ImageDownloader::loadImage(const std::string& url, unsigned options,
                                                 ImageLoadOperation::Completion completion) {
  auto operation = std::make_shared<ImageLoadOperation>(url, options, std::move(completion), weak_from_this());
  auto answerLater = [operation](ImagePtr image, ErrorPtr error, bool fromCache) {
    DispatchQueue::main()->async([operation, image, error, fromCache] { operation->finish(image, error, fromCache); });
  };
  if (url.empty() || (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0)) {
    answerLater(nullptr, imageError(kImageErrorBadURL, "Not an image address: " + url), false);
    return operation;
  }
  if (!(options & kImageRetryFailed) && hasFailedBefore(url)) {
    answerLater(nullptr, imageError(kImageErrorFailedBefore, "This address failed before: " + url), false);
    return operation;
  }
  if (!(options & kImageRefreshCached)) {
    if (auto image = cache_->imageFromMemoryCacheForKey(url)) {
      if (isMainThread()) {
        operation->finish(image, nullptr, true);
      } else {
        answerLater(image, nullptr, true);
      }
      return operation;
    }
    std::weak_ptr<ImageDownloader> weak = weak_from_this();
    DispatchQueue::global()->async([weak, operation] {
      if (auto self = weak.lock()) self->loadFromDiskOrNetwork(operation);
    });
    return operation;
  }
  enqueue(operation);
  return operation;
}

void ImageDownloader::loadFromDiskOrNetwork(const ImageLoadOperationPtr& operation) {
  if (operation->isCancelled()) return;
  if (auto image = cache_->imageFromDiskCacheForKey(operation->url())) {
    DispatchQueue::main()->async([operation, image] { operation->finish(image, nullptr, true); });
    return;
  }
  enqueue(operation);
}

void ImageDownloader::enqueue(const ImageLoadOperationPtr& operation) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (operation->isCancelled()) return;
    auto& fetch = fetches_[operation->url()];
    if (!fetch && !(operation->options_ & kImageRefreshCached)) {
      // A transfer of this address may have finished since the caller looked in the cache: it
      // stores the image before it leaves the table, so a second transfer is never needed.
      if (auto image = cache_->imageFromMemoryCacheForKey(operation->url())) {
        fetches_.erase(operation->url());
        DispatchQueue::main()->async([operation, image] { operation->finish(image, nullptr, true); });
        return;
      }
    }
    if (!fetch) {
      fetch = std::make_shared<Fetch>();
      fetch->url = operation->url();
      fetch->options = operation->options_;
      if (operation->options_ & kImageHighPriority) {
        waiting_.push_front(fetch);
      } else {
        waiting_.push_back(fetch);
      }
    }
    fetch->options |= operation->options_ & (kImageCacheMemoryOnly | kImageRetryFailed);
    fetch->waiters.push_back(operation);
  }
  startWaitingFetches();
}

void ImageDownloader::startWaitingFetches() {
  std::vector<std::shared_ptr<Fetch>> starting;
  RequestConfiguration configuration;
  std::string credentialServer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    while (running_ < maxConcurrent_ && !waiting_.empty()) {
      auto fetch = waiting_.front();
      waiting_.pop_front();
      fetch->started = true;
      ++running_;
      starting.push_back(fetch);
    }
    configuration.headers = headers_;
    configuration.timeoutInterval = timeout_;
    credentialServer = credentialServer_;
  }
  if (starting.empty()) return;
  configuration.responseSerializer = ResponseSerializerKind::Http;  // decoded here, to size, one at a time
  configuration.acceptableContentTypes = defaultAcceptableContentTypes(ResponseSerializerKind::Image);
  configuration.callbackQueue = DispatchQueue::global();
  auto withCredential = std::make_shared<const RequestConfiguration>(configuration);
  configuration.headers.erase("Authorization");
  auto withoutCredential = std::make_shared<const RequestConfiguration>(std::move(configuration));
  std::weak_ptr<ImageDownloader> weak = weak_from_this();
  for (const auto& fetch : starting) {
    const std::string url = fetch->url;
    // An image address comes from the server's reply: the token goes with it only to the server.
    const bool credential = mayCarryCredential(url, credentialServer, LoopbackHttp::Allowed);
    auto task = session_->dataTask(
        HttpMethod::Get, url, Value(), credential ? withCredential : withoutCredential,
        [weak, fetch](const std::shared_ptr<const HttpResponseInfo>&, const Value& body) {
          auto self = weak.lock();
          if (!self) return;
          DataPtr data = body.objectAs<Data>();
          self->decodeQueue_->async([weak, fetch, data] {
            if (auto self = weak.lock()) self->decodeAndFinish(fetch, data);
          });
        },
        [weak, fetch](const ErrorPtr& error) {
          if (auto self = weak.lock()) self->finishFetch(fetch, nullptr, error);
        });
    std::lock_guard<std::mutex> lock(mutex_);
    fetch->task = task;
  }
}

void ImageDownloader::decodeAndFinish(const std::shared_ptr<Fetch>& fetch, DataPtr body) {
  ImagePtr image;
  if (body && body->length() > 0) {
    const size_t now = ++decoding_;
    for (size_t most = mostDecoding_.load(); now > most && !mostDecoding_.compare_exchange_weak(most, now);) {
    }
    const std::string& bytes = body->bytes();
    const std::vector<std::uint8_t> encoded(bytes.begin(), bytes.end());
    body.reset();
    image = Image::fromEncodedDataFitting(encoded, maxDecodedPixelSize_.load(), mainScreenScale());
    --decoding_;
  }
  if (!image) {
    finishFetch(fetch, nullptr, imageError(kImageErrorNotAnImage, "The reply is not an image: " + fetch->url));
    return;
  }
  finishFetch(fetch, std::move(image), nullptr);
}

void ImageDownloader::finishFetch(const std::shared_ptr<Fetch>& fetch, ImagePtr image, ErrorPtr error) {
  const std::string& url = fetch->url;
  std::vector<ImageLoadOperationPtr> waiters;
  unsigned options = 0;
  // Into the memory cache before the transfer leaves the table (see enqueue).
  if (image) {
    std::lock_guard<std::mutex> lock(mutex_);
    options = fetch->options;
  }
  if (image) cache_->storeImage(image, url, !(options & kImageCacheMemoryOnly), nullptr);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A cancelled transfer has left the table already; a new load of its URL has a fetch of its own.
    auto it = fetches_.find(url);
    if (it != fetches_.end() && it->second == fetch) fetches_.erase(it);
    waiters = std::move(fetch->waiters);
    options = fetch->options;
    if (running_ > 0) --running_;
    if (error && worthRemembering(error)) failedURLs_.insert(url);
    if (image) failedURLs_.erase(url);
  }
  for (auto& waiter : waiters) {
    DispatchQueue::main()->async([waiter, image, error] { waiter->finish(image, error, false); });
  }
  startWaitingFetches();
}

void ImageDownloader::cancelOperation(ImageLoadOperation& operation) {
  HttpTaskPtr cancelTask;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = fetches_.find(operation.url());
    if (it == fetches_.end()) return;
    auto& fetch = it->second;
    std::erase_if(fetch->waiters, [&](const ImageLoadOperationPtr& w) { return w.get() == &operation; });
    if (!fetch->waiters.empty()) return;
    // Nobody waits for this image any more: stop its transfer or take it out of the queue.
    if (fetch->started) {
      cancelTask = fetch->task;
    } else {
      std::erase(waiting_, fetch);
    }
    fetches_.erase(it);
  }
  if (cancelTask) cancelTask->cancel();
}

}  // namespace dk::platform

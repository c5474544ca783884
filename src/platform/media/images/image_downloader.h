// ImageDownloader: loads images by URL through the memory and disk image cache and, on a miss,
// over HTTP (what the image library's downloader and manager give): headers shared by every later
// download (an Accept type; an authorisation header, sent only to the credential server), at most `maxConcurrentDownloads` transfers at
// a time, one transfer for several loads of the same URL, and URLs that failed remembered unless a
// load asks to retry them.
//
// Every load answers exactly once, on the main queue, unless it was cancelled first: a cancelled
// load never answers. A memory hit asked for on the main thread answers before loadImage returns;
// the disk is read off the main thread. Thread-safe; the shared instance lives for the process
// (tests reset it).
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/graphics/image.h"
#include "platform/media/images/image_cache.h"
#include "platform/net/http_session.h"

namespace dk::platform {

// The load options the framework uses (the image library's bits).
enum ImageOptions : unsigned {
  kImageRetryFailed = 1 << 0,       // try again a URL that failed before
  kImageLowPriority = 1 << 1,       // start after the waiting loads
  kImageCacheMemoryOnly = 1 << 2,   // keep the image in memory only
  kImageRefreshCached = 1 << 4,     // skip the caches, download again
  kImageHighPriority = 1 << 8,      // start before the waiting loads
  kImageDelayPlaceholder = 1 << 9,  // (views) no placeholder while loading
  kImageAvoidAutoSetImage = 1 << 11 // (views) hand the image to the completion only
};

// The error domain of failures that are not the transport's or the server's.
inline constexpr const char* kImageErrorDomain = "ImageDownloaderErrorDomain";
inline constexpr int64_t kImageErrorNotAnImage = 1;
inline constexpr int64_t kImageErrorBadURL = 2;
inline constexpr int64_t kImageErrorFailedBefore = 3;

class ImageDownloader;

// One load. Cancelling is final and may be done from any thread.
class ImageLoadOperation {
 public:
  using Completion = std::function<void(ImagePtr image, ErrorPtr error, bool fromCache)>;

  const std::string& url() const { return url_; }
  void cancel();
  bool isCancelled() const { return cancelled_.load(); }

  // Made by the downloader.
  ImageLoadOperation(std::string url, unsigned options, Completion completion,
                     std::weak_ptr<ImageDownloader> downloader)
      : url_(std::move(url)), options_(options), completion_(std::move(completion)), downloader_(std::move(downloader)) {}

 private:
  friend class ImageDownloader;
  // Runs the completion once, on the main thread, unless cancelled.
  void finish(ImagePtr image, ErrorPtr error, bool fromCache);

  const std::string url_;
  const unsigned options_;
  std::mutex completionMutex_;
  Completion completion_;  // dropped once it has run or the load is cancelled
  std::weak_ptr<ImageDownloader> downloader_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
};
using ImageLoadOperationPtr = std::shared_ptr<ImageLoadOperation>;

class ImageDownloader : public std::enable_shared_from_this<ImageDownloader> {
 public:
  static constexpr size_t kDefaultMaxConcurrentDownloads = 6;
  // Pictures are decoded no larger than this across (pixels). The widest place a downloaded
  // picture is shown is the player's area, a screen's width (an event's thumbnail while the
  // timeline scrolls); a thumbnail of 7000 x 7000 pixels would otherwise take 196 MB, in memory
  // and in the cache.
  static constexpr int kDefaultMaxDecodedPixelSize = 1280;

  // The process-wide downloader over the shared image cache.
  static std::shared_ptr<ImageDownloader> sharedDownloader();
  static void resetForTesting();

  static std::shared_ptr<ImageDownloader> create(std::shared_ptr<ImageCache> cache, TlsPolicy tls = {});
  ~ImageDownloader();

  const std::shared_ptr<ImageCache>& imageCache() const { return cache_; }

  // setValue:forHTTPHeaderField: — nullopt removes the header.
  void setValueForHTTPHeaderField(std::optional<std::string> value, const std::string& field);
  std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
  size_t maxConcurrentDownloads() const;
  void setMaxConcurrentDownloads(size_t count);
  // The largest width or height an image is decoded to; larger ones are shrunk while decoded.
  int maxDecodedPixelSize() const;
  void setMaxDecodedPixelSize(int pixels);
  // The most images decoded at the same moment so far (one at a time: a burst of large replies
  // must not each hold its decoding memory at once).
  size_t mostDecodesAtOnce() const;
  double downloadTimeout() const;
  void setDownloadTimeout(double seconds);
  // The REST server the "Authorization" header belongs to: a load of any other address (see
  // mayCarryCredential) goes without it. Until one is set the header goes nowhere.
  void setCredentialServer(std::string baseURL);
  std::string credentialServer() const;

  // Loads the image at `url` (absolute). The completion runs on the main queue (see above).
  ImageLoadOperationPtr loadImage(const std::string& url, unsigned options, ImageLoadOperation::Completion completion);

  // Transfers running and waiting (diagnostics and tests).
  size_t runningDownloads() const;
  size_t queuedDownloads() const;
  bool hasFailedBefore(const std::string& url) const;

 private:
  friend class ImageLoadOperation;
  struct Fetch {
    std::string url;
    unsigned options = 0;
    std::vector<ImageLoadOperationPtr> waiters;
    HttpTaskPtr task;
    bool started = false;
  };
  ImageDownloader(std::shared_ptr<ImageCache> cache, TlsPolicy tls);
  void loadFromDiskOrNetwork(const ImageLoadOperationPtr& operation);
  void enqueue(const ImageLoadOperationPtr& operation);
  void startWaitingFetches();  // call without the lock
  void decodeAndFinish(const std::shared_ptr<Fetch>& fetch, DataPtr body);
  void finishFetch(const std::shared_ptr<Fetch>& fetch, ImagePtr image, ErrorPtr error);
  void cancelOperation(ImageLoadOperation& operation);

  std::shared_ptr<ImageCache> cache_;
  std::shared_ptr<HttpSession> session_;
  QueuePtr decodeQueue_;  // serial: one decode at a time
  std::atomic<int> maxDecodedPixelSize_{kDefaultMaxDecodedPixelSize};
  std::atomic<size_t> decoding_{0}, mostDecoding_{0};
  mutable std::mutex mutex_;
  HeaderMap headers_;
  size_t maxConcurrent_ = kDefaultMaxConcurrentDownloads;
  double timeout_ = 15.0;
  std::string credentialServer_;
  std::map<std::string, std::shared_ptr<Fetch>> fetches_;  // by URL, waiting or running
  std::deque<std::shared_ptr<Fetch>> waiting_;
  size_t running_ = 0;
  std::set<std::string> failedURLs_;
};

}  // namespace dk::platform

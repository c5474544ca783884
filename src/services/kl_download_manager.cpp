#include "services/kl_download_manager.h"

#include <limits>

#include "network/kl_request_manager.h"
#include "network/kl_single_requests.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/app_directories.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/user_defaults.h"
#include "platform/media/recordings/mp4_check.h"
#include "services/kl_camera_roll_album_manager.h"

namespace dk {

using platform::ErrorPtr;
using platform::Value;

namespace {

// Non-zero, so the event counts as downloading, yet 0 once narrowed to a float.
constexpr double kDownloadStarted = std::numeric_limits<double>::min();

std::string localized(const std::string& key) { return platform::Bundle::main()->localizedString(key, key); }

// The identifier's text when it can name a file in the documents folder and nothing else.
std::optional<std::string> fileStem(const KLEventPtr& event) {
  if (!event || !event->eventID()) return std::nullopt;
  std::string stem = std::to_string(*event->eventID());
  for (char c : stem) {
    if (!(c == '-' || (c >= '0' && c <= '9'))) return std::nullopt;
  }
  return stem;
}

ErrorPtr noFileNameError() {
  return platform::Error::make(std::string(platform::kCocoaErrorDomain), 4,
                               "The event has no identifier that can name its clip file.");
}

ErrorPtr noClipError() { return platform::Error::make(std::string(platform::kCocoaErrorDomain), 4, "No clip data."); }

// Checks the downloaded file off the main thread; `done` runs on the main thread with nil or the
// reason the file is not a complete MP4 video.
void checkClip(const platform::DataPtr& data, std::function<void(const ErrorPtr&)> done) {
  platform::DispatchQueue::global()->async([data, done = std::move(done)] {
    const auto path = data->filePath();
    ErrorPtr invalid = path ? platform::checkCompleteMp4Video(*path) : noClipError();
    platform::DispatchQueue::main()->async([done, invalid] { done(invalid); });
  });
}

}  // namespace

std::shared_ptr<KLDownloadManagerDelegate> KLDownloadManager::delegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delegate_.lock();
}

void KLDownloadManager::setDelegate(const std::shared_ptr<KLDownloadManagerDelegate>& delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  delegate_ = delegate;
}

std::shared_ptr<KLRequestManager> KLDownloadManager::requestManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requestManager_ ? requestManager_ : KLRequestManager::sharedInstance();
}

void KLDownloadManager::setRequestManager(std::shared_ptr<KLRequestManager> manager) {
  std::lock_guard<std::mutex> lock(mutex_);
  requestManager_ = std::move(manager);
}

void KLDownloadManager::reportError(const KLEventPtr& event, const std::string& key) const {
  if (event) event->setDownloadProgress(0.0);
  auto receiver = delegate();
  if (receiver && receiver->respondsToSelector("errorWithInfo:")) receiver->errorWithInfo(localized(key));
}

void KLDownloadManager::downloadEvent(const KLEventPtr& event) {
  if (!event) return;
  auto urls = event->urls();
  std::optional<std::string> address = urls ? urls->mp4Https() : std::nullopt;
  if (!address) {
    reportError(event, "DownloadEventNoRecordingAttached");
    return;
  }
  if (!getURLForEvent(event)) {
    reportError(event, "AnIssueOccured");
    return;
  }
  auto request = std::make_shared<KLDownloadVideoRequest>();
  request->downloadVideoURL = address;
  event->setDownloadProgress(kDownloadStarted);
  auto receiver = delegate();
  if (receiver && receiver->respondsToSelector("downloadProgressUpdated:forEvent:")) {
    receiver->downloadProgressUpdated(static_cast<float>(kDownloadStarted), event);
  }
  auto self = std::static_pointer_cast<KLDownloadManager>(shared_from_this());
  std::weak_ptr<KLDownloadManager> weak = self;
  requestManager()->downloadRequestWithRequest(
      request,
      [weak, event](int64_t, int64_t, double fraction) {
        event->setDownloadProgress(fraction);
        auto manager = weak.lock();
        auto receiver = manager ? manager->delegate() : nullptr;
        if (receiver && receiver->respondsToSelector("downloadProgressUpdated:forEvent:")) {
          receiver->downloadProgressUpdated(static_cast<float>(fraction), event);
        }
      },
      [self, event](const Value& result, const ErrorPtr& error) {
        auto data = result.objectAs<platform::Data>();
        if (error || !data) {
          self->reportError(event, "AnIssueOccured");
          return;
        }
        // Only a playable clip is kept: an error page, a cut-off file or junk fails like any
        // other download, and nothing reaches the documents folder or the album.
        checkClip(data, [self, event, data](const ErrorPtr& invalid) {
          if (invalid) {
            self->reportError(event, "AnIssueOccured");
          } else {
            self->saveVideo(data, event);
          }
        });
      });
}

std::optional<std::string> KLDownloadManager::downloadedKeyForEvent(const KLEventPtr& event) {
  auto stem = fileStem(event);
  if (!stem) return std::nullopt;
  return "Event-" + *stem + ".mp4";
}

bool KLDownloadManager::isVideoDownloadedForEvent(const KLEventPtr& event) {
  auto key = downloadedKeyForEvent(event);
  return key && !platform::UserDefaults::standard()->objectForKey(*key).isNil();
}

std::optional<std::filesystem::path> KLDownloadManager::getURLForEvent(const KLEventPtr& event) {
  auto stem = fileStem(event);
  if (!stem) return std::nullopt;
  return platform::AppDirectories::documents() / (*stem + ".mp4");
}

bool KLDownloadManager::fileExistAtPath(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

ErrorPtr KLDownloadManager::saveVideoToDisk(const platform::DataPtr& data, const KLEventPtr& event) const {
  auto file = getURLForEvent(event);
  if (!file) return noFileNameError();
  if (!data) return noClipError();
  return data->writeToFile(file->string(), /*atomically=*/true);
}

void KLDownloadManager::saveVideo(const platform::DataPtr& data, const KLEventPtr& event) {
  if (ErrorPtr error = saveVideoToDisk(data, event)) {
    // Without a file there is nothing to add to the album.
    reportError(event, "AnIssueOccured");
    return;
  }
  auto key = *downloadedKeyForEvent(event);
  KLCameraRollAlbumManager::addToCameraRollVideoFromURL(
      getURLForEvent(event),
      [key] {
        auto defaults = platform::UserDefaults::standard();
        if (defaults->objectForKey(key).isNil()) {
          defaults->setObject(Value(kEventDownloadedValue), key);
          defaults->synchronize();
        }
      },
      nullptr);
}

void KLDownloadManager::saveVideoToDiskForEvent(const KLEventPtr& event, DataCompletion completion) {
  auto file = getURLForEvent(event);
  if (file && fileExistAtPath(file->string())) {
    if (completion) completion(Value(), nullptr);
    return;
  }
  auto urls = event ? event->urls() : nullptr;
  auto request = std::make_shared<KLDownloadVideoRequest>();
  request->downloadVideoURL = urls ? urls->mp4Https() : std::nullopt;
  requestManager()->downloadRequestWithRequest(
      request, nullptr, [completion](const Value& result, const ErrorPtr& error) {
        auto data = result.objectAs<platform::Data>();
        if (error || !data) {
          if (completion) completion(Value(), error ? error : noClipError());
          return;
        }
        checkClip(data, [completion, result](const ErrorPtr& invalid) {
          if (completion) completion(invalid ? Value() : result, invalid);
        });
      });
}

}  // namespace dk

#include "services/kl_recording_manager.h"

#include <algorithm>

#include "foundation/error_classification.h"
#include "model/model_keys.h"
#include "network/kl_recording_requests.h"
#include "platform/dispatch/queue.h"
#include "services/kl_service_notifications.h"
#include "services/message_identifier.h"

namespace dk {

using platform::ErrorPtr;
using platform::Value;

namespace {

// A cancelled newest page is asked again at once, but not forever.
constexpr int kCancelledNewestPageRetries = 3;

std::optional<int64_t> cameraIDOf(const Value& value) { return messageIdentifier(value); }

void onMain(std::function<void()> work) {
  if (work) platform::runOnMain(std::move(work));
}

}  // namespace

std::shared_ptr<KLRecordingManager> KLRecordingManager::create() {
  auto manager = std::make_shared<KLRecordingManager>();
  std::weak_ptr<KLRecordingManager> weak = manager;
  platform::NotificationCenter::defaultCenter().addObserver(
      std::static_pointer_cast<const void>(std::static_pointer_cast<const platform::Object>(manager)),
      kCameraDeletedNotification, [weak](const platform::Notification& notification) {
        if (auto self = weak.lock()) self->handle_kCameraDeletedNotification(notification);
      });
  return manager;
}

KLRecordingManager::KLRecordingManager(std::string className) : KLServicesManager(std::move(className)) {}

bool KLRecordingManager::respondsToSelector(std::string_view selector) const {
  return selector == "handleMessageUpdate:forClassType:modelClass:modelListClass:";
}

// ---- observers and cache ----

void KLRecordingManager::addObserverForRecordingsChanges(const std::shared_ptr<KLRecordingsUpdatesDelegate>& observer) {
  if (!observer) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) observers_.push_back(observer);
}

void KLRecordingManager::removeObserverForRecordingsChanges(
    const std::shared_ptr<KLRecordingsUpdatesDelegate>& observer) {
  if (!observer) return;
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase(observers_, observer);
}

std::vector<std::shared_ptr<KLRecordingsUpdatesDelegate>> KLRecordingManager::recordingsUpdatesDelegates() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return observers_;
}

void KLRecordingManager::notifyObserversForCameraID(std::optional<int64_t> cameraID) {
  // Called outside the lock: an observer may add or remove observers while it is told.
  for (const auto& observer : recordingsUpdatesDelegates()) observer->didUpdateRecordingsForCameraID(cameraID);
}

KLRecordingListPtr KLRecordingManager::recordingsForCameraID(std::optional<int64_t> cameraID) {
  if (!cameraID) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto& list = recordings_[*cameraID];
  if (!list) list = std::make_shared<KLRecordingListResponse>();
  return list;
}

void KLRecordingManager::deleteRecordingsForCameraID(std::optional<int64_t> cameraID) {
  if (!cameraID) return;
  std::lock_guard<std::mutex> lock(mutex_);
  recordings_.erase(*cameraID);
}

void KLRecordingManager::handle_kCameraDeletedNotification(const platform::Notification& notification) {
  auto it = notification.userInfo.find(kCameraIdUserInfoKey);
  if (it == notification.userInfo.end()) return;
  deleteRecordingsForCameraID(cameraIDOf(it->second));
}

void KLRecordingManager::deleteRecordingForCameraID(std::optional<int64_t> cameraID, std::optional<int64_t> recordingID) {
  if (!cameraID || !recordingID) return;
  KLRecordingListPtr list;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = recordings_.find(*cameraID);
    if (it == recordings_.end()) return;
    list = it->second;
  }
  list->removeRecordingWithId(recordingID);
  // The removal runs later on the lists' shared serial queue; observers hear of it only after it
  // took effect, or a screen reloading at once would still show the recording.
  std::weak_ptr<KLRecordingManager> weak = std::static_pointer_cast<KLRecordingManager>(shared_from_this());
  list->customQueue()->async([weak, cameraID] {
    platform::runOnMain([weak, cameraID] {
      if (auto self = weak.lock()) self->notifyObserversForCameraID(cameraID);
    });
  });
}

std::shared_ptr<KLRecordingManagerDelegate> KLRecordingManager::cameraDelegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cameraDelegate_.lock();
}

void KLRecordingManager::setCameraDelegate(const std::shared_ptr<KLRecordingManagerDelegate>& delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  cameraDelegate_ = delegate;
}

// ---- loading ----

namespace {

// The start of the list's oldest recording: the upper bound of the next older page. Only the
// oldest recording is needed: read it without copying the whole list.
std::optional<std::string> oldestStart(const KLRecordingListPtr& list) {
  const Value values = list->values();
  if (values.count() == 0) return std::nullopt;
  auto oldest = values[values.count() - 1].objectAs<KLRecordingResponse>();
  return oldest ? oldest->startStringTime() : std::nullopt;
}

}  // namespace

std::shared_ptr<KLRequest> KLRecordingManager::pageRequest(int64_t cameraID, const KLRecordingListPtr& list,
                                                           bool older) const {
  auto request = std::make_shared<KLCameraRecordingsRequest>();
  request->reverse = true;
  request->limit = kRecordingsPageLimit;
  request->cameraID = std::to_string(cameraID);
  if (older) request->endTime = oldestStart(list);
  return request;
}

void KLRecordingManager::loadNewRecordingsForCameraID(std::optional<int64_t> cameraID, Completion completion) {
  if (!cameraID) {
    onMain(std::move(completion));
    return;
  }
  loadNewRecordings(*cameraID, std::move(completion), 0, nullptr);
}

void KLRecordingManager::loadNewRecordings(int64_t cameraID, Completion completion, int cancelledAttempts,
                                           Completion ended) {
  auto list = recordingsForCameraID(cameraID);
  std::weak_ptr<KLRecordingManager> weak = std::static_pointer_cast<KLRecordingManager>(shared_from_this());
  requestWithRequestObject(
      pageRequest(cameraID, list, false), nullptr,
      [weak, list, cameraID, completion, cancelledAttempts, ended](const Value& result, const ErrorPtr& error) {
        auto self = weak.lock();
        if (!self) return;
        self->runCompletionBlock([&] {
          if (error) {
            if (isCanceledError(*error) && cancelledAttempts < kCancelledNewestPageRetries) {
              self->loadNewRecordings(cameraID, completion, cancelledAttempts + 1, ended);
            } else if (ended) {
              ended();
            }
            return;
          }
          auto page = result.objectAs<KLRecordingListResponse>();
          if (!page || page->recordings().empty()) {
            if (ended) ended();
            return;
          }
          list->appendSortedRecordings(page->recordings(), [weak, cameraID, completion, ended] {
            if (auto self = weak.lock()) self->notifyObserversForCameraID(cameraID);
            if (completion) completion();
            if (ended) ended();
          });
        });
      });
}

void KLRecordingManager::loadRecordingsForCameraID(std::optional<int64_t> cameraID, Completion completion) {
  auto list = recordingsForCameraID(cameraID);
  if (!list || list->allRecordingsLoaded()) {
    onMain(std::move(completion));
    return;
  }
  std::weak_ptr<KLRecordingManager> weak = std::static_pointer_cast<KLRecordingManager>(shared_from_this());
  const int64_t camera = *cameraID;
  const auto bound = oldestStart(list);
  requestWithRequestObject(
      pageRequest(camera, list, true), nullptr,
      [weak, list, camera, bound, completion](const Value& result, const ErrorPtr& error) {
        auto self = weak.lock();
        if (!self) return;
        self->runCompletionBlock([&] {
          auto page = error ? nullptr : result.objectAs<KLRecordingListResponse>();
          if (!page || page->recordings().empty()) {
            // A failed or empty page ends the loop; the caller still hears the end, on the
            // main thread like every other completion of this loop.
            onMain(completion);
            return;
          }
          // Merged as an older page also when a late upload (a higher identifier with an old
          // start) heads it; a short page that adds nothing completes the history.
          list->appendOlderRecordings(page->recordings(), [weak, list, camera, bound, completion] {
            auto self = weak.lock();
            // A page that reaches no further back means the cloud ignored the bound: the same
            // request would come back with more of the same, for ever.
            if (!self || list->allRecordingsLoaded() || oldestStart(list) == bound) {
              if (completion) completion();
              return;
            }
            self->loadRecordingsForCameraID(camera, [weak, camera, completion] {
              if (auto self = weak.lock()) self->notifyObserversForCameraID(camera);
              if (completion) completion();
            });
          });
        });
      });
}

void KLRecordingManager::loadRecordingsForCameraID(std::optional<int64_t> cameraID,
                                                   std::optional<std::string> timestamp, Completion completion) {
  auto list = recordingsForCameraID(cameraID);
  if (!list || !timestamp || list->allRecordingsLoaded() || list->getRecordingForTimestamp(*timestamp)) {
    onMain(std::move(completion));
    return;
  }
  std::weak_ptr<KLRecordingManager> weak = std::static_pointer_cast<KLRecordingManager>(shared_from_this());
  const int64_t camera = *cameraID;
  const auto bound = oldestStart(list);
  requestWithRequestObject(
      pageRequest(camera, list, true), nullptr,
      [weak, list, camera, timestamp, bound, completion](const Value& result, const ErrorPtr& error) {
        auto self = weak.lock();
        if (!self) return;
        self->runCompletionBlock([&] {
          auto page = error ? nullptr : result.objectAs<KLRecordingListResponse>();
          if (!page || page->recordings().empty()) {
            onMain(completion);
            return;
          }
          list->appendOlderRecordings(page->recordings(), [weak, list, camera, timestamp, bound, completion] {
            auto self = weak.lock();
            if (!self || list->allRecordingsLoaded() || oldestStart(list) == bound) {
              if (completion) completion();
              return;
            }
            self->loadRecordingsForCameraID(camera, timestamp, completion);
          });
        });
      });
}

// ---- live feed ----

void KLRecordingManager::handleMessageUpdate(const Value& message, int32_t, const platform::ClassInfo*,
                                             const platform::ClassInfo*) {
  const Value start = message[kStartTimeKey];
  const Value end = message[kEndTimeKey];
  const auto cameraID = cameraIDOf(message[kCameraIDKey]);
  const auto recordingID = cameraIDOf(message[kRecordingIdKey]);
  if (!cameraID) return;
  const bool changed = !start.isString() || !end.isString() || start.stringValue() != end.stringValue();
  if (changed && recordingID) {
    auto list = recordingsForCameraID(cameraID);
    if (auto recording = list->getRecordingWithId(recordingID)) {
      // Only times the message carries replace the cached ones: a message without an end must
      // not erase a known end. Written on the lists' queue, in order with the page merges.
      std::optional<std::string> startText = start.isString() ? std::optional(start.stringValue()) : std::nullopt;
      std::optional<std::string> endText = end.isString() ? std::optional(end.stringValue()) : std::nullopt;
      list->customQueue()->async([recording, startText, endText] { recording->closeWithTimes(startText, endText); });
    }
  }
  // The newest page, at most once in flight per camera: a flood of messages costs two loads.
  std::weak_ptr<KLRecordingManager> weak = std::static_pointer_cast<KLRecordingManager>(shared_from_this());
  liveReloads_.request(*cameraID, Value(), [weak, cameraID](const Value&, LiveFetchGate::Done done) {
    auto self = weak.lock();
    if (!self) return;
    const auto told = [weak, cameraID] {
      if (auto self = weak.lock()) self->notifyObserversForCameraID(cameraID);
    };
    self->loadNewRecordings(*cameraID, told, 0, std::move(done));
  });
}

}  // namespace dk

#include "services/kl_event_manager.h"

#include <algorithm>
#include <atomic>

#include "foundation/date_formatting.h"
#include "foundation/server_timestamp.h"
#include "model/kl_camera_list_response.h"
#include "network/kl_single_requests.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/sync.h"
#include "platform/foundation/bundle.h"
#include "platform/media/images/image_cache.h"
#include "services/kl_service_notifications.h"
#include "services/message_identifier.h"

namespace dk {

using platform::ErrorPtr;
using platform::Value;

namespace {

std::optional<int64_t> identifierOf(const Value& value) { return messageIdentifier(value); }

// The earlier of two message times; a time that does not parse gives way to one that does.
Value earlierMessageTime(const Value& a, const Value& b) {
  if (a.isNil()) return b;
  if (b.isNil()) return a;
  const auto ta = a.isString() ? parseServerTimestamp(a.stringValue()) : std::nullopt;
  const auto tb = b.isString() ? parseServerTimestamp(b.stringValue()) : std::nullopt;
  if (!ta) return b;
  if (!tb) return a;
  return *tb < *ta ? b : a;
}

}  // namespace

std::shared_ptr<KLEventManager> KLEventManager::create() {
  auto manager = std::make_shared<KLEventManager>();
  std::weak_ptr<KLEventManager> weak = manager;
  platform::NotificationCenter::defaultCenter().addObserver(
      std::static_pointer_cast<const void>(std::static_pointer_cast<const platform::Object>(manager)),
      kCameraDeletedNotification, [weak](const platform::Notification& notification) {
        if (auto self = weak.lock()) self->handle_kCameraDeletedNotification(notification);
      });
  return manager;
}

KLEventManager::KLEventManager(std::string className)
    : KLServicesManager(std::move(className)),
      eventsQueue_(platform::DispatchQueue::createConcurrent("com.corvexio.EventsQueue")),
      liveFetches_(earlierMessageTime) {}

KLEventManager::~KLEventManager() { platform::ImageCache::sharedImageCache()->clearMemory(); }

bool KLEventManager::respondsToSelector(std::string_view selector) const {
  return selector == "handleMessageUpdate:forClassType:modelClass:modelListClass:" ||
         selector == "handleMessageDelete:forClassType:modelClass:";
}

// ---- observers and cache ----

void KLEventManager::addObserverForEventsChanges(const std::shared_ptr<KLEventsUpdatesDelegate>& observer) {
  if (!observer) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) observers_.push_back(observer);
}

void KLEventManager::removeObserverForEventsChanges(const std::shared_ptr<KLEventsUpdatesDelegate>& observer) {
  if (!observer) return;
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase(observers_, observer);
}

std::vector<std::shared_ptr<KLEventsUpdatesDelegate>> KLEventManager::eventsUpdatesDelegates() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return observers_;
}

void KLEventManager::notifyObserversForCameraID(std::optional<int64_t> cameraID) {
  for (const auto& observer : eventsUpdatesDelegates()) observer->didUpdateEventsForCameraID(cameraID);
}

void KLEventManager::notifyObserversOnMain(int64_t cameraID) {
  std::weak_ptr<KLEventManager> weak = std::static_pointer_cast<KLEventManager>(shared_from_this());
  platform::runOnMain([weak, cameraID] {
    if (auto self = weak.lock()) self->notifyObserversForCameraID(cameraID);
  });
}

KLEventListPtr KLEventManager::eventsForCameraID(std::optional<int64_t> cameraID) {
  if (!cameraID) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto& list = events_[*cameraID];
  if (!list) list = std::make_shared<KLEventListResponse>();
  return list;
}

KLEventPtr KLEventManager::newestEventForCameraID(std::optional<int64_t> cameraID) {
  auto list = eventsForCameraID(cameraID);
  return list ? list->getNewestEvent() : nullptr;
}

platform::QueuePtr KLEventManager::eventsRequestQueueForCameraID(std::optional<int64_t> cameraID) {
  auto list = eventsForCameraID(cameraID);
  return list ? list->eventsRequestQueue() : nullptr;
}

platform::QueuePtr KLEventManager::initialEventsRequestQueueForCameraID(std::optional<int64_t> cameraID) {
  auto list = eventsForCameraID(cameraID);
  return list ? list->initialEventsRequestQueue() : nullptr;
}

size_t KLEventManager::numberOfEventsForCameraID(std::optional<int64_t> cameraID) const {
  if (!cameraID) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = events_.find(*cameraID);
  return it == events_.end() ? 0 : it->second->numberOfEvents();
}

size_t KLEventManager::numberOfEventsForCameraIDs(const std::vector<int64_t>& cameraIDs) const {
  size_t total = 0;
  for (int64_t id : cameraIDs) total += numberOfEventsForCameraID(id);
  return total;
}

bool KLEventManager::eventsFinishedLoadingForCameraIDs(const std::vector<int64_t>& cameraIDs) {
  for (int64_t id : cameraIDs) {
    if (!eventsForCameraID(id)->oldEventsFinishedLoading()) return false;
  }
  return true;
}

std::vector<KLEventPtr> KLEventManager::eventsForCameraIDs(const std::vector<int64_t>& cameraIDs) {
  std::vector<KLEventPtr> all;
  eventsQueue_->sync([&] {
    for (int64_t id : cameraIDs) {
      auto events = eventsForCameraID(id)->events();
      all.insert(all.end(), events.begin(), events.end());
    }
  });
  return sortEventsByDate(std::move(all));
}

std::vector<KLEventPtr> KLEventManager::sortEventsByDate(std::vector<KLEventPtr> events) {
  // A total order: newest first, events without a time after all others, ties in list order.
  // (An order under which a missing time equals everything is no order, and sorting by it can
  // scramble the list.)
  std::stable_sort(events.begin(), events.end(), [](const KLEventPtr& a, const KLEventPtr& b) {
    const auto ta = a ? a->timestamp() : std::nullopt;
    const auto tb = b ? b->timestamp() : std::nullopt;
    if (!ta || !tb) return ta.has_value() && !tb.has_value();
    return *ta > *tb;
  });
  return events;
}

void KLEventManager::deleteEventForCameraID(std::optional<int64_t> cameraID, std::optional<int64_t> eventID) {
  if (!cameraID || !eventID) return;
  KLEventListPtr list;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = events_.find(*cameraID);
    if (it == events_.end()) return;
    list = it->second;
  }
  list->deleteEventWithEventID(eventID);
  // The deletion runs later on the list's handle queue; observers hear of it once it took effect.
  std::weak_ptr<KLEventManager> weak = std::static_pointer_cast<KLEventManager>(shared_from_this());
  const int64_t camera = *cameraID;
  list->eventsHandleQueue()->async([weak, camera] {
    if (auto self = weak.lock()) self->notifyObserversOnMain(camera);
  });
}

void KLEventManager::deleteEventsForCameraID(std::optional<int64_t> cameraID) {
  if (!cameraID) return;
  std::lock_guard<std::mutex> lock(mutex_);
  events_.erase(*cameraID);
}

void KLEventManager::handle_kCameraDeletedNotification(const platform::Notification& notification) {
  auto it = notification.userInfo.find(kCameraIdUserInfoKey);
  if (it == notification.userInfo.end()) return;
  deleteEventsForCameraID(identifierOf(it->second));
}

std::shared_ptr<KLEventManagerDelegate> KLEventManager::cameraDelegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cameraDelegate_.lock();
}

void KLEventManager::setCameraDelegate(const std::shared_ptr<KLEventManagerDelegate>& delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  cameraDelegate_ = delegate;
}

// ---- look-up lists ----

std::optional<std::vector<std::string>> KLEventManager::eventAvailableTypes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return eventAvailableTypes_;
}

std::optional<std::vector<std::shared_ptr<KLEventTypeDetailsResponse>>> KLEventManager::eventTypeDetails() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return eventTypeDetails_;
}

std::optional<std::vector<std::shared_ptr<KLAvailableFacesResponse>>> KLEventManager::availableFacesList() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return availableFacesList_;
}

std::vector<std::string> KLEventManager::hideEventTypes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hideEventTypes_;
}

void KLEventManager::setHideEventTypes(std::vector<std::string> types) {
  std::lock_guard<std::mutex> lock(mutex_);
  hideEventTypes_ = std::move(types);
}

void KLEventManager::resetFacesList() {
  std::lock_guard<std::mutex> lock(mutex_);
  availableFacesList_.reset();
}

std::string KLEventManager::getAvailableEventTypes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string query;
  if (!eventAvailableTypes_) return query;
  for (const std::string& type : *eventAvailableTypes_) {
    if (std::find(hideEventTypes_.begin(), hideEventTypes_.end(), type) != hideEventTypes_.end()) continue;
    if (!query.empty()) query += ",";
    query += type;
  }
  return query;
}

void KLEventManager::getAvailableEventTypesWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  auto report = genericBlock();
  requestWithRequestObject(std::make_shared<KLAvailableEventTypesRequest>(), nullptr,
                           [report, success, error](const Value& result, const ErrorPtr& failure) {
                             report(result, failure, success, error);
                           });
}

void KLEventManager::getEventTypeDetailsWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  auto report = genericBlock();
  requestWithRequestObject(std::make_shared<KLEventTypeDetailsListRequest>(), nullptr,
                           [report, success, error](const Value& result, const ErrorPtr& failure) {
                             report(result, failure, success, error);
                           });
}

void KLEventManager::getAllFacesWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  auto report = genericBlock();
  requestWithRequestObject(std::make_shared<KLAllFacesRequest>(), nullptr,
                           [report, success, error](const Value& result, const ErrorPtr& failure) {
                             report(result, failure, success, error);
                           });
}

void KLEventManager::getEventTypesWithCompletion(std::function<void()> completion) {
  // Three answers are awaited, whatever each is; the last one runs the completion.
  auto remaining = std::make_shared<std::atomic<int>>(3);
  auto answered = [remaining, completion] {
    if (remaining->fetch_sub(1) == 1 && completion) platform::runOnMain(completion);
  };
  std::weak_ptr<KLEventManager> weak = std::static_pointer_cast<KLEventManager>(shared_from_this());
  auto failed = [answered](const ErrorPtr&) { answered(); };

  if (eventAvailableTypes()) {
    answered();
  } else {
    getAvailableEventTypesWithSuccessBlock(
        [weak, answered](const Value& result) {
          if (auto self = weak.lock()) {
            auto list = result.objectAs<KLAvailableEventTypesResponse>();
            std::lock_guard<std::mutex> lock(self->mutex_);
            if (list && !list->values().isNil()) self->eventAvailableTypes_ = list->eventTypes();
          }
          answered();
        },
        failed);
  }
  if (eventTypeDetails()) {
    answered();
  } else {
    getEventTypeDetailsWithSuccessBlock(
        [weak, answered](const Value& result) {
          if (auto self = weak.lock()) {
            auto list = result.objectAs<KLEventTypeDetailsListResponse>();
            std::lock_guard<std::mutex> lock(self->mutex_);
            if (list && !list->values().isNil()) self->eventTypeDetails_ = list->details();
          }
          answered();
        },
        failed);
  }
  if (availableFacesList()) {
    answered();
  } else {
    getAllFacesWithSuccessBlock(
        [weak, answered](const Value& result) {
          if (auto self = weak.lock()) {
            auto list = result.objectAs<KLAvailableFacesListResponse>();
            std::lock_guard<std::mutex> lock(self->mutex_);
            if (list && !list->values().isNil()) self->availableFacesList_ = list->faces();
          }
          answered();
        },
        failed);
  }
}

bool KLEventManager::getEventTypes() {
  auto loaded = [this] { return eventAvailableTypes() && eventTypeDetails() && availableFacesList(); };
  // The answers are delivered on the main thread: waiting there would never end.
  if (platform::isMainThread()) return loaded();
  auto done = std::make_shared<platform::DispatchSemaphore>(0);
  getEventTypesWithCompletion([done] { done->signal(); });
  done->waitFor(kEventTypesWaitSeconds);
  return loaded();
}

// ---- display look-ups ----

std::string KLEventManager::getFaceNameForFaceID(const std::optional<std::string>& faceID) const {
  if (auto faces = availableFacesList(); faces && faceID) {
    for (const auto& face : *faces) {
      if (face && face->faceID() == faceID && face->state() == std::optional<std::string>("known")) {
        return face->name().value_or("");
      }
    }
  }
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString("UnknownFace", "", "");
}

std::string KLEventManager::getLocalizedNameForEventType(const std::string& type,
                                                         const std::optional<std::string>& categoryName) const {
  auto details = eventTypeDetails();
  if (!details) return type;
  for (const auto& entry : *details) {
    if (!entry) continue;
    if (categoryName) {
      if (auto translated = entry->translatedCategory(*categoryName)) return *translated;
    }
    if (entry->eventType() == type) return entry->localizedName().value_or(type);
  }
  return type;
}

int32_t KLEventManager::getPriorityForEventType(const std::string& type) const {
  auto details = eventTypeDetails();
  if (!details) return 0;
  for (const auto& entry : *details) {
    if (entry && entry->eventType() == type) return entry->priority();
  }
  return 0;
}

// ---- one event on the server ----

void KLEventManager::updateEvent(const KLEventPtr& event, SuccessBlock success, ErrorBlock error) {
  auto request = std::make_shared<KLEventRequest>();
  request->eventID = event ? event->eventID() : std::nullopt;
  request->includeUrlsTypes = "mp4Https";
  auto report = genericBlock();
  requestWithRequestObject(request, event, [report, success, error](const Value& result, const ErrorPtr& failure) {
    report(result, failure, success, error);
  });
}

void KLEventManager::deleteEvent(const KLEventPtr& event, SuccessBlock success, ErrorBlock error) {
  auto request = std::make_shared<KLDeleteEventRequest>();
  request->eventID = event ? event->eventID() : std::nullopt;
  auto report = genericBlock();
  std::weak_ptr<KLEventManager> weak = std::static_pointer_cast<KLEventManager>(shared_from_this());
  requestWithRequestObject(request, nullptr, [weak, event, report, success, error](const Value& result,
                                                                                   const ErrorPtr& failure) {
    auto self = weak.lock();
    if (self && !failure && !errorFromResult(result)) {
      self->deleteEventForCameraID(event->cameraID(), event->eventID());
    }
    report(result, failure, success, error);
  });
}

void KLEventManager::deleteAllEventsForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error) {
  auto request = std::make_shared<KLDeleteAllEventsRequest>();
  const auto cameraID = camera ? camera->cameraID() : std::nullopt;
  if (cameraID) request->cameraID = std::to_string(*cameraID);
  auto report = genericBlock();
  std::weak_ptr<KLEventManager> weak = std::static_pointer_cast<KLEventManager>(shared_from_this());
  requestWithRequestObject(request, nullptr, [weak, cameraID, report, success, error](const Value& result,
                                                                                      const ErrorPtr& failure) {
    auto self = weak.lock();
    if (self && !failure && !errorFromResult(result)) self->deleteEventsForCameraID(cameraID);
    report(result, failure, success, error);
  });
}

// ---- live feed ----

void KLEventManager::handleMessageUpdate(const Value& message, int32_t, const platform::ClassInfo*,
                                         const platform::ClassInfo*) {
  const Value type = message["type"];
  const Value camera = message["cameraId"];
  const Value timestamp = message["timestamp"];
  // A timestamp is a server-time string or a number; anything else cannot bound the fetch.
  if (type.isNilOrNull() || camera.isNilOrNull() || !(timestamp.isString() || timestamp.isInteger() || timestamp.isDouble())) return;
  const auto cameraID = identifierOf(camera);
  if (!cameraID) return;
  if (auto delegate = cameraDelegate(); delegate && delegate->respondsToSelector("getCameras")) {
    if (auto cameras = delegate->getCameras()) {
      if (auto found = cameras->cameraWithID(cameraID); found && found->state() != true) {
        found->setState(true);
        // Set again so that whoever watches the camera list sees the change; a camera already
        // online changes nothing, and a flood of its messages must not redraw every screen.
        cameras->setValues(cameras->values());
      }
    }
  }
  fetchNewEventsForLiveMessage(*cameraID, timestamp);
}

void KLEventManager::fetchNewEventsForLiveMessage(int64_t cameraID, const Value& timestamp) {
  std::weak_ptr<KLEventManager> weak = std::static_pointer_cast<KLEventManager>(shared_from_this());
  liveFetches_.request(cameraID, timestamp, [weak, cameraID](const Value& from, LiveFetchGate::Done done) {
    auto self = weak.lock();
    if (!self) return;
    self->getNewEventsForCameraID(cameraID, from, [done](const Value&) { done(); });
  });
}

void KLEventManager::handleMessageDelete(const Value& message, int32_t, const platform::ClassInfo*) {
  const auto cameraID = identifierOf(message["cameraId"]);
  const Value ids = message["deletedEventIds"];
  if (ids.isNil()) {
    deleteEventsForCameraID(cameraID);
    return;
  }
  for (const Value& id : ids.arrayValue()) deleteEventForCameraID(cameraID, identifierOf(id));
}

}  // namespace dk

// KLEventManager: the per-camera cache of events (KLEventListResponse). It loads the event-type
// list, the type details and the known faces once, pages through a camera's whole history (the
// newest page, then older pages by each reply's "Link" next address), fetches events newer than
// the cache when a live event arrives, deletes events on the server and in the cache, and answers
// the look-ups the timeline labels events with. Observers are told on the main thread.
//
// Owned by the data manager (create()); observers are held strongly until they remove themselves.
// Every operation may be called from any thread: dictionaries, observers and look-up lists are
// guarded by the manager's lock; page requests of one camera start one after another on its
// list's request queue; merges run on the list's handle queue.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/kl_camera_response.h"
#include "model/kl_event_response.h"
#include "model/kl_event_type_models.h"
#include "network/kl_event_requests.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/images/image_downloader.h"
#include "platform/ui/image_view.h"
#include "services/kl_camera_lookup_delegates.h"
#include "services/kl_services_manager.h"
#include "services/kl_web_sockets_delegate.h"
#include "services/live_fetch_gate.h"

namespace dk {

// What the timeline registers to hear about a camera's events.
class KLEventsUpdatesDelegate : public virtual platform::Protocol {
 public:
  // "didUpdateEventsForCameraID:", on the main thread.
  virtual void didUpdateEventsForCameraID(std::optional<int64_t> cameraID) = 0;
};

class KLEventManager : public KLServicesManager, public KLWebSocketsDelegate {
 public:
  using ResultBlock = std::function<void(const platform::Value& result)>;
  using FailedRequestBlock = std::function<void(const std::shared_ptr<KLOldEventsRequest>& request)>;

  static constexpr int64_t kEventsPageLimit = 200;
  // A failed older page is asked again this many times, this many seconds apart (on the clock),
  // before the loop gives up and reports the history as loaded as far as it got.
  static constexpr int kOldEventsPageRetries = 3;
  static constexpr double kOldEventsPageRetryInterval = 2.0;
  // Paging follows next links through pages that add nothing (a live event's fetch may already
  // have brought them), but leaves a cloud that hands out this many of them in a row.
  static constexpr int kOldEventsPagesAddingNothing = 50;
  // getEventTypes waits at most this long (real time) for the three look-ups.
  static constexpr double kEventTypesWaitSeconds = 60.0;

  // A new manager, registered for kCameraDeletedNotification.
  static std::shared_ptr<KLEventManager> create();
  explicit KLEventManager(std::string className = "KLEventManager");
  // Empties the memory of the shared thumbnail cache.
  ~KLEventManager() override;

  // ---- observers and cache ----
  void addObserverForEventsChanges(const std::shared_ptr<KLEventsUpdatesDelegate>& observer);
  void removeObserverForEventsChanges(const std::shared_ptr<KLEventsUpdatesDelegate>& observer);
  std::vector<std::shared_ptr<KLEventsUpdatesDelegate>> eventsUpdatesDelegates() const;
  // Calls every observer, in registration order, on the calling thread.
  void notifyObserversForCameraID(std::optional<int64_t> cameraID);

  // The camera's list, created empty on first use; nullptr for no camera.
  KLEventListPtr eventsForCameraID(std::optional<int64_t> cameraID);
  KLEventPtr newestEventForCameraID(std::optional<int64_t> cameraID);
  platform::QueuePtr eventsRequestQueueForCameraID(std::optional<int64_t> cameraID);
  platform::QueuePtr initialEventsRequestQueueForCameraID(std::optional<int64_t> cameraID);
  // Cached counts; no list is created.
  size_t numberOfEventsForCameraID(std::optional<int64_t> cameraID) const;
  size_t numberOfEventsForCameraIDs(const std::vector<int64_t>& cameraIDs) const;
  // True unless one of the cameras still has older pages to load.
  bool eventsFinishedLoadingForCameraIDs(const std::vector<int64_t>& cameraIDs);
  // The cameras' events together, newest first.
  std::vector<KLEventPtr> eventsForCameraIDs(const std::vector<int64_t>& cameraIDs);
  // Newest first by timestamp; events without one go last; equal keys keep their order.
  static std::vector<KLEventPtr> sortEventsByDate(std::vector<KLEventPtr> events);

  // Drops one event (and its downloaded clip) from an existing list; observers are told on the
  // main thread once the removal has taken effect.
  void deleteEventForCameraID(std::optional<int64_t> cameraID, std::optional<int64_t> eventID);
  // Drops the camera's list, silently.
  void deleteEventsForCameraID(std::optional<int64_t> cameraID);
  void handle_kCameraDeletedNotification(const platform::Notification& notification);

  // ---- thumbnails ----
  // Loads the event's image into `view` through `downloader` (the shared one when null), with the
  // stored bearer token and "Accept: image/jpeg" set on the downloader for this and later loads.
  // A loaded image is shown centred and rescaled to the view only while the view's tag still
  // names the event (a reused cell may have moved on); otherwise the view is cleared. The
  // completion runs on the main thread whether the load succeeded or not (not when a later load
  // into the same view replaced this one). Main thread.
  void setImageForView(const std::shared_ptr<platform::ImageView>& view, const KLEventPtr& event,
                       std::function<void()> completion,
                       std::shared_ptr<platform::ImageDownloader> downloader = nullptr);

  // ---- loading ----
  // The full load, off the main thread: missing look-ups, the older pages from where the list
  // stands, then what is newer than the cache.
  void getAllEventsForCameraID(std::optional<int64_t> cameraID);
  // Events newer than the earlier of `minTimestamp` (nil or a server time) and the list's first
  // event; observers are told, then the completion receives the page (or the error object, or
  // nil when there is no bound).
  void getNewEventsForCameraID(std::optional<int64_t> cameraID, const platform::Value& minTimestamp,
                               ResultBlock completion);
  // Older pages from `request` (nil: the first page) until no next page is left, a page adds
  // nothing, or a page keeps failing. Each page tells the observers once; the completion receives
  // the last page (nil when the loop gave up).
  void getOldEventsForCameraID(std::optional<int64_t> cameraID, std::shared_ptr<KLOldEventsRequest> request,
                               ResultBlock completion);
  // The single requests under those loops (callbacks on the main thread).
  void getNewEventsForCameraID(std::optional<int64_t> cameraID, const std::optional<std::string>& minTimestamp,
                               SuccessBlock success, ErrorBlock error);
  void getOldEventsForCameraID(std::optional<int64_t> cameraID, std::shared_ptr<KLOldEventsRequest> request,
                               SuccessBlock success, FailedRequestBlock error);
  // The next older page's request from the list's next address; nullptr when there is none.
  static std::shared_ptr<KLOldEventsRequest> nextRequestFromEventsList(const KLEventListPtr& list);
  // The given server time when both parse and it is the earlier; otherwise the cached one.
  static std::optional<std::string> newestTimestampBetweenUpdateTimestamp(const std::optional<std::string>& update,
                                                                          const std::optional<std::string>& cache);

  // ---- look-up lists ----
  void getAvailableEventTypesWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  void getEventTypeDetailsWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  void getAllFacesWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  // Loads the missing look-up lists; the completion runs (main thread) when all three answered.
  void getEventTypesWithCompletion(std::function<void()> completion);
  // The same, waiting (bounded) for the answers. Refused on the main thread, which delivers them.
  // True when all three lists are loaded.
  bool getEventTypes();
  // The queryable types not hidden, joined with ","; "" when none.
  std::string getAvailableEventTypes() const;
  void resetFacesList();

  std::optional<std::vector<std::string>> eventAvailableTypes() const;
  std::optional<std::vector<std::shared_ptr<KLEventTypeDetailsResponse>>> eventTypeDetails() const;
  std::optional<std::vector<std::shared_ptr<KLAvailableFacesResponse>>> availableFacesList() const;
  std::vector<std::string> hideEventTypes() const;
  void setHideEventTypes(std::vector<std::string> types);

  // ---- one event on the server ----
  // Fetches the event's clip address, merged into the given event.
  void updateEvent(const KLEventPtr& event, SuccessBlock success, ErrorBlock error);
  // Deletes on the server, then from the cache.
  void deleteEvent(const KLEventPtr& event, SuccessBlock success, ErrorBlock error);
  void deleteAllEventsForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);

  // ---- display look-ups ----
  // The known face's name, else the framework's "UnknownFace" text.
  std::string getFaceNameForFaceID(const std::optional<std::string>& faceID) const;
  // The category's translation, else the type's translated name, else the type itself.
  std::string getLocalizedNameForEventType(const std::string& type,
                                           const std::optional<std::string>& categoryName) const;
  int32_t getPriorityForEventType(const std::string& type) const;

  // Weakly held camera list (served by the camera service).
  std::shared_ptr<KLEventManagerDelegate> cameraDelegate() const;
  void setCameraDelegate(const std::shared_ptr<KLEventManagerDelegate>& delegate);

  // ---- live feed ----
  // An event message {"type", "cameraId", "timestamp"} marks the camera online (the camera list
  // is set again only when that changed its state) and fetches what is newer than the cache. A
  // camera has at most one such fetch in flight: messages arriving meanwhile are folded into one
  // follow-up fetch from the earliest of their times, so a flood costs two requests, not one each.
  void handleMessageUpdate(const platform::Value& message, int32_t classType, const platform::ClassInfo* modelClass,
                           const platform::ClassInfo* modelListClass) override;
  // {"cameraId", "deletedEventIds": [...]} drops those events; without the ids the whole list.
  void handleMessageDelete(const platform::Value& message, int32_t classType,
                           const platform::ClassInfo* modelClass) override;
  using KLWebSocketsDelegate::handleMessageUpdate;
  bool respondsToSelector(std::string_view selector) const override;

 private:
  struct OldEventsPaging;
  void getOldEventsPage(int64_t cameraID, std::shared_ptr<KLOldEventsRequest> request, ResultBlock completion,
                        int failures, std::shared_ptr<OldEventsPaging> paging);
  void notifyObserversOnMain(int64_t cameraID);
  // The live message's fetch for a camera, or its place in the follow-up when one is in flight.
  void fetchNewEventsForLiveMessage(int64_t cameraID, const platform::Value& timestamp);
  std::shared_ptr<KLOldEventsRequest> firstOldEventsRequest(int64_t cameraID) const;

  mutable std::mutex mutex_;
  std::map<int64_t, KLEventListPtr> events_;
  std::vector<std::shared_ptr<KLEventsUpdatesDelegate>> observers_;
  std::weak_ptr<KLEventManagerDelegate> cameraDelegate_;
  std::optional<std::vector<std::string>> eventAvailableTypes_;
  std::optional<std::vector<std::shared_ptr<KLEventTypeDetailsResponse>>> eventTypeDetails_;
  std::optional<std::vector<std::shared_ptr<KLAvailableFacesResponse>>> availableFacesList_;
  std::vector<std::string> hideEventTypes_;
  platform::QueuePtr eventsQueue_;
  // Live messages' fetches; a follow-up fetches from the earliest time that came meanwhile.
  LiveFetchGate liveFetches_;
};

}  // namespace dk

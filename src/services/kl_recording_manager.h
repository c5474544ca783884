// KLRecordingManager: the per-camera cache of recordings (KLRecordingListResponse), filled from
// the cloud page by page (the newest page, then older pages until the history is complete), kept
// current by live recording messages, with observers told on the main thread when a camera's
// recordings changed.
//
// Owned by the data manager (create()); observers are held strongly until they remove themselves.
// Every operation may be called from any thread: the cache dictionary and the observer list are
// guarded by the manager's lock, merges run on the recording lists' shared queue, and observer
// calls, completions included, arrive on the main thread (notifyObserversForCameraID itself calls
// on the calling thread).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/kl_recording_response.h"
#include "platform/foundation/notification_center.h"
#include "services/kl_camera_lookup_delegates.h"
#include "services/kl_services_manager.h"
#include "services/kl_web_sockets_delegate.h"
#include "services/live_fetch_gate.h"

namespace dk {

// What the timeline registers to hear about a camera's recordings.
class KLRecordingsUpdatesDelegate : public virtual platform::Protocol {
 public:
  // "didUpdateRecordingsForCameraID:", on the main thread.
  virtual void didUpdateRecordingsForCameraID(std::optional<int64_t> cameraID) = 0;
};

class KLRecordingManager : public KLServicesManager, public KLWebSocketsDelegate {
 public:
  using Completion = std::function<void()>;

  // Recordings per page, asked newest first: the list's own page limit, by which it tells a
  // short (last) page from a full one.
  static constexpr int64_t kRecordingsPageLimit = static_cast<int64_t>(KLRecordingListResponse::kPageLimit);

  // A new manager, registered for kCameraDeletedNotification.
  static std::shared_ptr<KLRecordingManager> create();
  explicit KLRecordingManager(std::string className = "KLRecordingManager");

  void addObserverForRecordingsChanges(const std::shared_ptr<KLRecordingsUpdatesDelegate>& observer);
  void removeObserverForRecordingsChanges(const std::shared_ptr<KLRecordingsUpdatesDelegate>& observer);
  std::vector<std::shared_ptr<KLRecordingsUpdatesDelegate>> recordingsUpdatesDelegates() const;

  // The camera's list, created empty on first use; nullptr for no camera.
  KLRecordingListPtr recordingsForCameraID(std::optional<int64_t> cameraID);

  // Fetches the newest page and merges it; then observers are told and the completion runs (main
  // thread). A failed or empty newest page calls neither.
  void loadNewRecordingsForCameraID(std::optional<int64_t> cameraID, Completion completion);
  // Fetches older pages one after another until the history is complete: n pages give n-1
  // observer notifications, then the completion, all on the main thread. A failed page ends the
  // loop; the completion still runs.
  void loadRecordingsForCameraID(std::optional<int64_t> cameraID, Completion completion);
  // Older pages until one covers the server time or the history is complete; no notifications.
  void loadRecordingsForCameraID(std::optional<int64_t> cameraID, std::optional<std::string> timestamp,
                                 Completion completion);

  // Drops one recording from the cache (no request); observers are told on the main thread once
  // the removal has taken effect.
  void deleteRecordingForCameraID(std::optional<int64_t> cameraID, std::optional<int64_t> recordingID);
  // Drops the camera's whole list, silently.
  void deleteRecordingsForCameraID(std::optional<int64_t> cameraID);
  void handle_kCameraDeletedNotification(const platform::Notification& notification);

  // Calls every observer, in registration order, on the calling thread.
  void notifyObserversForCameraID(std::optional<int64_t> cameraID);

  // Weakly held camera look-up (served by the camera service).
  std::shared_ptr<KLRecordingManagerDelegate> cameraDelegate() const;
  void setCameraDelegate(const std::shared_ptr<KLRecordingManagerDelegate>& delegate);

  // KLWebSocketsDelegate: a recording message {"cameraId", "recordingId", "startTime",
  // "endTime"} closes the cached recording (only the times the message carries are taken) and
  // reloads the newest page: at most one reload in flight per camera, with one follow-up when
  // more messages came meanwhile.
  void handleMessageUpdate(const platform::Value& message, int32_t classType, const platform::ClassInfo* modelClass,
                           const platform::ClassInfo* modelListClass) override;
  using KLWebSocketsDelegate::handleMessageUpdate;
  bool respondsToSelector(std::string_view selector) const override;

 private:
  // One page request, newest first, bounded by the oldest start when `older`.
  std::shared_ptr<KLRequest> pageRequest(int64_t cameraID, const KLRecordingListPtr& list, bool older) const;
  // `ended` runs once the load ended, however it ended (after the completion when it merged).
  void loadNewRecordings(int64_t cameraID, Completion completion, int cancelledAttempts, Completion ended);

  mutable std::mutex mutex_;
  std::map<int64_t, KLRecordingListPtr> recordings_;
  std::vector<std::shared_ptr<KLRecordingsUpdatesDelegate>> observers_;
  std::weak_ptr<KLRecordingManagerDelegate> cameraDelegate_;
  LiveFetchGate liveReloads_;
};

}  // namespace dk

// Test doubles around the domain managers: observers that record what they were told (and what
// the cache held at that moment), and the camera service's look-ups over a fixed camera list.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "model/kl_camera_list_response.h"
#include "platform/dispatch/queue.h"
#include "services/kl_camera_lookup_delegates.h"
#include "services/kl_event_manager.h"
#include "services/kl_recording_manager.h"

namespace dk::test {

// Counts the calls it gets (on the main thread only) and keeps what `snapshot` read at each.
template <typename Interface>
class RecordingObserver : public Interface {
 public:
  std::vector<std::optional<int64_t>> cameras;
  std::vector<size_t> countsSeen;
  bool onMain = true;
  std::function<size_t()> snapshot;

  int calls() const { return static_cast<int>(cameras.size()); }

 protected:
  void record(std::optional<int64_t> cameraID) {
    onMain = onMain && platform::isMainThread();
    cameras.push_back(cameraID);
    countsSeen.push_back(snapshot ? snapshot() : 0);
  }
};

class RecordingsObserver : public RecordingObserver<KLRecordingsUpdatesDelegate> {
 public:
  void didUpdateRecordingsForCameraID(std::optional<int64_t> cameraID) override { record(cameraID); }
};

class EventsObserver : public RecordingObserver<KLEventsUpdatesDelegate> {
 public:
  void didUpdateEventsForCameraID(std::optional<int64_t> cameraID) override { record(cameraID); }
};

// The camera service as the managers see it: a fixed camera list.
class CameraLookup : public KLEventManagerDelegate, public KLRecordingManagerDelegate {
 public:
  explicit CameraLookup(KLCameraListPtr cameras) : cameras_(std::move(cameras)) {}
  bool respondsToSelector(std::string_view selector) const override {
    return selector == "getCameras" || selector == "cameraWithID:";
  }
  std::shared_ptr<KLCameraListResponse> getCameras() override { return cameras_; }
  KLCameraPtr cameraWithID(std::optional<int64_t> cameraID) override { return cameras_->cameraWithID(cameraID); }

 private:
  KLCameraListPtr cameras_;
};

}  // namespace dk::test

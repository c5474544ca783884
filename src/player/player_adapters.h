// The recording and camera models as the player sees them: PlayerRecordingInterface over
// KLRecordingResponse and PlayerCameraInterface over KLCameraResponse. Each adapter keeps its
// model and answers from it at every call, so a merged update is seen at once.
//
// Thread-safe as far as the models are (their fields are locked); used on the main thread.
#pragma once

#include <memory>

#include "model/kl_camera_response.h"
#include "model/kl_recording_response.h"
#include "player/player_interfaces.h"

namespace dk {

class RecordingPlayerAdapter final : public PlayerRecordingInterface {
 public:
  explicit RecordingPlayerAdapter(KLRecordingPtr recording) : recording_(std::move(recording)) {}
  static PlayerRecordingPtr make(KLRecordingPtr recording);

  platform::ObjectPtr underlyingObject() const override { return recording_; }
  int64_t playerCameraID() const override;
  int64_t playerRecordingID() const override;
  double startTime() const override;
  // The clock's now while the recording is open (closed is present and false), else its end.
  double endTime() const override;
  double recordingDuration() const override { return endTime() - startTime(); }

 private:
  KLRecordingPtr recording_;
};

class CameraPlayerAdapter final : public PlayerCameraInterface {
 public:
  explicit CameraPlayerAdapter(KLCameraPtr camera) : camera_(std::move(camera)) {}
  static PlayerCameraPtr make(KLCameraPtr camera);

  platform::ObjectPtr underlyingObject() const override { return camera_; }
  int64_t playerCameraID() const override;
  std::string cameraName() const override;
  bool microphoneEnabled() const override;  // audioEnabled, NO when absent
  bool isRecording() const override;

 private:
  KLCameraPtr camera_;
};

}  // namespace dk

#include "player/player_adapters.h"

#include "foundation/date_formatting.h"
#include "platform/dispatch/clock.h"

namespace dk {

PlayerRecordingPtr RecordingPlayerAdapter::make(KLRecordingPtr recording) {
  if (!recording) return nullptr;
  return std::make_shared<RecordingPlayerAdapter>(std::move(recording));
}

int64_t RecordingPlayerAdapter::playerCameraID() const { return recording_->cameraID().value_or(0); }
int64_t RecordingPlayerAdapter::playerRecordingID() const { return recording_->recordingID().value_or(0); }

double RecordingPlayerAdapter::startTime() const {
  return secondsFromStringDate(recording_->startStringTime().value_or(std::string()));
}

double RecordingPlayerAdapter::endTime() const {
  const auto closed = recording_->closed();
  if (closed.has_value() && !*closed) return platform::now();
  return secondsFromStringDate(recording_->endStringTime().value_or(std::string()));
}

PlayerCameraPtr CameraPlayerAdapter::make(KLCameraPtr camera) {
  if (!camera) return nullptr;
  return std::make_shared<CameraPlayerAdapter>(std::move(camera));
}

int64_t CameraPlayerAdapter::playerCameraID() const { return camera_->cameraID().value_or(0); }
std::string CameraPlayerAdapter::cameraName() const { return camera_->name().value_or(std::string()); }
bool CameraPlayerAdapter::microphoneEnabled() const { return camera_->audioEnabled().value_or(false); }
bool CameraPlayerAdapter::isRecording() const { return camera_->isRecording(); }

}  // namespace dk

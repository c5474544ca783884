#include "network/kl_camera_requests.h"

#include <array>

#include "foundation/kl_device_helper.h"
#include "network/request_keys.h"
#include "network/request_support.h"
#include "platform/foundation/notification_center.h"

namespace dk {

using platform::Value;
using platform::ValueDictionary;
using request_support::setIfPresent;

std::string KLCameraRequest::requestURL() const { return formatRequestPath({cameraID}); }

RequestMergeBlock KLSingleCameraStatusRequest::block() const {
  RequestMergeBlock base = KLCameraRequest::block();
  return [base](const Value& response, const platform::ErrorPtr& error, const platform::ModelPtr& target) {
    Value result = base(response, error, target);
    platform::NotificationCenter::defaultCenter().post(kCameraStatusUpdatedNotification);
    return result;
  };
}

RequestMergeBlock KLCamerasStatusRequest::block() const { return request_support::listMergeBlock(); }

RequestMergeBlock KLCamerasModeRequest::block() const { return request_support::listMergeBlock(); }

RequestMergeBlock KLCamerasRequest::block() const { return request_support::listMergeBlock(); }

Value KLUpdateCameraNameRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, kNameKey, name);
  return Value(std::move(params));
}

Value KLUpdateCameraModeRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, kModeKey, mode);
  setIfPresent(params, kRecordingModeKey, recordingMode);
  return Value(std::move(params));
}

std::string KLUpdateCameraZoneRequest::requestURL() const {
  return formatRequestPath({cameraID, request_support::numberString(zoneID)});
}

Value KLUpdateMicrophoneStateRequest::parameters() const {
  return Value(removeAllNullValuesFromDictionary({{std::string(kEnabledKey), request_support::valueOrNull(enabled)}}));
}

Value KLDeleteCameraRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, kPasswordKey, password);
  return Value(std::move(params));
}

const char* KLMoveCameraRequest::directionWord(uint64_t direction) {
  static constexpr std::array<const char*, 6> kWords = {"Up", "Down", "Left", "Right", "In", "Out"};
  return direction < kWords.size() ? kWords[direction] : nullptr;
}

Value KLMoveCameraRequest::parameters() const {
  ValueDictionary params{{std::string(kPtzMoveType), Value("CameraPtzDirectionMove")}};
  if (const char* word = directionWord(direction)) params.emplace(kPtzDirection, Value(word));
  return Value(std::move(params));
}

std::string KLCameraSnapshotRequest::requestURL() const {
  std::string path = KLCameraRequest::requestURL();
  if (path.empty()) return path;
  return path + "?resolution=1280x720";
}

RequestMergeBlock KLCameraSnapshotRequest::block() const { return request_support::replyOrErrorBlock(); }

Value KLGenerateDailySummaryRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, kMinTimestampKey, minTimestamp);
  setIfPresent(params, kMaxTimestampKey, maxTimestamp);
  return Value(std::move(params));
}

Value KLUpdateCameraVideoSettingsRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, "rotation", rotation);
  setIfPresent(params, "backlight", backlight);
  setIfPresent(params, "manualNightview", manualNightview);
  setIfPresent(params, "exposure", exposure);
  return Value(std::move(params));
}

Value KLUpdateCameraFootageSettingsRequest::parameters() const {
  ValueDictionary video;
  setIfPresent(video, "resolution", resolution);
  setIfPresent(video, "framerate", framerate);
  setIfPresent(video, "maxBitRate", maxBitRate);
  return Value(ValueDictionary{{"rec", Value(ValueDictionary{{"video", Value(std::move(video))}})}});
}

}  // namespace dk

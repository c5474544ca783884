// The camera family of requests: calls about one camera (or all cameras), the path template
// filled with the camera's identifier. Each class fixes its request name; a few add properties
// that become parameters or path parts, or replace the merge callback.
//
// Created by the camera, event and recording managers, configured, then handed over and not
// changed again (see KLRequest for the thread-safety contract).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "network/kl_request.h"

namespace dk {

// Posted after every reply to a single camera's status request.
inline constexpr char kCameraStatusUpdatedNotification[] = "kCameraStatusUpdatedNotification";

class KLCameraRequest : public KLRequest {
 public:
  KLCameraRequest() = default;
  // The template filled with cameraID (a template without "%@" ignores it).
  std::string requestURL() const override;
  std::string className() const override { return "KLCameraRequest"; }

  std::optional<std::string> cameraID;
  std::optional<std::string> serial;  // carried, read by nothing

 protected:
  explicit KLCameraRequest(int32_t name) : KLRequest(name) {}
};

DK_NAMED_REQUEST(KLGetCameraRequest, KLCameraRequest, CAMERA_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLSingleCameraModeRequest, KLCameraRequest, CAMERA_MODE_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLCameraConnectionDetailsRequest, KLCameraRequest, CAMERA_CONNECTION_DETAILS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLCameraConnectionCredentialsRequest, KLCameraRequest,
                 CAMERA_CONNECTION_CREDENTIALS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLCameraDeviceInfoRequest, KLCameraRequest, CAMERA_DEVICE_INFO_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLCameraVideoSettingsRequest, KLCameraRequest, CAMERA_VIDEO_SETTINGS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLDeleteCameraVideoSettingsRequest, KLCameraRequest, CAMERA_VIDEO_SETTINGS_DELETE_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLCameraVideoSettingsOptionsRequest, KLCameraRequest,
                 CAMERA_VIDEO_SETTINGS_CAPABILITIES_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLCameraFootageSettingsRequest, KLCameraRequest, CAMERA_FOOTAGE_SETTINGS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLCameraFootageSettingsOptionsRequest, KLCameraRequest,
                 CAMERA_FOOTAGE_SETTINGS_CAPABILITIES_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLCameraCapabilitiesRequest, KLCameraRequest, CAMERA_CAPABILITIES_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLCameraPtzCapabilitiesRequest, KLCameraRequest, CAMERA_PTZ_CAPABILITIES_GET_REQUEST_CLOUD);

// Base merge, then "kCameraStatusUpdatedNotification" (no object) on every reply, failures included.
class KLSingleCameraStatusRequest : public KLCameraRequest {
 public:
  KLSingleCameraStatusRequest() : KLCameraRequest(CAMERA_STATUS_GET_REQUEST_CLOUD) {}
  RequestMergeBlock block() const override;
  std::string className() const override { return "KLSingleCameraStatusRequest"; }
};

// Status and mode of every camera, merged into the cached camera list (list merge).
class KLCamerasStatusRequest : public KLCameraRequest {
 public:
  KLCamerasStatusRequest() : KLCameraRequest(CAMERAS_STATUS_GET_REQUEST_CLOUD) {}
  RequestMergeBlock block() const override;
  std::string className() const override { return "KLCamerasStatusRequest"; }
};

class KLCamerasModeRequest : public KLCameraRequest {
 public:
  KLCamerasModeRequest() : KLCameraRequest(CAMERAS_MODE_GET_REQUEST_CLOUD) {}
  RequestMergeBlock block() const override;
  std::string className() const override { return "KLCamerasModeRequest"; }
};

// {"name": name}
class KLUpdateCameraNameRequest : public KLCameraRequest {
 public:
  KLUpdateCameraNameRequest() : KLCameraRequest(CAMERA_PATCH_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLUpdateCameraNameRequest"; }

  std::optional<std::string> name;
};

// {"mode": mode, "recordingMode": recordingMode}
class KLUpdateCameraModeRequest : public KLCameraRequest {
 public:
  KLUpdateCameraModeRequest() : KLCameraRequest(CAMERA_PATCH_MODE_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLUpdateCameraModeRequest"; }

  std::optional<std::string> mode;
  std::optional<std::string> recordingMode;
};

// "/rest/v2.0/cameras/<cameraID>/zone/<zoneID>"
class KLUpdateCameraZoneRequest : public KLCameraRequest {
 public:
  KLUpdateCameraZoneRequest() : KLCameraRequest(CAMERA_ZONE_PUT_REQUEST_CLOUD) {}
  std::string requestURL() const override;
  std::string className() const override { return "KLUpdateCameraZoneRequest"; }

  std::optional<int64_t> zoneID;
};

// {"enabled": enabled} cleaned: a nil or empty value sends no parameter.
class KLUpdateMicrophoneStateRequest : public KLCameraRequest {
 public:
  KLUpdateMicrophoneStateRequest() : KLCameraRequest(CAMERA_MICROPHONE_PUT_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLUpdateMicrophoneStateRequest"; }

  std::optional<std::string> enabled;
};

// {"password": password}
class KLDeleteCameraRequest : public KLCameraRequest {
 public:
  KLDeleteCameraRequest() : KLCameraRequest(CAMERA_DELETE_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLDeleteCameraRequest"; }

  std::optional<std::string> password;
};

// Pan/tilt/zoom step: {"direction": word, "moveType": "CameraPtzDirectionMove"}.
class KLMoveCameraRequest : public KLCameraRequest {
 public:
  KLMoveCameraRequest() : KLCameraRequest(CAMERA_PTZ_POST_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLMoveCameraRequest"; }

  // 0 Up, 1 Down, 2 Left, 3 Right, 4 In, 5 Out. Any other value sends no "direction", so the
  // server refuses the call instead of the camera moving somewhere unasked.
  uint64_t direction = 0;
  static const char* directionWord(uint64_t direction);  // nullptr outside 0 to 5
};

// "<camera path>?resolution=1280x720"; the result is the image, or the error when there is none.
class KLCameraSnapshotRequest : public KLCameraRequest {
 public:
  KLCameraSnapshotRequest() : KLCameraRequest(CAMERA_SNAPSHOT_GET_REQUEST_CLOUD) {}
  std::string requestURL() const override;
  RequestMergeBlock block() const override;
  std::string className() const override { return "KLCameraSnapshotRequest"; }
};

// {"minTimestamp", "maxTimestamp"}
class KLGenerateDailySummaryRequest : public KLCameraRequest {
 public:
  KLGenerateDailySummaryRequest() : KLCameraRequest(DAILY_SUMMARY_POST_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLGenerateDailySummaryRequest"; }

  std::optional<std::string> minTimestamp;
  std::optional<std::string> maxTimestamp;
};

// The absolute videoSummaryURL the summary job reported.
class KLDownloadDailySummaryRequest : public KLCameraRequest {
 public:
  KLDownloadDailySummaryRequest() : KLCameraRequest(DAILY_SUMMARY_JOB_GET_REQUEST_CLOUD) {}
  std::string requestURL() const override { return videoSummaryURL.value_or(std::string()); }
  std::string className() const override { return "KLDownloadDailySummaryRequest"; }

  std::optional<std::string> videoSummaryURL;
};

// {"rotation", "backlight", "manualNightview", "exposure"}
class KLUpdateCameraVideoSettingsRequest : public KLCameraRequest {
 public:
  KLUpdateCameraVideoSettingsRequest() : KLCameraRequest(CAMERA_VIDEO_SETTINGS_PATCH_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLUpdateCameraVideoSettingsRequest"; }

  std::optional<std::string> rotation;
  std::optional<std::string> backlight;
  std::optional<std::string> manualNightview;
  std::optional<std::string> exposure;
};

// {"rec": {"video": {"resolution", "framerate", "maxBitRate"}}}
class KLUpdateCameraFootageSettingsRequest : public KLCameraRequest {
 public:
  KLUpdateCameraFootageSettingsRequest() : KLCameraRequest(CAMERA_FOOTAGE_SETTINGS_PATCH_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLUpdateCameraFootageSettingsRequest"; }

  std::optional<std::string> resolution;
  std::optional<std::string> framerate;
  std::optional<std::string> maxBitRate;
};

// Every camera of the user, merged into the cached camera list (list merge).
class KLCamerasRequest : public KLRequest {
 public:
  KLCamerasRequest() : KLRequest(CAMERAS_GET_REQUEST_CLOUD) {}
  RequestMergeBlock block() const override;
  std::string className() const override { return "KLCamerasRequest"; }
};

}  // namespace dk

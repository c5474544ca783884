// The detections family: reading and switching one camera's detectors (analytics, PIR, video
// motion, sound, doorbell). Each member sends the cleaned {"enabled": enabled}: a nil or empty
// value sends no parameter.
//
// Same ownership and thread-safety contract as KLRequest.
#pragma once

#include <optional>
#include <string>

#include "network/kl_camera_requests.h"

namespace dk {

class KLDetectionsRequest : public KLCameraRequest {
 public:
  KLDetectionsRequest() = default;
  platform::Value parameters() const override;
  std::string className() const override { return "KLDetectionsRequest"; }

  std::optional<std::string> enabled;

 protected:
  explicit KLDetectionsRequest(int32_t name) : KLCameraRequest(name) {}
};

DK_NAMED_REQUEST(KLGetSmartDetectionsRequest, KLDetectionsRequest, SMART_DETECTIONS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLGetDetectionsCapabilitiesRequest, KLDetectionsRequest, DETECTIONS_CAPABILITIES_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLGetPirDetectionsRequest, KLDetectionsRequest, PIR_DETECTIONS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLUpdatePirDetectionsRequest, KLDetectionsRequest, PIR_DETECTIONS_PUT_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLGetVideoMotionDetectionsRequest, KLDetectionsRequest, VIDEO_MOTION_DETECTIONS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLUpdateVideoMotionDetectionsRequest, KLDetectionsRequest,
                 VIDEO_MOTION_DETECTIONS_PUT_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLGetSoundDetectionsRequest, KLDetectionsRequest, SOUND_DETECTIONS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLUpdateSoundDetectionsRequest, KLDetectionsRequest, SOUND_DETECTIONS_PUT_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLGetDoorbellDetectionsRequest, KLDetectionsRequest, DOORBELL_DETECTIONS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLUpdateDoorbellDetectionsRequest, KLDetectionsRequest, DOORBELL_DETECTIONS_PUT_REQUEST_CLOUD);

// The cleaned {"personDetectionOnly": ..., "enabled": ...}.
class KLUpdateSmartDetectionsRequest : public KLDetectionsRequest {
 public:
  KLUpdateSmartDetectionsRequest() : KLDetectionsRequest(SMART_DETECTIONS_PUT_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLUpdateSmartDetectionsRequest"; }

  std::optional<std::string> personDetectionOnly;
};

}  // namespace dk

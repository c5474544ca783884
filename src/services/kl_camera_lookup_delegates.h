// The camera look-ups the camera service (KLDeviceKeeper) serves to the event and recording
// managers. The managers hold them weakly. Both operations are optional
// (see platform::Protocol: "getCameras", "cameraWithID:").
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "model/kl_camera_list_response.h"
#include "model/kl_camera_response.h"
#include "platform/foundation/object.h"

namespace dk {

// KLEventManagerDelegate: gives the account's camera list.
class KLEventManagerDelegate : public virtual platform::Protocol {
 public:
  virtual std::shared_ptr<KLCameraListResponse> getCameras() { return nullptr; }
};

// KLRecordingManagerDelegate: one camera by identifier.
class KLRecordingManagerDelegate : public virtual platform::Protocol {
 public:
  virtual KLCameraPtr cameraWithID(std::optional<int64_t> cameraID) { return nullptr; }
};

}  // namespace dk

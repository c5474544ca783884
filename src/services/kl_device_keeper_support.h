// Small helpers of the camera service's implementation: identifiers as path text, one callback
// serving as the other, and the reads whose replies are mapped to the model they merge into.
// Internal to src/services.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/kl_camera_response.h"
#include "model/kl_detections_response.h"
#include "model/kl_zone_response.h"
#include "network/kl_zone_requests.h"
#include "services/kl_services_manager.h"

namespace dk::keeper_support {

inline std::optional<std::string> idText(std::optional<int64_t> id) {
  if (!id) return std::nullopt;
  return std::to_string(*id);
}
inline std::optional<std::string> idText(const KLCameraPtr& camera) {
  return camera ? idText(camera->cameraID()) : std::nullopt;
}

// An error callback that hands the error on to a success callback (the chains whose next step
// runs on either outcome, and whose end receives "the list or the stored error").
inline KLServicesManager::ErrorBlock asError(KLServicesManager::SuccessBlock success) {
  return [success = std::move(success)](const platform::ErrorPtr& error) {
    if (success) success(resultFromError(error));
  };
}

// A detector-switch read whose reply, wrapped under the switch's key ("pirDetection" ...), maps
// to the detections record it is merged into, so the switch value is taken over.
template <typename Base>
class DetectionSwitchRead final : public Base {
 public:
  const platform::ClassInfo* modelClass() const override { return &KLCameraDetectionsResponse::staticClassInfo(); }
};

// The zones read, mapped to a zone list so that it merges into the cached one.
class ZoneListRead final : public KLZonesRequest {
 public:
  const platform::ClassInfo* modelClass() const override { return &KLZoneListResponse::staticClassInfo(); }
};

}  // namespace dk::keeper_support

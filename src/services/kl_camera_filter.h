// KLCameraFilter: one entry of the camera picker, a camera's identifier and name.
//
// Immutable after construction; safe to read from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/object.h"

namespace dk {

class KLCameraFilter : public platform::Object {
 public:
  KLCameraFilter(std::optional<int64_t> cameraID, std::optional<std::string> cameraName)
      : cameraID(cameraID), cameraName(std::move(cameraName)) {}
  std::string className() const override { return "KLCameraFilter"; }

  const std::optional<int64_t> cameraID;
  const std::optional<std::string> cameraName;
};

}  // namespace dk

#include "network/kl_detections_requests.h"

#include "foundation/kl_device_helper.h"
#include "network/request_keys.h"
#include "network/request_support.h"

namespace dk {

using request_support::valueOrNull;

platform::Value KLDetectionsRequest::parameters() const {
  return platform::Value(removeAllNullValuesFromDictionary({{std::string(kEnabledKey), valueOrNull(enabled)}}));
}

platform::Value KLUpdateSmartDetectionsRequest::parameters() const {
  return platform::Value(removeAllNullValuesFromDictionary(
      {{"personDetectionOnly", valueOrNull(personDetectionOnly)}, {std::string(kEnabledKey), valueOrNull(enabled)}}));
}

}  // namespace dk

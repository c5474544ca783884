#include "network/kl_zone_requests.h"

#include "network/request_keys.h"
#include "network/request_support.h"

namespace dk {

using platform::Value;
using platform::ValueDictionary;
using request_support::setIfPresent;

std::string KLZoneRequest::requestURL() const { return formatRequestPath({request_support::numberString(zoneID)}); }

Value KLUpdateZoneRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, kNameKey, name);
  return Value(std::move(params));
}

Value KLMoveCamerasIntoZoneRequest::parameters() const {
  platform::ValueArray ids;
  ids.reserve(camerasList.size());
  for (const auto& camera : camerasList) {
    if (!camera) continue;
    Value id = camera->valueForKey("cameraID");
    if (!id.isNilOrNull()) ids.push_back(std::move(id));
  }
  return Value(std::move(ids));
}

Value KLAddZoneRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, kNameKey, name);
  return Value(std::move(params));
}

RequestMergeBlock KLZonesRequest::block() const { return request_support::listMergeBlock(); }

}  // namespace dk

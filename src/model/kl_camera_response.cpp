#include "model/kl_camera_response.h"

#include "model/model_support.h"
#include "model/kl_recording_response.h"
#include "model/model_keys.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

namespace {

using model_support::path;

platform::ValueTransform macAddressTransformer() {
  return [](const Value& v) -> Value {
    if (!v.isString() || !model_support::validateMacAddress(v.stringValue())) return Value();
    return v;
  };
}

// An array's first element as a model of `cls`; nil for an empty array or anything else.
platform::ValueTransform firstElementTransformer(const ClassInfo& cls) {
  return [&cls](const Value& v) -> Value {
    if (!v.isArray() || v.count() == 0) return Value();
    return Value(platform::modelFromJSON(cls, v[size_t{0}]));
  };
}

// True when `v` is a model with a value under one of the keys.
bool hasAny(const Value& v, std::initializer_list<std::string_view> keys) {
  auto model = v.objectAs<platform::Model>();
  if (!model) return false;
  for (std::string_view key : keys) {
    if (!model->valueForKey(key).isNil()) return true;
  }
  return false;
}

}  // namespace

// ---- KLCameraUpdateResponse ----

const ClassInfo& KLCameraUpdateResponse::staticClassInfo() {
  using U = KLCameraUpdateResponse;
  static const ClassInfo info(
      "KLCameraUpdateResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<U>(); },
      {property("cameraID", &U::cameraID_, path(kCameraIDKey)),
       property("name", &U::name_, path(kNameKey), {}, model_support::nilTransformer()),
       property("connectionType", &U::connectionType_, path(kCameraConnectionTypeKey)),
       property("audioEnabled", &U::audioEnabled_, path(kAudioEnabledKey)),
       property("state", &U::state_, path(kCameraOnlineKey)),
       property("zoneID", &U::zoneID_, path(kZoneIdKey)),
       property("deviceTypeId", &U::deviceTypeId_, path(kDeviceTypeIdKey)),
       property("recordingOnCloud", &U::recordingOnCloud_, {"recordingOnCloud"}),
       property("recordingOnSd", &U::recordingOnSd_, {"recordingOnSd"})});
  return info;
}

platform::ValueDictionary KLCameraUpdateResponse::JSONObject() const {
  using model_support::valueOrNull;
  platform::ValueDictionary body{
      {"online", valueOrNull(Value(state()))},
      {"audioEnabled", valueOrNull(Value(audioEnabled()))},
      {"cameraId", valueOrNull(Value(cameraID()))},
      {"connectionType", valueOrNull(Value(connectionType()))},
      {"name", valueOrNull(Value(name()))},
      {"zoneId", valueOrNull(Value(zoneID()))},
      {"recordingOnCloud", valueOrNull(Value(recordingOnCloud()))},
      {"recordingOnSd", valueOrNull(Value(recordingOnSd()))},
      {"deviceTypeId", valueOrNull(Value(deviceTypeId()))},
  };
  return model_support::removeAllNullValuesFromDictionary(body);
}

void KLCameraUpdateResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  mergePresentValueForKey(key, model);
}

// ---- KLCameraResponse ----

KLCameraResponse::KLCameraResponse() {
  mobileStatus_ = std::make_shared<KLWiFiResponse>();
  storedWifiStatus_ = std::make_shared<KLWiFiResponse>();
  wifiList_ = std::make_shared<KLWiFiListResponse>();
  subscriptionRights_ = std::make_shared<KLSubscriptionRightsResponse>();
  cameraMode_ = std::make_shared<KLCameraModeResponse>();
  detectionsCapabilities_ = std::make_shared<KLDetectionsCapabilitiesResponse>();
  smartDetections_ = std::make_shared<KLSmartDetectionsResponse>();
  cameraDetections_ = std::make_shared<KLCameraDetectionsResponse>();
}

const ClassInfo& KLCameraResponse::staticClassInfo() {
  using C = KLCameraResponse;
  // A nested object sent with the wrong type ("mobileStatus": []) leaves the empty record a new
  // camera has, not nil; null still clears it.
  auto nested = [](const ClassInfo& cls) -> platform::ValueTransform {
    return [&cls, toModel = platform::dictionaryTransformer(cls)](const Value& v) -> Value {
      if (v.isNilOrNull() || v.isDictionary()) return toModel(v);
      return Value(cls.create());
    };
  };
  static const ClassInfo info(
      "KLCameraResponse", &KLCameraUpdateResponse::staticClassInfo(), [] { return std::make_shared<C>(); },
      {property("currentVersion", &C::currentVersion_, path(kCurrentVersionKey)),
       property("targetVersion", &C::targetVersion_, {"targetVersion"}),
       property("macAddress", &C::macAddress_, {"ethMacAddress"}, macAddressTransformer(), model_support::nilTransformer()),
       property("mobileStatus", &C::mobileStatus_, {"mobileStatus"}, nested(KLWiFiResponse::staticClassInfo()), model_support::nilTransformer()),
       property("wifiStatus", &C::wifiStatus, &C::setWifiStatus),
       property("wifiList", &C::wifiList_, {"wifiList"}, nested(KLWiFiListResponse::staticClassInfo()), model_support::nilTransformer()),
       property("subscriptionRights", &C::subscriptionRights_, {"subscriptionRights"},
                nested(KLSubscriptionRightsResponse::staticClassInfo()), model_support::nilTransformer()),
       property("cameraMode", &C::cameraMode_, {"cameraMode"},
                firstElementTransformer(KLCameraModeResponse::staticClassInfo()), model_support::nilTransformer()),
       property("detectionsCapabilities", &C::detectionsCapabilities_, {"detectionsCapabilities"},
                firstElementTransformer(KLDetectionsCapabilitiesResponse::staticClassInfo()), model_support::nilTransformer()),
       property("smartDetections", &C::smartDetections_, {"smartDetections"},
                firstElementTransformer(KLSmartDetectionsResponse::staticClassInfo()), model_support::nilTransformer()),
       property("cameraDetections", &C::cameraDetections_, {"cameraDetections"},
                nested(KLCameraDetectionsResponse::staticClassInfo()), model_support::nilTransformer()),
       property("videoSettingsCapabilities", &C::videoSettingsCapabilities_, {"videoSettingsCapabilities"},
                firstElementTransformer(KLCameraVideoSettingsCapabilitiesResponse::staticClassInfo()), model_support::nilTransformer()),
       property("footageSettingsCapabilities", &C::footageSettingsCapabilities_, {"footageSettingsCapabilities"},
                firstElementTransformer(KLCameraFootageSettingsCapabilitiesResponse::staticClassInfo()), model_support::nilTransformer()),
       property("cameraCapabilities", &C::cameraCapabilities_, {"cameraCapabilities"},
                firstElementTransformer(KLCameraCapabilitiesResponse::staticClassInfo()), model_support::nilTransformer()),
       property("cameraPtzCapabilities", &C::cameraPtzCapabilities_, {"cameraPtzCapabilities"},
                firstElementTransformer(KLCameraPtzCapabilitiesResponse::staticClassInfo()), model_support::nilTransformer())});
  return info;
}

KLCameraState KLCameraResponse::cameraState() const {
  const auto online = state();
  if (!online) return KLCameraStateUnknown;
  return *online ? KLCameraStateOnline : KLCameraStateOffline;
}

void KLCameraResponse::setCameraState(KLCameraState state) {
  KLWiFiListPtr list;
  {
    std::lock_guard<std::recursive_mutex> lock(propertyMutex());
    storedCameraState_ = state;
    list = wifiList_;
  }
  if (state == KLCameraStateOffline && list) list->flushWiFiList();
}

KLWiFiPtr KLCameraResponse::wifiStatus() const {
  const KLWiFiListPtr list = wifiList();
  if (!list) return nullptr;
  const WiFis status = list->status();
  if (status.empty() || !status.front()) return nullptr;
  const KLWiFiPtr connected = status.front();
  const auto id = connected->wifiID();
  if (id) {
    for (const auto& saved : list->saved()) {
      if (saved && saved->wifiID() == id) {
        connected->mergeValuesForKeysFromModel(saved);
        break;
      }
    }
  }
  return connected;
}

void KLCameraResponse::setWifiStatus(KLWiFiPtr status) { guardedSet(storedWifiStatus_, std::move(status)); }

void KLCameraResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  const Value v = model->valueForKey(key);
  if (v.isNil()) return;
  bool take = true;
  if (v.isArray() || v.isDictionary()) {
    take = v.count() > 0;
  } else if (auto wifis = v.objectAs<KLWiFiListResponse>()) {
    take = !wifis->networks().empty();
  } else if (auto recordings = v.objectAs<KLRecordingListResponse>()) {
    take = recordings->values().count() > 0;
  } else if (key == "mobileStatus" || key == "wifiStatus") {
    auto status = v.objectAs<KLWiFiResponse>();
    take = status && status->state().has_value();
  } else if (key == "subscriptionRights") {
    take = hasAny(v, {"daysOfRecordings"});
  } else if (key == "smartDetections") {
    take = hasAny(v, {"personDetectionOnly"});
  } else if (key == "cameraDetections") {
    take = hasAny(v, {"videoMotionDetection", "pirDetection", "soundDetection"});
  } else if (key == "detectionsCapabilities") {
    take = hasAny(v, {"analyticsObjectArea", "analyticsObjectTripWire", "analyticsPersonArea", "analyticsPersonTripWire"});
  } else if (key == "cameraMode") {
    auto mode = v.objectAs<KLCameraModeResponse>();
    take = mode && mode->modeName().has_value();
  }
  if (take) setValueForKey(key, v);
}

}  // namespace dk

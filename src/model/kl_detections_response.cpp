#include "model/kl_detections_response.h"

#include "model/model_support.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

namespace {

// A switch arrives as an array whose first element carries "enabled".
platform::ValueTransform firstElementEnabledTransformer() {
  return [](const Value& v) -> Value {
    if (!v.isArray() || v.count() == 0) return Value();
    auto first = platform::modelFromJSON<KLDetectionsResponse>(v[size_t{0}]);
    return first ? Value(first->enabled()) : Value();
  };
}

bool isOn(const std::optional<int64_t>& flag) { return flag && *flag > 0; }

std::string localizedOrEmpty(std::string_view key) { return model_support::localizedString(key, std::string_view()); }

}  // namespace

const ClassInfo& KLDetectionsResponse::staticClassInfo() {
  static const ClassInfo info("KLDetectionsResponse", &KLResponse::staticClassInfo(),
                              [] { return std::make_shared<KLDetectionsResponse>(); },
                              {property("enabled", &KLDetectionsResponse::enabled_, {"enabled"})});
  return info;
}

const ClassInfo& KLSmartDetectionsResponse::staticClassInfo() {
  using S = KLSmartDetectionsResponse;
  static const ClassInfo info("KLSmartDetectionsResponse", &KLDetectionsResponse::staticClassInfo(),
                              [] { return std::make_shared<S>(); },
                              {property("personDetectionOnly", &S::personDetectionOnly_, {"personDetectionOnly"})});
  return info;
}

const ClassInfo& KLCameraDetectionsResponse::staticClassInfo() {
  using C = KLCameraDetectionsResponse;
  static const ClassInfo info(
      "KLCameraDetectionsResponse", &KLDetectionsResponse::staticClassInfo(), [] { return std::make_shared<C>(); },
      {property("enabled", &C::enabled_),  // not read from this reply
       property("videoMotionDetection", &C::videoMotionDetection_, {"videoMotionDetection"},
                firstElementEnabledTransformer()),
       property("pirDetection", &C::pirDetection_, {"pirDetection"}, firstElementEnabledTransformer()),
       property("soundDetection", &C::soundDetection_, {"soundDetection"}, firstElementEnabledTransformer()),
       property("doorbellDetection", &C::doorbellDetection_, {"doorbellDetection"}, firstElementEnabledTransformer()),
       property("activeCameraDetections", &C::activeCameraDetections, &C::setActiveCameraDetections),
       property("triggeredDetections", &C::triggeredDetections, &C::setTriggeredDetections)});
  return info;
}

uint64_t KLCameraDetectionsResponse::triggeredDetections() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (isOn(videoMotionDetection_)) triggeredDetections_ |= KLTriggeredDetectionVideoMotion;
  if (isOn(pirDetection_)) triggeredDetections_ |= KLTriggeredDetectionPir;
  if (isOn(soundDetection_)) triggeredDetections_ |= KLTriggeredDetectionSound;
  if (isOn(doorbellDetection_)) triggeredDetections_ |= KLTriggeredDetectionDoorbell;
  return triggeredDetections_;
}
void KLCameraDetectionsResponse::setTriggeredDetections(uint64_t detections) {
  guardedSet(triggeredDetections_, detections);
}

std::string KLCameraDetectionsResponse::activeCameraDetections() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  std::string text;
  auto add = [&text](std::string_view key) {
    if (!text.empty()) text += ", ";
    text += model_support::localizedString(key);
  };
  if (isOn(videoMotionDetection_)) add("VideoMotion");
  if (isOn(pirDetection_)) add("Infrared");
  if (isOn(soundDetection_)) add("Sound");
  activeCameraDetections_ = text;
  return text;
}
void KLCameraDetectionsResponse::setActiveCameraDetections(std::string text) {
  guardedSet(activeCameraDetections_, std::move(text));
}

void KLCameraDetectionsResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  mergePresentValueForKey(key, model);
}

const ClassInfo& KLDetectionsCapabilitiesResponse::staticClassInfo() {
  using D = KLDetectionsCapabilitiesResponse;
  static const ClassInfo info(
      "KLDetectionsCapabilitiesResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<D>(); },
      {property("sound", &D::sound_, {"audio"}),
       property("videoMotion", &D::videoMotion_, {"videoMotion"}),
       property("pir", &D::pir_, {"pir"}),
       property("doorbell", &D::doorbell_, {"doorbell"}),
       property("analyticsObjectArea", &D::analyticsObjectArea_, {"analyticsObjectArea"}),
       property("analyticsObjectTripWire", &D::analyticsObjectTripWire_, {"analyticsObjectTripWire"}),
       property("analyticsPersonArea", &D::analyticsPersonArea_, {"analyticsPersonArea"}),
       property("analyticsPersonTripWire", &D::analyticsPersonTripWire_, {"analyticsPersonTripWire"}),
       property("supportedTypes", &D::supportedTypes, &D::setSupportedTypes),
       property("supportedTriggeredTypes", &D::supportedTriggeredTypes, &D::setSupportedTriggeredTypes)});
  return info;
}

std::vector<std::string> KLDetectionsCapabilitiesResponse::supportedTypes() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  std::vector<std::string> types;
  auto on = [](const std::optional<bool>& flag) { return flag.value_or(false); };
  if (on(analyticsPersonArea_) || on(analyticsPersonTripWire_)) types.push_back(localizedOrEmpty("Person"));
  if (on(analyticsObjectArea_) || on(analyticsObjectTripWire_)) types.push_back(localizedOrEmpty("Object"));
  if (on(sound_)) types.push_back(localizedOrEmpty("Sound"));
  if (on(doorbell_)) types.push_back(localizedOrEmpty("VideoDoorbell"));
  if (on(videoMotion_)) types.push_back(localizedOrEmpty("VideoMotion"));
  if (on(pir_)) types.push_back(localizedOrEmpty("Infrared"));
  supportedTypes_ = types;
  return types;
}
void KLDetectionsCapabilitiesResponse::setSupportedTypes(std::vector<std::string> types) {
  guardedSet(supportedTypes_, std::move(types));
}

std::vector<std::string> KLDetectionsCapabilitiesResponse::supportedTriggeredTypes() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  std::vector<std::string> types;
  auto on = [](const std::optional<bool>& flag) { return flag.value_or(false); };
  if (on(videoMotion_)) types.push_back(localizedOrEmpty("VideoMotionDetectionSettings"));
  if (on(pir_)) types.push_back(localizedOrEmpty("InfraredDetectionSettings"));
  if (on(sound_)) types.push_back(localizedOrEmpty("SoundDetectionSettings"));
  if (on(doorbell_)) types.push_back(localizedOrEmpty("VideoDoorbellRing"));
  supportedTriggeredTypes_ = types;
  return types;
}
void KLDetectionsCapabilitiesResponse::setSupportedTriggeredTypes(std::vector<std::string> types) {
  guardedSet(supportedTriggeredTypes_, std::move(types));
}

bool KLDetectionsCapabilitiesResponse::hasSmartDetectionsCapability() const {
  return analyticsObjectArea().value_or(false) || analyticsObjectTripWire().value_or(false) ||
         analyticsPersonArea().value_or(false) || analyticsPersonTripWire().value_or(false);
}

}  // namespace dk

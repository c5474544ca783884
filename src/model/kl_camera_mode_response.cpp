#include "model/kl_camera_mode_response.h"

#include <algorithm>
#include <cctype>

#include "model/model_support.h"
#include "model/model_keys.h"
#include "platform/foundation/string_case.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

std::optional<std::string> lookUp(const ValueMap& map, std::string_view key) {
  auto it = map.find(key);
  if (it == map.end()) return std::nullopt;
  return it->second;
}

namespace {

std::string loc(std::string_view key) { return model_support::localizedString(key); }

ValueMap reversed(const ValueMap& map) {
  ValueMap out;
  for (const auto& [value, text] : map) out.emplace(text, value);
  return out;
}

// The display name of a JSON mode value (looked up lower-cased); nil for anything else.
platform::ValueTransform modeNameTransformer() {
  return [](const Value& v) -> Value {
    if (!v.isString()) return Value();
    return Value(lookUp(KLCameraModeResponse::modeMap(), platform::asciiLowercase(v.stringValue())));
  };
}

platform::ValueTransform recordingModeNameTransformer() {
  return [](const Value& v) -> Value {
    if (!v.isString()) return Value();
    return Value(lookUp(KLCameraModeResponse::recordingModeDescriptionMap(), v.stringValue()));
  };
}

}  // namespace

KLCameraModeResponse::KLCameraModeResponse(std::string mode) { mode_ = std::move(mode); }

const ClassInfo& KLCameraModeResponse::staticClassInfo() {
  using M = KLCameraModeResponse;
  static const ClassInfo info(
      "KLCameraModeResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<M>(); },
      {property("cameraID", &M::cameraID_, {std::string(kCameraIDKey)}),
       property("mode", &M::mode_, {std::string(kModeKey)}),
       property("modeName", &M::modeName, &M::setModeName, {std::string(kModeKey)}, modeNameTransformer()),
       property("previousMode", &M::previousMode_, {std::string(kPreviousModeKey)}),
       property("previousModeName", &M::previousModeName, &M::setPreviousModeName, {std::string(kPreviousModeKey)},
                modeNameTransformer()),
       property("recordingMode", &M::recordingMode_, {std::string(kRecordingModeKey)}),
       property("recordingModeName", &M::recordingModeName_, {std::string(kRecordingModeKey)},
                recordingModeNameTransformer()),
       property("modeDescription", &M::modeDescription, &M::setModeDescription),
       property("modeType", &M::modeType, &M::setModeType)});
  return info;
}

std::optional<std::string> KLCameraModeResponse::modeName() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (mode_) modeName_ = lookUp(modeMap(), *mode_);
  return modeName_;
}
void KLCameraModeResponse::setModeName(std::optional<std::string> name) { guardedSet(modeName_, std::move(name)); }

std::optional<std::string> KLCameraModeResponse::previousModeName() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (previousMode_) previousModeName_ = lookUp(modeMap(), *previousMode_);
  return previousModeName_;
}
void KLCameraModeResponse::setPreviousModeName(std::optional<std::string> name) {
  guardedSet(previousModeName_, std::move(name));
}

int32_t KLCameraModeResponse::modeType() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (mode_) {
    auto it = modeTypeMap().find(*mode_);
    if (it != modeTypeMap().end()) modeType_ = it->second;
  }
  return modeType_;
}
void KLCameraModeResponse::setModeType(int32_t type) { guardedSet(modeType_, type); }

std::optional<std::string> KLCameraModeResponse::modeDescription() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (mode_) {
    const std::optional<std::string>& described = modeType() == 5 ? previousMode_ : mode_;
    modeDescription_ = described ? lookUp(modeDescriptionMap(), *described) : std::nullopt;
  }
  return modeDescription_;
}
void KLCameraModeResponse::setModeDescription(std::optional<std::string> description) {
  guardedSet(modeDescription_, std::move(description));
}

const ValueMap& KLCameraModeResponse::modeMap() {
  static const ValueMap map = {{"armed", loc("Armed")},
                                 {"disarmed", loc("Disarmed")},
                                 {"silent", loc("Silent")},
                                 {"custom", loc("Scheduled")},
                                 {"private", loc("Private")}};
  return map;
}

const ValueMap& KLCameraModeResponse::modeDescriptionMap() {
  static const ValueMap map = {{"armed", loc("LiveViewRecordDetectAndNotify")},
                                 {"disarmed", loc("LiveView")},
                                 {"silent", loc("LiveViewRecordAndDetect")},
                                 {"custom", loc("FixedSchedule")}};
  return map;
}

const std::map<std::string, int32_t, std::less<>>& KLCameraModeResponse::modeTypeMap() {
  static const std::map<std::string, int32_t, std::less<>> map = {
      {"armed", 1}, {"disarmed", 2}, {"silent", 3}, {"custom", 4}, {"private", 5}};
  return map;
}

const ValueMap& KLCameraModeResponse::recordingModeDescriptionMap() {
  static const ValueMap map = {{"continuous", loc("Continuous")}, {"eventBased", loc("DetectionBased")}};
  return map;
}

const ValueMap& KLCameraModeResponse::recordingModeValueMap() {
  static const ValueMap map = reversed(recordingModeDescriptionMap());
  return map;
}

// ---- KLCameraModeList ----

const ClassInfo& KLCameraModeList::staticClassInfo() {
  static const ClassInfo info("KLCameraModeList", &KLListResponse::staticClassInfo(),
                              [] { return std::make_shared<KLCameraModeList>(); }, {});
  return info;
}

std::vector<KLCameraModePtr> KLCameraModeList::modes() const {
  std::vector<KLCameraModePtr> out;
  for (const char* mode : {"armed", "disarmed", "silent", "custom"}) out.push_back(std::make_shared<KLCameraModeResponse>(mode));
  return out;
}

Value KLCameraModeList::values() const { return valueArray(modes()); }

std::vector<KLCameraModePtr> KLCameraModeList::modesWithoutMode(int32_t modeType) const {
  auto all = modes();
  auto it = std::find_if(all.begin(), all.end(), [modeType](const KLCameraModePtr& m) { return m->modeType() == modeType; });
  if (it != all.end()) all.erase(it);
  return all;
}

// ---- KLCameraVideoSettingsCapabilitiesMap ----

const ValueMap& KLCameraVideoSettingsCapabilitiesMap::exposureCapabiltiesMap() {
  static const ValueMap map = {
      {"outdoor", loc("Outdoor")}, {"50hz", "50 Hz"}, {"60hz", "60 Hz"}, {"auto", loc("ModeAuto")}};
  return map;
}
const ValueMap& KLCameraVideoSettingsCapabilitiesMap::exposureCapabiltiesValuesMap() {
  static const ValueMap map = reversed(exposureCapabiltiesMap());
  return map;
}
const ValueMap& KLCameraVideoSettingsCapabilitiesMap::backlightCapabiltiesMap() {
  static const ValueMap map = {{"off", loc("OffNoCompensation")},
                                 {"blc", loc("BlcCompensation")},
                                 {"hlc", loc("HlcCompensation")},
                                 {"wdr", loc("WdrCompensation")}};
  return map;
}
const ValueMap& KLCameraVideoSettingsCapabilitiesMap::backlightCapabiltiesValuesMap() {
  static const ValueMap map = reversed(backlightCapabiltiesMap());
  return map;
}
const ValueMap& KLCameraVideoSettingsCapabilitiesMap::manualNightviewCapabiltiesMap() {
  static const ValueMap map = {{"Auto", loc("ModeAuto")}, {"Day", loc("ModeDay")}, {"Night", loc("ModeNight")}};
  return map;
}
const ValueMap& KLCameraVideoSettingsCapabilitiesMap::manualNightviewCapabiltiesValuesMap() {
  static const ValueMap map = reversed(manualNightviewCapabiltiesMap());
  return map;
}

}  // namespace dk

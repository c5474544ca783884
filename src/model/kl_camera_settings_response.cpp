#include "model/kl_camera_settings_response.h"

#include <algorithm>

#include "model/model_support.h"
#include "model/kl_camera_mode_response.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;
using Maps = KLCameraVideoSettingsCapabilitiesMap;
using model_support::scalarText;

namespace {

platform::ValueTransform textTransformer() {
  return [](const Value& v) { return Value(scalarText(v)); };
}

platform::ValueTransform displayTextTransformer(const ValueMap& (*map)()) {
  return [map](const Value& v) -> Value {
    auto text = scalarText(v);
    return text ? Value(lookUp(map(), *text)) : Value();
  };
}

platform::ValueTransform textListTransformer() {
  return [](const Value& v) -> Value {
    if (!v.isArray()) return Value();
    platform::ValueArray out;
    for (const Value& e : v.arrayValue()) {
      if (auto text = scalarText(e)) out.emplace_back(*text);
    }
    return Value(std::move(out));
  };
}

// Options through a display map; an option the map does not know is left out.
platform::ValueTransform displayListTransformer(const ValueMap& (*map)()) {
  return [map](const Value& v) -> Value {
    if (!v.isArray()) return Value();
    platform::ValueArray out;
    for (const Value& e : v.arrayValue()) {
      auto text = scalarText(e);
      if (!text) continue;
      if (auto display = lookUp(map(), *text)) out.emplace_back(*display);
    }
    return Value(std::move(out));
  };
}

platform::ValueTransform bitRateTransformer() {
  return [](const Value& v) { return Value(v.isNumber() ? v.description() + " kb/s" : std::string("0 kb/s")); };
}

platform::ValueTransform ipAddressTransformer() {
  return [](const Value& v) -> Value {
    if (!v.isString() || !model_support::validateIPAddress(v.stringValue())) return Value();
    return v;
  };
}

platform::ValueTransform recordingResolutionsTransformer() {
  return [](const Value& rec) -> Value {
    platform::ValueArray out;
    for (const auto& [key, value] : rec.dictionaryValue()) {
      if (!value.isDictionary()) continue;
      auto resolution = platform::modelFromJSON<KLResolution>(value);
      if (!resolution) continue;
      resolution->setResolution(key);
      out.emplace_back(resolution);
    }
    return Value(std::move(out));
  };
}

platform::ValueTransform resolutionsTransformer() {
  return [](const Value& rec) -> Value {
    std::vector<std::string> keys;
    for (const auto& entry : rec.dictionaryValue()) keys.push_back(entry.first);
    std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) { return numericLess(a, b); });
    platform::ValueArray out(keys.begin(), keys.end());
    return Value(std::move(out));
  };
}

}  // namespace

bool numericLess(std::string_view a, std::string_view b) {
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      size_t ei = i, ej = j;
      while (ei < a.size() && isDigit(a[ei])) ++ei;
      while (ej < b.size() && isDigit(b[ej])) ++ej;
      std::string_view da = a.substr(i, ei - i), db = b.substr(j, ej - j);
      while (da.size() > 1 && da.front() == '0') da.remove_prefix(1);
      while (db.size() > 1 && db.front() == '0') db.remove_prefix(1);
      if (da.size() != db.size()) return da.size() < db.size();
      if (da != db) return da < db;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
  return a < b;  // equal as numbers ("07" and "7"): a total order all the same
}

const ClassInfo& KLCameraVideoSettingsResponse::staticClassInfo() {
  using V = KLCameraVideoSettingsResponse;
  static const ClassInfo info(
      "KLCameraVideoSettingsResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<V>(); },
      {property("rotation", &V::rotation_, {"rotation"}, textTransformer()),
       property("antiFlickering", &V::antiFlickering_, {"exposure"}, displayTextTransformer(&Maps::exposureCapabiltiesMap)),
       property("backlightCompensation", &V::backlightCompensation_, {"backlight"},
                displayTextTransformer(&Maps::backlightCapabiltiesMap)),
       property("dayNightMode", &V::dayNightMode_, {"manualNightview"},
                displayTextTransformer(&Maps::manualNightviewCapabiltiesMap))});
  return info;
}

KLCameraVideoSettingsCapabilitiesResponse::KLCameraVideoSettingsCapabilitiesResponse() {
  rotationCapabilities_ = antiFlickeringCapabilities_ = backlightCompensationCapabilities_ = dayNightModeCapabilities_ =
      Strings{};
}

const ClassInfo& KLCameraVideoSettingsCapabilitiesResponse::staticClassInfo() {
  using C = KLCameraVideoSettingsCapabilitiesResponse;
  static const ClassInfo info(
      "KLCameraVideoSettingsCapabilitiesResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<C>(); },
      {property("rotationCapabilities", &C::rotationCapabilities_, {"rotationOptions"}, textListTransformer()),
       property("antiFlickeringCapabilities", &C::antiFlickeringCapabilities_, {"exposureOptions"},
                displayListTransformer(&Maps::exposureCapabiltiesMap)),
       property("backlightCompensationCapabilities", &C::backlightCompensationCapabilities_, {"backlightOptions"},
                displayListTransformer(&Maps::backlightCapabiltiesMap)),
       property("dayNightModeCapabilities", &C::dayNightModeCapabilities_, {"manualNightviewOptions"},
                displayListTransformer(&Maps::manualNightviewCapabiltiesMap)),
       property("rotationAvailable", &C::rotationAvailable_, {"rotation"}),
       property("antiFlickeringAvailable", &C::antiFlickeringAvailable_, {"exposure"}),
       property("backlightCompensationAvailable", &C::backlightCompensationAvailable_, {"backlight"}),
       property("dayNightModeAvailable", &C::dayNightModeAvailable_, {"manualNightview"})});
  return info;
}

KLCameraFootageSettingsResponse::KLCameraFootageSettingsResponse() { bitRate_ = "0 kb/s"; }

const ClassInfo& KLCameraFootageSettingsResponse::staticClassInfo() {
  using F = KLCameraFootageSettingsResponse;
  static const ClassInfo info(
      "KLCameraFootageSettingsResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<F>(); },
      {property("resolution", &F::resolution_, {"rec.video.resolution"}, textTransformer()),
       property("frameRate", &F::frameRate_, {"rec.video.framerate"}),
       property("maxBitRate", &F::maxBitRate_, {"rec.video.maxBitRate"}),
       property("bitRate", &F::bitRate_, {"rec.video.maxBitRate"}, bitRateTransformer())});
  return info;
}

const ClassInfo& KLResolution::staticClassInfo() {
  static const ClassInfo info("KLResolution", &KLResponse::staticClassInfo(), [] { return std::make_shared<KLResolution>(); },
                              {property("resolution", &KLResolution::resolution_),
                               property("frameRates", &KLResolution::frameRates_, {"framerates"})});
  return info;
}

KLCameraFootageSettingsCapabilitiesResponse::KLCameraFootageSettingsCapabilitiesResponse() = default;

const ClassInfo& KLCameraFootageSettingsCapabilitiesResponse::staticClassInfo() {
  using C = KLCameraFootageSettingsCapabilitiesResponse;
  static const ClassInfo info(
      "KLCameraFootageSettingsCapabilitiesResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<C>(); },
      {property("recordingResolutions", &C::recordingResolutions_, {"rec"}, recordingResolutionsTransformer()),
       property("resolutions", &C::resolutions_, {"rec"}, resolutionsTransformer()),
       property("recordings", &C::recordings, &C::setRecordings)});
  return info;
}

Strings KLCameraFootageSettingsCapabilitiesResponse::recordings() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (!recordings_) recordings_ = Strings{model_support::localizedString("Continuous"), model_support::localizedString("DetectionBased")};
  return *recordings_;
}
void KLCameraFootageSettingsCapabilitiesResponse::setRecordings(Strings recordings) {
  guardedSet(recordings_, std::optional<Strings>(std::move(recordings)));
}

std::optional<Strings> KLCameraFootageSettingsCapabilitiesResponse::frameRatesForResolution(
    const std::optional<std::string>& resolution) const {
  if (!resolution) return std::nullopt;
  std::shared_ptr<KLResolution> match;
  for (const auto& entry : recordingResolutions()) {
    if (entry && entry->resolution() == resolution) match = entry;
  }
  if (!match) return std::nullopt;
  Strings out;
  for (const Value& rate : match->frameRates().arrayValue()) {
    if (auto text = scalarText(rate)) out.push_back(*text);
  }
  return out;
}

const ClassInfo& KLCameraDeviceInfoResponse::staticClassInfo() {
  using D = KLCameraDeviceInfoResponse;
  static const ClassInfo info("KLCameraDeviceInfoResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<D>(); },
                              {property("brand", &D::brand_, {"brand"}), property("model", &D::model_, {"model"})});
  return info;
}

const ClassInfo& KLCameraAdvancedInfoResponse::staticClassInfo() {
  using A = KLCameraAdvancedInfoResponse;
  static const ClassInfo info(
      "KLCameraAdvancedInfoResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<A>(); },
      {property("localIP", &A::localIP_, {"localHost"}, ipAddressTransformer()),
       property("globalIP", &A::globalIP_, {"globalHost"}, ipAddressTransformer()),
       property("username", &A::username_, {"username"}),
       property("password", &A::password_, {"password"}),
       property("cloudManagedCredentials", &A::cloudManagedCredentials_, {"cloudManagedCredentials"}),
       property("deviceInfo", &A::deviceInfo_)});
  return info;
}

void KLCameraAdvancedInfoResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  mergePresentValueForKey(key, model);
}

const ClassInfo& KLCameraCapabilitiesResponse::staticClassInfo() {
  using C = KLCameraCapabilitiesResponse;
  static const ClassInfo info("KLCameraCapabilitiesResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<C>(); },
                              {property("ptz", &C::ptz_, {"ptz"}), property("wifi", &C::wifi_, {"wifi"}),
                               property("playAudio", &C::playAudio_, {"playAudio"}),
                               property("recordAudio", &C::recordAudio_, {"recordAudio"})});
  return info;
}

const ClassInfo& KLCameraPtzCapabilitiesResponse::staticClassInfo() {
  using P = KLCameraPtzCapabilitiesResponse;
  static const ClassInfo info("KLCameraPtzCapabilitiesResponse", &KLResponse::staticClassInfo(),
                              [] { return std::make_shared<P>(); },
                              {property("zoom", &P::zoom_, {"zoom"}), property("panTilt", &P::panTilt_, {"panTilt"})});
  return info;
}

}  // namespace dk

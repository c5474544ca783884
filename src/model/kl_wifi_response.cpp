#include "model/kl_wifi_response.h"

#include <algorithm>
#include <unordered_set>

#include "model/model_support.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

namespace {

// The variation of the first key, in order, that has a usable value.
std::optional<std::string> firstVariation(const Value& variations, std::initializer_list<std::string_view> keys) {
  for (std::string_view key : keys) {
    if (auto text = model_support::scalarText(variations[key])) return text;
  }
  return std::nullopt;
}

platform::ValueTransform encryptionTransformer() {
  return [](const Value& v) -> Value { return v.isNil() ? Value() : Value(v.description()); };
}

platform::ValueTransform statusTransformer() {
  return [](const Value& v) -> Value {
    if (!v.isArray()) return Value();
    return platform::arrayTransformer(KLWiFiResponse::staticClassInfo())(v);
  };
}

platform::ValueTransform dedupingTransformer() {
  return [](const Value& v) { return KLWiFiListResponse::transformerForWifis(v); };
}

}  // namespace

const ClassInfo& KLWiFiResponse::staticClassInfo() {
  using W = KLWiFiResponse;
  static const ClassInfo info(
      "KLWiFiResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<W>(); },
      {property("wifiIDVariations", &W::wifiIDVariations_, {"ssid", "essid"}),
       property("password", &W::password_, {"password"}),
       property("encrypted", &W::encrypted_, {"encrypted"}),
       property("preferred", &W::preferred_, {"preferred"}),
       property("stateVariations", &W::stateVariations_, {"state", "status"}),
       property("networkIDVariations", &W::networkIDVariations_, {"networkId", "id"}),
       property("strength", &W::strength_, {"strength"}),
       property("encryption", &W::encryption_, {"encryption"}, encryptionTransformer(), model_support::nilTransformer()),
       property("networkType", &W::networkType_, {"networkType"}),
       property("network", &W::network_, {"network"}),
       property("strengthPercentage", &W::strengthPercentage_, {"strengthPercentage"}),
       property("enabled", &W::enabled_, {"enabled"}),
       property("wifiID", &W::wifiID, &W::setWifiID),
       property("state", &W::state, &W::setState),
       property("networkID", &W::networkID, &W::setNetworkID),
       property("errorCode", &W::errorCode_),
       property("errorMessage", &W::errorMessage_),
       property("successError", &W::successError_),
       property("wifiStrength", &W::wifiStrength, &W::setWifiStrength)});
  return info;
}

std::optional<std::string> KLWiFiResponse::wifiID() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  return wifiID_ ? wifiID_ : firstVariation(wifiIDVariations_, {"ssid", "essid"});
}
void KLWiFiResponse::setWifiID(std::optional<std::string> id) { guardedSet(wifiID_, std::move(id)); }

std::optional<std::string> KLWiFiResponse::state() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  return state_ ? state_ : firstVariation(stateVariations_, {"state", "status"});
}
void KLWiFiResponse::setState(std::optional<std::string> state) { guardedSet(state_, std::move(state)); }

std::optional<std::string> KLWiFiResponse::networkID() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  return networkID_ ? networkID_ : firstVariation(networkIDVariations_, {"networkId", "id"});
}
void KLWiFiResponse::setNetworkID(std::optional<std::string> id) { guardedSet(networkID_, std::move(id)); }

int32_t KLWiFiResponse::wifiStrength() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (strength_) {
    if (*strength_ == "low") return 0;
    if (*strength_ == "medium") return 1;
    return 2;
  }
  const int64_t percentage = strengthPercentage_.value_or(0);
  if (percentage < 0) return 2;
  if (percentage <= 50) return 0;
  if (percentage <= 75) return 1;
  return 2;
}
void KLWiFiResponse::setWifiStrength(int32_t strength) { guardedSet(storedStrength_, strength); }

void KLWiFiResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  Value value = model->valueForKey(key);
  if (value.isNil() || ((value.isArray() || value.isDictionary()) && value.count() == 0)) return;
  setValueForKey(key, value);
}

const ClassInfo& KLModemResponse::staticClassInfo() {
  using M = KLModemResponse;
  static const ClassInfo info(
      "KLModemResponse", &KLWiFiResponse::staticClassInfo(), [] { return std::make_shared<M>(); },
      {property("networkIDVariations", &M::networkIDVariations_),  // a modem maps neither of these
       property("enabled", &M::enabled_),
       property("configID", &M::configID_, {"id"}),
       property("imsi", &M::imsi_, {"imsi"})});
  return info;
}

// ---- KLWiFiListResponse ----

const ClassInfo& KLWiFiListResponse::staticClassInfo() {
  using L = KLWiFiListResponse;
  static const ClassInfo info(
      "KLWiFiListResponse", &KLListResponse::staticClassInfo(), [] { return std::make_shared<L>(); },
      {property("values", &L::values, &L::setValues),  // filled by merging only
       property("status", &L::status_, {"wifiStatus"}, statusTransformer(), model_support::nilTransformer()),
       property("visible", &L::visible_, {"wifiVisible"}, dedupingTransformer(), model_support::nilTransformer()),
       property("saved", &L::saved_, {"wifiSaved"}, dedupingTransformer(), model_support::nilTransformer()),
       property("successError", &L::successError_)});
  return info;
}

Value KLWiFiListResponse::transformerForWifis(const Value& json) {
  if (!json.isArray()) return Value();
  platform::ValueArray out;
  std::unordered_set<std::string> seen;
  for (const Value& element : json.arrayValue()) {
    auto wifi = platform::modelFromJSON<KLWiFiResponse>(element);
    if (!wifi) continue;
    auto id = wifi->wifiID();
    if (!id || !seen.insert(*id).second) continue;
    out.emplace_back(wifi);
  }
  return Value(std::move(out));
}

bool KLWiFiListResponse::contains(const WiFis& list, const KLWiFiPtr& wifi) {
  return wifi && contains(list, wifi->wifiID());
}

bool KLWiFiListResponse::contains(const WiFis& list, const std::optional<std::string>& wifiID) {
  if (!wifiID) return false;
  return std::any_of(list.begin(), list.end(), [&](const KLWiFiPtr& w) { return w && w->wifiID() == wifiID; });
}

bool KLWiFiListResponse::isStatusWifi(const KLWiFiPtr& wifi) const { return contains(status(), wifi); }
bool KLWiFiListResponse::isSavedWifi(const KLWiFiPtr& wifi) const { return contains(saved(), wifi); }
bool KLWiFiListResponse::isVisibleWifi(const KLWiFiPtr& wifi) const { return contains(visible(), wifi); }

WiFis KLWiFiListResponse::sortWifisByStrengthAndName(const WiFis& wifis) const {
  if (wifis.empty()) return wifis;
  const WiFis statusList = status(), savedList = saved(), visibleList = visible();
  auto rank = [&](const KLWiFiResponse& wifi) {
    const auto id = wifi.wifiID();
    const int group = contains(statusList, id) ? 0 : contains(savedList, id) ? 1 : contains(visibleList, id) ? 2 : 3;
    const int notPreferred = wifi.preferred().value_or(false) ? 0 : 1;
    const int weakness = 2 - wifi.wifiStrength();
    return (group * 2 + notPreferred) * 3 + weakness;
  };
  return model_support::sortedByRankThenName(wifis, rank,
                                             [](const KLWiFiResponse& wifi) { return wifi.wifiID().value_or(""); });
}

WiFis KLWiFiListResponse::savedAndOrVisible() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (wifiList_) return *wifiList_;
  const WiFis statusList = status_, savedList = saved_, visibleList = visible_;
  WiFis collected;
  for (const auto& wifi : networks()) {
    if ((contains(savedList, wifi) || contains(visibleList, wifi)) && !contains(statusList, wifi)) collected.push_back(wifi);
  }
  wifiList_ = sortWifisByStrengthAndName(collected);
  return *wifiList_;
}

void KLWiFiListResponse::flushWiFiList() {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  status_.clear();
  visible_.clear();
  saved_.clear();
  successError_ = 0;
  wifiList_.reset();  // built from the lists just emptied
}

void KLWiFiListResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  guardedSet(wifiList_, std::nullopt);
  if (key != "status" && key != "visible" && key != "saved") return;
  const WiFis incoming = modelsOfClass<KLWiFiResponse>(model->valueForKey(key));
  setValueForKey(key, valueArray(sortWifisByStrengthAndName(incoming)));

  WiFis merged = networks();
  for (const auto& wifi : incoming) {
    const auto id = wifi->wifiID();
    // A record without an SSID cannot be matched by a later merge: kept out, it cannot pile up.
    if (!id) continue;
    auto known = std::find_if(merged.begin(), merged.end(), [&](const KLWiFiPtr& w) { return w->wifiID() == id; });
    if (known != merged.end()) {
      (*known)->mergeValuesForKeysFromModel(wifi);
    } else {
      merged.push_back(wifi);
    }
  }
  setValues(valueArray(sortWifisByStrengthAndName(merged)));
}

}  // namespace dk

#include "model/kl_zone_response.h"

#include <algorithm>
#include <unordered_set>

#include "model/model_support.h"
#include "platform/foundation/string_search.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

const ClassInfo& KLZoneUpdateResponse::staticClassInfo() {
  using Z = KLZoneUpdateResponse;
  static const ClassInfo info("KLZoneUpdateResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<Z>(); },
                              {property("zoneID", &Z::zoneID_, {"zoneId"}), property("name", &Z::name_, {"name"}),
                               property("status", &Z::status_, {"status"}),
                               property("cameraIds", &Z::cameraIds_, {"cameraIds"})});
  return info;
}

platform::ValueDictionary KLZoneUpdateResponse::JSONObject() const {
  using model_support::valueOrNull;
  return model_support::removeAllNullValuesFromDictionary({{"zoneId", valueOrNull(Value(zoneID()))},
                                                    {"name", valueOrNull(Value(name()))},
                                                    {"status", valueOrNull(Value(status()))},
                                                    {"cameraIds", valueOrNull(valueForKey("cameraIds"))}});
}

const ClassInfo& KLZoneResponse::staticClassInfo() {
  static const ClassInfo info("KLZoneResponse", &KLZoneUpdateResponse::staticClassInfo(),
                              [] { return std::make_shared<KLZoneResponse>(); },
                              {property("cameras", &KLZoneResponse::cameras_)});
  return info;
}

void KLZoneResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  mergePresentValueForKey(key, model);
}

// ---- KLZoneListResponse ----

const ClassInfo& KLZoneListResponse::staticClassInfo() {
  using L = KLZoneListResponse;
  static const ClassInfo info(
      "KLZoneListResponse", &KLListResponse::staticClassInfo(), [] { return std::make_shared<L>(); },
      {property("values", &L::values, &L::setValues, {"zones"}, platform::arrayTransformer(KLZoneResponse::staticClassInfo())),
       property("filterString", &L::filterString, &L::setFilterString),
       property("filteredValues", &L::filteredValues, &L::setFilteredValues)});
  return info;
}

void KLZoneListResponse::setValues(Value values) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  KLListResponse::setValues(values);
  const Zones all = modelsOfClass<KLZoneResponse>(values);
  const std::string filter = filterString_.value_or("");
  Zones shown;
  if (!filter.empty()) {
    for (const auto& zone : all) {
      const KLCameraListPtr cameras = zone->cameras();
      if (!cameras) continue;
      Cameras matching;
      for (const auto& camera : cameras->cameras()) {
        const auto name = camera->name();
        if (name && platform::containsString(*name, filter)) matching.push_back(camera);
      }
      if (matching.empty()) continue;
      cameras->setFilteredValues(std::move(matching));
      shown.push_back(zone);
    }
  } else {
    for (const auto& zone : all) {
      if (const KLCameraListPtr cameras = zone->cameras()) cameras->setFilteredValues(cameras->cameras());
    }
    shown = all;
  }
  filteredValues_ = std::move(shown);
}

std::optional<std::string> KLZoneListResponse::filterString() const { return guardedGet(filterString_); }

void KLZoneListResponse::setFilterString(std::optional<std::string> text) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  filterString_ = std::move(text);
  setValues(values());
}

Zones KLZoneListResponse::filteredValues() const { return guardedGet(filteredValues_); }
void KLZoneListResponse::setFilteredValues(Zones zones) { guardedSet(filteredValues_, std::move(zones)); }

void KLZoneListResponse::storeZones(const Zones& zones) { setValues(valueArray(zones)); }

void KLZoneListResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  if (key == "values") mergeValuesForKey(key, model, false);
}

void KLZoneListResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate) {
  if (key == "values") mergeValuesForKey(key, model, partialUpdate);
}

namespace {
Zones zonesOf(const platform::ModelPtr& model, std::string_view key) {
  if (!model) return {};
  return modelsOfClass<KLZoneResponse>(model->valueForKey(key));
}
}  // namespace

void KLZoneListResponse::mergeValuesForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate) {
  const Zones incoming = zonesOf(model, key);
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  Zones result = zones();
  model_support::mergeRecordsByIdentifier<KLZoneResponse>(result, incoming, partialUpdate,
                                                          [](const KLZoneResponse& zone) { return zone.zoneID(); });
  // Only identified zones, the first of each identifier.
  std::unordered_set<int64_t> seen;
  std::erase_if(result, [&](const KLZonePtr& z) {
    auto id = z->zoneID();
    return !id || !seen.insert(*id).second;
  });
  setValueForKey(key, valueArray(sortZones(result)));
}

void KLZoneListResponse::deleteValuesForKey(std::string_view key, const platform::ModelPtr& model) {
  std::unordered_set<int64_t> removed;
  for (const auto& zone : zonesOf(model, "values")) {
    if (auto id = zone->zoneID()) removed.insert(*id);
  }
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  Zones result = zones();
  std::erase_if(result, [&](const KLZonePtr& z) {
    auto id = z->zoneID();
    return id && removed.count(*id);
  });
  setValueForKey(key, valueArray(sortZones(result)));
}

KLZonePtr KLZoneListResponse::zoneWithID(std::optional<int64_t> zoneID) const {
  if (!zoneID) return nullptr;
  for (const auto& zone : zones()) {
    if (zone->zoneID() == zoneID) return zone;
  }
  return nullptr;
}

void KLZoneListResponse::addZone(const KLZonePtr& zone) {
  if (!zone) return;
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  Zones all = zones();
  auto equal = [&](const KLZonePtr& z) { return z == zone || (z && z->isEqual(*zone)); };
  if (std::any_of(all.begin(), all.end(), equal)) return;
  const auto id = zone->zoneID();
  const bool known = id && std::any_of(all.begin(), all.end(), [&](const KLZonePtr& z) { return z->zoneID() == id; });
  if (!known) all.push_back(zone);
  storeZones(all);
}

void KLZoneListResponse::deleteZone(const KLZonePtr& zone) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  Zones all = zones();
  // Every zone equal to it goes, as removing an object from a list does.
  const auto removed = std::erase_if(all, [&](const KLZonePtr& z) { return z == zone || (z && zone && z->isEqual(*zone)); });
  if (removed == 0) return;
  storeZones(all);
}

void KLZoneListResponse::addCameraWithId(std::optional<int64_t> cameraID, const KLZonePtr& zone) {
  if (!cameraID || !zone) return;
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  auto ids = zone->cameraIds().value_or(std::vector<int64_t>{});
  if (std::find(ids.begin(), ids.end(), *cameraID) == ids.end()) {
    ids.push_back(*cameraID);
    zone->setCameraIds(std::move(ids));
  }
  setValues(values());
}

void KLZoneListResponse::removeCameraWithId(std::optional<int64_t> cameraID, const KLZonePtr& zone) {
  if (!cameraID || !zone) return;
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  auto ids = zone->cameraIds();
  if (ids) {
    auto it = std::find(ids->begin(), ids->end(), *cameraID);
    if (it != ids->end()) {
      ids->erase(it);
      zone->setCameraIds(std::move(ids));
    }
  }
  setValues(values());
}

Zones KLZoneListResponse::sortZones(const Zones& zones) {
  if (zones.empty()) return zones;
  auto rank = [](const KLZoneResponse& zone) {
    const auto count = static_cast<int64_t>(zone.cameraIds().value_or(std::vector<int64_t>{}).size());
    const KLCameraListPtr cameras = zone.cameras();
    const int64_t online = count - (cameras ? cameras->numberOfOfflineCameras() : 0);
    return count == 0 ? 2 : online > 0 ? 0 : 1;  // with online cameras, all offline, empty
  };
  return model_support::sortedByRankThenName(zones, rank, [](const KLZoneResponse& zone) { return zone.name().value_or(""); });
}

Zones KLZoneListResponse::filterByNonEmptyZones(const Zones& zones) {
  Zones out;
  for (const auto& zone : zones) {
    const KLCameraListPtr cameras = zone ? zone->cameras() : nullptr;
    if (cameras && cameras->values().count() > 0) out.push_back(zone);
  }
  return out;
}

Value KLZoneListResponse::objectDictionaryFromDictionary(const Value& dictionary) {
  platform::ValueDictionary copy = dictionary.dictionaryValue();
  copy["cameras"] = Value::null();
  return Value(platform::ValueDictionary{{"zones", Value(platform::ValueArray{Value(std::move(copy))})}});
}

}  // namespace dk

#include "model/kl_camera_list_response.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "model/model_support.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/string_search.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

const ClassInfo& KLCameraListResponse::staticClassInfo() {
  using L = KLCameraListResponse;
  static const ClassInfo info(
      "KLCameraListResponse", &KLListResponse::staticClassInfo(), [] { return std::make_shared<L>(); },
      {property("values", &L::values, &L::setValues, {"cameras"},
                platform::arrayTransformer(KLCameraResponse::staticClassInfo())),
       property("filteredValues", &L::filteredValues, &L::setFilteredValues)});
  return info;
}

Cameras KLCameraListResponse::filteredValues() const { return guardedGet(filteredValues_); }

void KLCameraListResponse::setFilteredValues(Cameras cameras) {
  Cameras sorted = sortCameras(cameras, false);
  guardedSet(filteredValues_, std::move(sorted));
}

int64_t KLCameraListResponse::numberOfCameras() const { return static_cast<int64_t>(filteredValues().size()); }

int64_t KLCameraListResponse::numberOfOfflineCameras() const {
  const Cameras cameras = filteredValues();
  return std::count_if(cameras.begin(), cameras.end(),
                       [](const KLCameraPtr& c) { return c && c->cameraState() == KLCameraStateOffline; });
}

int64_t KLCameraListResponse::numberOfItems() const {
  const int64_t cameras = numberOfCameras();
  const int64_t offline = numberOfOfflineCameras();
  if (cameras == 0) return 0;
  if (cameras == offline) return 1;
  if (offline < 2) return cameras;
  return cameras - offline + 1;
}

void KLCameraListResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  if (key == "values") mergeValuesForKey(key, model, false);
}

void KLCameraListResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate) {
  if (key == "values") mergeValuesForKey(key, model, partialUpdate);
}

namespace {
Cameras camerasOf(const platform::ModelPtr& model, std::string_view key) {
  if (!model) return {};
  return modelsOfClass<KLCameraResponse>(model->valueForKey(key));
}
}  // namespace

void KLCameraListResponse::mergeValuesForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate) {
  const Cameras incoming = camerasOf(model, key);
  {
    std::lock_guard<std::recursive_mutex> lock(propertyMutex());
    Cameras result = camerasOf(std::static_pointer_cast<platform::Model>(shared_from_this()), key);
    model_support::mergeRecordsByIdentifier<KLCameraResponse>(
        result, incoming, partialUpdate, [](const KLCameraResponse& camera) { return camera.cameraID(); });
    setValueForKey(key, valueArray(sortCameras(result, true)));
  }
  if (key == "values") postUpdated();
}

void KLCameraListResponse::postUpdated() {
  auto self = std::static_pointer_cast<KLCameraListResponse>(shared_from_this());
  platform::NotificationCenter::defaultCenter().post(std::string(kCamerasUpdatedNotifiction), self,
                                                     platform::ValueDictionary{{"values", Value(self)}});
}

void KLCameraListResponse::deleteValuesForKey(std::string_view key, const platform::ModelPtr& model) {
  std::unordered_set<int64_t> removed;
  for (const auto& camera : camerasOf(model, "values")) {
    if (auto id = camera->cameraID()) removed.insert(*id);
  }
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  Cameras result = cameras();
  std::erase_if(result, [&](const KLCameraPtr& c) {
    auto id = c->cameraID();
    return id && removed.count(*id);
  });
  setValueForKey(key, valueArray(sortCameras(result, true)));
}

void KLCameraListResponse::deleteCameraWithID(std::optional<int64_t> cameraID) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  Cameras result = cameras();
  if (cameraID) {
    auto it = std::find_if(result.begin(), result.end(), [&](const KLCameraPtr& c) { return c->cameraID() == cameraID; });
    if (it != result.end()) result.erase(it);
  }
  setValues(valueArray(sortCameras(result, true)));
}

KLCameraPtr KLCameraListResponse::cameraWithID(std::optional<int64_t> cameraID) const {
  if (!cameraID) return nullptr;
  for (const auto& camera : cameras()) {
    if (camera->cameraID() == cameraID) return camera;
  }
  return nullptr;
}

std::string KLCameraListResponse::cameraNameWithID(std::optional<int64_t> cameraID) const {
  std::string name;
  if (!cameraID) return name;
  for (const auto& camera : cameras()) {
    if (camera->cameraID() == cameraID) name = camera->name().value_or("");
  }
  return name;
}


std::vector<int64_t> KLCameraListResponse::cameraIDsThatContainString(const std::optional<std::string>& text) const {
  std::vector<int64_t> ids;
  if (!text) return ids;
  for (const auto& camera : cameras()) {
    const auto id = camera->cameraID();
    const auto name = camera->name();
    // Case folded as the platform folds any letters ("küche" finds "KÜCHE"); an empty text
    // is found in no name.
    if (id && name && platform::containsString(*name, *text, /*ignoreDiacritics=*/false)) ids.push_back(*id);
  }
  return ids;
}

size_t KLCameraListResponse::rangeOfCameraWithID(std::optional<int64_t> cameraID) const {
  if (!cameraID) return 0;
  const Cameras all = cameras();
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i]->cameraID() == cameraID) return i;
  }
  return 0;
}

Cameras KLCameraListResponse::sortCameras(const Cameras& cameras, bool onlineFirst) {
  if (cameras.empty()) return cameras;
  auto rank = [onlineFirst](const KLCameraResponse& camera) {
    switch (camera.cameraState()) {
      case KLCameraStateOnline: return onlineFirst ? 0 : 1;
      case KLCameraStateOffline: return onlineFirst ? 1 : 0;
      case KLCameraStateUnknown: break;
    }
    return 2;  // unknown state last
  };
  return model_support::sortedByRankThenName(cameras, rank,
                                             [](const KLCameraResponse& camera) { return camera.name().value_or(""); });
}

Value KLCameraListResponse::objectDictionaryFromDictionary(const Value& dictionary) {
  platform::ValueDictionary copy = dictionary.dictionaryValue();
  for (const char* key : {"wifiList", "mobileStatus", "subscriptionRights"}) copy[key] = Value::null();
  return Value(platform::ValueDictionary{{"cameras", Value(platform::ValueArray{Value(std::move(copy))})}});
}

}  // namespace dk

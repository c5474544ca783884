// KLCameraListResponse: the account's cameras, as the camera-list reply maps and as the camera
// service caches them (also each zone's camera list). Merges update cached cameras in place (their
// identity is kept), keep the list sorted with online cameras first and announce every merge
// with "kCamerasUpdatedNotifiction".
//
// Thread safety: a merge or deletion runs whole under the list's mutex (replies may arrive on a
// concurrent parser queue) and posts its notification after releasing it, on the merging thread.
// Readers on any thread see `values` and `filteredValues` replaced as a whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/kl_camera_response.h"
#include "model/kl_response.h"

namespace dk {

inline constexpr std::string_view kCamerasUpdatedNotifiction = "kCamerasUpdatedNotifiction";

using Cameras = std::vector<KLCameraPtr>;

class KLCameraListResponse : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  // A typed snapshot of `values`.
  Cameras cameras() const { return modelsOfClass<KLCameraResponse>(values()); }

  // The cameras the zone code chose; stored sorted with offline cameras first.
  Cameras filteredValues() const;
  void setFilteredValues(Cameras cameras);
  int64_t numberOfCameras() const;         // of filteredValues
  int64_t numberOfOfflineCameras() const;  // of filteredValues whose state is offline
  // Cameras with all offline ones counted as one item.
  int64_t numberOfItems() const;

  using KLListResponse::mergeMethodForKey;
  // "values" only: a full merge, respectively one with the given flag.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate) override;
  // Cached cameras take the other list's cameras of the same identifier in place, new ones are
  // appended as new records; a full update (flag false) also drops cameras the other list lacks.
  void mergeValuesForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate);
  // Removes the cameras the other list holds. No notification.
  void deleteValuesForKey(std::string_view key, const platform::ModelPtr& model);
  void deleteCameraWithID(std::optional<int64_t> cameraID);

  KLCameraPtr cameraWithID(std::optional<int64_t> cameraID) const;
  // The name of the camera with that identifier (the last one when several match); "" when there
  // is none or it has no name.
  std::string cameraNameWithID(std::optional<int64_t> cameraID) const;
  // Identifiers, in list order, of the cameras whose name contains the text, ignoring case.
  std::vector<int64_t> cameraIDsThatContainString(const std::optional<std::string>& text) const;
  // Index of the first camera with that identifier; 0 when there is none.
  size_t rangeOfCameraWithID(std::optional<int64_t> cameraID) const;

  // Online (respectively offline) cameras first, then the other known state, then cameras of
  // unknown state; by name within a state. A stable sort over total keys.
  static Cameras sortCameras(const Cameras& cameras, bool onlineFirst);

  // One camera's dictionary as a one-camera list reply, its Wi-Fi, mobile and subscription
  // records nulled so they are not merged over cached ones.
  static platform::Value objectDictionaryFromDictionary(const platform::Value& dictionary);

 private:
  void postUpdated();

  Cameras filteredValues_;
};

using KLCameraListPtr = std::shared_ptr<KLCameraListResponse>;

}  // namespace dk

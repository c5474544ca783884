// Zones: named groups of the account's cameras. KLZoneUpdateResponse holds a zone's fields and
// renders the body of a zone update; KLZoneResponse adds the zone's camera records (attached by
// the camera service); KLZoneListResponse keeps the account's zones merged across replies, filters
// them by camera name and sorts them so that zones with (online) cameras come first.
//
// Thread safety: fields are read and written under each model's own mutex; a zone list's merges,
// deletions and re-filtering run whole under the list's mutex, so readers on any queue see
// `values` and `filteredValues` replaced as a whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/kl_camera_list_response.h"
#include "model/kl_response.h"

namespace dk {

class KLZoneUpdateResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<int64_t>, zoneID, setZoneID);
  DK_MODEL_PROPERTY(std::optional<std::string>, name, setName);
  DK_MODEL_PROPERTY(std::optional<std::string>, status, setStatus);
  DK_MODEL_PROPERTY(std::optional<std::vector<int64_t>>, cameraIds, setCameraIds);

 public:
  // {"zoneId", "name", "status", "cameraIds"} without unknown fields and empty texts.
  platform::ValueDictionary JSONObject() const;
};

class KLZoneResponse : public KLZoneUpdateResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(KLCameraListPtr, cameras, setCameras);

 public:
  // Copies the other zone's value only when it is not nil.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;
};

using KLZonePtr = std::shared_ptr<KLZoneResponse>;
using Zones = std::vector<KLZonePtr>;

class KLZoneListResponse : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  Zones zones() const { return modelsOfClass<KLZoneResponse>(values()); }
  // Stores the zones and recomputes the filtered view.
  void setValues(platform::Value values) override;

  std::optional<std::string> filterString() const;
  // Stores the text and filters again; nil or empty shows every zone.
  void setFilterString(std::optional<std::string> text);
  // The zones to show: with a filter, those having a camera whose name contains the text (case-
  // and diacritic-insensitive), each zone's camera list then showing only the matching cameras.
  Zones filteredValues() const;
  void setFilteredValues(Zones zones);

  using KLListResponse::mergeMethodForKey;
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate) override;
  // Zones merged by identifier; a full update drops zones the other list lacks.
  void mergeValuesForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate);
  // Removes the zones whose identifiers the other list holds.
  void deleteValuesForKey(std::string_view key, const platform::ModelPtr& model);

  KLZonePtr zoneWithID(std::optional<int64_t> zoneID) const;
  void addZone(const KLZonePtr& zone);
  void deleteZone(const KLZonePtr& zone);
  void addCameraWithId(std::optional<int64_t> cameraID, const KLZonePtr& zone);
  void removeCameraWithId(std::optional<int64_t> cameraID, const KLZonePtr& zone);

  // Zones with online cameras, then zones whose cameras are all offline, then empty zones; by
  // name (localised, case-insensitive) within each. A stable sort over total keys.
  static Zones sortZones(const Zones& zones);
  static Zones filterByNonEmptyZones(const Zones& zones);
  // One zone's dictionary as a zone-list reply, its cameras nulled.
  static platform::Value objectDictionaryFromDictionary(const platform::Value& dictionary);

 private:
  void storeZones(const Zones& zones);

  std::optional<std::string> filterString_;
  Zones filteredValues_;
};

using KLZoneListPtr = std::shared_ptr<KLZoneListResponse>;

}  // namespace dk

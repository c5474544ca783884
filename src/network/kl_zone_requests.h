// The zone family: the user's zones (groups of cameras), adding, renaming and deleting a zone,
// and moving cameras into one.
//
// Same ownership and thread-safety contract as KLRequest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "network/kl_request.h"

namespace dk {

// The template filled with zoneID.
class KLZoneRequest : public KLRequest {
 public:
  KLZoneRequest() = default;
  std::string requestURL() const override;
  std::string className() const override { return "KLZoneRequest"; }

  std::optional<int64_t> zoneID;

 protected:
  explicit KLZoneRequest(int32_t name) : KLRequest(name) {}
};

// {"name": name}; the name must be set (without one no parameter is sent and the server refuses).
class KLUpdateZoneRequest : public KLZoneRequest {
 public:
  KLUpdateZoneRequest() : KLZoneRequest(ZONE_PATCH_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLUpdateZoneRequest"; }

  std::optional<std::string> name;
};

DK_NAMED_REQUEST(KLDeleteZoneRequest, KLZoneRequest, ZONE_DELETE_REQUEST_CLOUD);

// The JSON body is the array of the cameras' identifiers (cameras without one are skipped).
class KLMoveCamerasIntoZoneRequest : public KLZoneRequest {
 public:
  KLMoveCamerasIntoZoneRequest() : KLZoneRequest(ZONE_CAMERAS_PATCH_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLMoveCamerasIntoZoneRequest"; }

  std::vector<platform::ModelPtr> camerasList;  // camera models (their "cameraID")
};

// {"name": name}, "Default" unless changed.
class KLAddZoneRequest : public KLRequest {
 public:
  KLAddZoneRequest() : KLRequest(ZONE_POST_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLAddZoneRequest"; }

  std::optional<std::string> name = std::string("Default");
};

// Every zone, merged into the cached zone list (list merge).
class KLZonesRequest : public KLRequest {
 public:
  KLZonesRequest() : KLRequest(ZONES_GET_REQUEST_CLOUD) {}
  RequestMergeBlock block() const override;
  std::string className() const override { return "KLZonesRequest"; }
};

}  // namespace dk

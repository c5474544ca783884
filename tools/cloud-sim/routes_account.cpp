// The account: the user, its details, rights, status and credentials, push registration,
// zones, device types, wizard models, carriers and subscription slots.
#include <algorithm>

#include "api_routes.h"

namespace dk::cloudsim::detail {
namespace {

// Updates a field from a parameter; the client sends "" for fields it leaves alone.
void takeIfGiven(RouteContext& ctx, const std::string& name, std::string& field) {
  const auto value = ctx.param(name);
  if (value && !value->empty()) field = *value;
}

HttpReply user(RouteContext& ctx) { return jsonReply(200, userJson(ctx.world.user)); }

HttpReply patchUser(RouteContext& ctx) {
  User updated = ctx.world.user;
  takeIfGiven(ctx, "firstName", updated.firstName);
  takeIfGiven(ctx, "lastName", updated.lastName);
  takeIfGiven(ctx, "email", updated.email);
  if (updated.firstName.size() > 64 || updated.lastName.size() > 64) {
    return errorReply(400, "length must be between 1 and 64", ctx.request.path);
  }
  const size_t at = updated.email.find('@');
  if (at == std::string::npos || at == 0 || at + 1 == updated.email.size()) {
    return errorReply(400, "not a well-formed email address", ctx.request.path);
  }
  ctx.world.user = updated;
  return jsonReply(200, userJson(updated));
}

HttpReply details(RouteContext& ctx) { return jsonReply(200, userDetailsJson(ctx.world.user)); }

HttpReply patchDetails(RouteContext& ctx) {
  User& u = ctx.world.user;
  takeIfGiven(ctx, "companyName", u.companyName);
  takeIfGiven(ctx, "phone", u.phone);
  takeIfGiven(ctx, "country", u.country);
  return jsonReply(200, userDetailsJson(u));
}

HttpReply rights(RouteContext& ctx) { return jsonReply(200, rightsJson(ctx.world.rights)); }

HttpReply status(RouteContext& ctx) { return jsonReply(200, {{"status", ctx.world.user.status}}); }

HttpReply patchStatus(RouteContext& ctx) {
  const auto value = ctx.param("status");
  if (!value || value->empty()) return badValue(ctx, "status");
  ctx.world.user.status = *value;
  return jsonReply(200, {{"status", *value}});
}

HttpReply checkCredentials(RouteContext& ctx) {
  const auto password = ctx.query.get("password");
  if (!password || *password != ctx.world.user.password) {
    return errorReply(400, "Current password is wrong.", ctx.request.path);
  }
  return jsonReply(200, Json::object());
}

HttpReply changeCredentials(RouteContext& ctx) {
  const auto current = ctx.param("password");
  auto next = ctx.param("newPassword");
  if (!next) next = ctx.param("newestPassword");
  if (!current || *current != ctx.world.user.password) {
    return errorReply(400, "Current password is wrong.", ctx.request.path);
  }
  if (!next || next->size() < 8 || next->size() > 50) {
    return errorReply(400, "length must be between 8 and 50", ctx.request.path);
  }
  ctx.world.user.password = *next;
  return jsonReply(200, Json::object());
}

HttpReply registerPush(RouteContext&) { return jsonReply(201, Json::object()); }

HttpReply zones(RouteContext& ctx) {
  Json list = Json::array();
  for (const Zone& z : ctx.world.zones) list.push_back(zoneJson(z));
  return jsonReply(200, list);
}

HttpReply addZone(RouteContext& ctx) {
  const auto name = ctx.param("name");
  if (!name || name->empty() || name->size() > 64) {
    return errorReply(400, "length must be between 1 and 64", ctx.request.path);
  }
  int64_t id = 11;
  for (const Zone& z : ctx.world.zones) id = std::max(id, z.zoneId + 1);
  ctx.world.zones.push_back({id, *name, "active", {}});
  return jsonReply(201, zoneJson(ctx.world.zones.back()));
}

Zone* zoneAt(RouteContext& ctx, std::optional<HttpReply>& error) {
  const auto id = ctx.idAt(0);
  if (!id) {
    error = badValue(ctx, "zoneId");
    return nullptr;
  }
  Zone* zone = ctx.world.zone(*id);
  if (!zone) error = errorReply(404, "Zone not found", ctx.request.path);
  return zone;
}

HttpReply renameZone(RouteContext& ctx) {
  std::optional<HttpReply> error;
  Zone* zone = zoneAt(ctx, error);
  if (!zone) return std::move(*error);
  const auto name = ctx.param("name");
  if (!name || name->empty() || name->size() > 64) {
    return errorReply(400, "length must be between 1 and 64", ctx.request.path);
  }
  zone->name = *name;
  return jsonReply(200, zoneJson(*zone));
}

HttpReply deleteZone(RouteContext& ctx) {
  std::optional<HttpReply> error;
  Zone* zone = zoneAt(ctx, error);
  if (!zone) return std::move(*error);
  const int64_t id = zone->zoneId;
  for (Camera& c : ctx.world.cameras)
    if (c.zoneId == id) c.zoneId = -1;
  std::erase_if(ctx.world.zones, [&](const Zone& z) { return z.zoneId == id; });
  return noContent();
}

// PATCH with a JSON array of camera identifiers: those cameras move into the zone.
HttpReply moveCamerasIntoZone(RouteContext& ctx) {
  std::optional<HttpReply> error;
  Zone* zone = zoneAt(ctx, error);
  if (!zone) return std::move(*error);
  const Json& body = ctx.json();
  if (!body.is_array()) return badValue(ctx, "cameraIds");
  std::vector<int64_t> ids;
  for (const Json& item : body) {
    int64_t id = 0;
    if (item.is_number_integer()) {
      id = item.get<int64_t>();
    } else if (const auto parsed = item.is_string() ? parseInteger(item.get<std::string>()) : std::nullopt) {
      id = *parsed;
    } else {
      return badValue(ctx, "cameraIds");
    }
    if (!ctx.world.camera(id)) return errorReply(404, "Camera not found", ctx.request.path);
    ids.push_back(id);
  }
  for (int64_t id : ids) {
    for (Zone& z : ctx.world.zones) std::erase(z.cameraIds, id);
    zone->cameraIds.push_back(id);
    ctx.world.camera(id)->zoneId = zone->zoneId;
  }
  return jsonReply(200, zoneJson(*zone));
}

HttpReply deviceTypes(RouteContext& ctx) {
  const bool capabilities = ctx.query.get("includeCapabilities").value_or("false") != "false";
  const bool local = ctx.query.get("includeLocalConnection").value_or("false") != "false";
  Json list = Json::array();
  for (const DeviceType& t : ctx.world.deviceTypes) list.push_back(deviceTypeJson(t, capabilities, local));
  return jsonReply(200, list);
}

HttpReply wizardModels(RouteContext& ctx) {
  Json groups = Json::array();
  int group = 1;
  for (const DeviceType& t : ctx.world.deviceTypes) {
    groups.push_back({{"category", t.model == "D200" ? "Doorbell" : t.model == "O300" ? "Outdoor" : "Indoor"},
                      {"details", Json::array({{{"group", group++},
                                                {"url", ctx.baseUrl + "/setup/" + t.model},
                                                {"deviceTypeIds", {t.deviceTypeId}}}})}});
  }
  return jsonReply(200, groups);
}

HttpReply carriers(RouteContext&) {
  return jsonReply(200, Json::array({{{"carrierId", 1}, {"name", "SimTel"}},
                                     {{"carrierId", 2}, {"name", "Loopback Mobile"}}}));
}

HttpReply cameraSlots(RouteContext& ctx) {
  return jsonReply(200, {{"slots", 8}, {"used", ctx.world.cameras.size()}});
}

}  // namespace

void addAccountRoutes(std::vector<Route>& routes) {
  routes.insert(routes.end(), {
      {"GET", "/rest/v2.3/users/self", Auth::Bearer, user},
      {"PATCH", "/rest/v2.3/users/self", Auth::Bearer, patchUser},
      {"GET", "/rest/v2.3/users/self/details", Auth::Bearer, details},
      {"PATCH", "/rest/v2.3/users/self/details", Auth::Bearer, patchDetails},
      {"GET", "/rest/v2.0/users/self/rights", Auth::Bearer, rights},
      {"GET", "/rest/v2.0/users/self/status", Auth::Bearer, status},
      {"PATCH", "/rest/v2.0/users/self/status", Auth::Bearer, patchStatus},
      {"GET", "/rest/v2.3/users/self/credentials", Auth::Bearer, checkCredentials},
      {"PATCH", "/rest/v2.3/users/self/credentials", Auth::Bearer, changeCredentials},
      {"POST", "/rest/v2.0/users/self/push/devices", Auth::Bearer, registerPush},
      {"GET", "/rest/v2.0/zones", Auth::Bearer, zones},
      {"POST", "/rest/v2.0/zones", Auth::Bearer, addZone},
      {"PATCH", "/rest/v2.0/zones/{zone}", Auth::Bearer, renameZone},
      {"DELETE", "/rest/v2.0/zones/{zone}", Auth::Bearer, deleteZone},
      {"PATCH", "/rest/v2.1/zones/{zone}/cameraIds", Auth::Bearer, moveCamerasIntoZone},
      {"GET", "/rest/v2.0/deviceTypes", Auth::Bearer, deviceTypes},
      {"GET", "/rest/v2.2/users/self/wizardCameraModels", Auth::Bearer, wizardModels},
      {"GET", "/rest/v2.1/carriers", Auth::Bearer, carriers},
      {"GET", "/rest/v2.1/accounts/self/subscription/cameraslots", Auth::Bearer, cameraSlots},
  });
}

}  // namespace dk::cloudsim::detail

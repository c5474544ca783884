// Cameras: the list, one camera, status, mode, name, deletion, zone, snapshot, streams,
// firmware, subscription, daily summaries and jobs.
#include <algorithm>
#include <cstdio>

#include "api_routes.h"
#include "media.h"
#include "scene_pictures.h"

namespace dk::cloudsim::detail {
namespace {

bool isKnownMode(const std::string& mode) {
  return mode == "armed" || mode == "disarmed" || mode == "silent" || mode == "custom" ||
         mode == "private";
}

HttpReply listCameras(RouteContext& ctx) {
  Json list = Json::array();
  for (const Camera& c : ctx.world.cameras) list.push_back(cameraJson(c));
  return jsonReply(200, list);
}

HttpReply allStatus(RouteContext& ctx) {
  Json list = Json::array();
  for (const Camera& c : ctx.world.cameras) list.push_back(cameraStatusJson(c));
  return jsonReply(200, list);
}

HttpReply allModes(RouteContext& ctx) {
  Json list = Json::array();
  for (const Camera& c : ctx.world.cameras) {
    list.push_back({{"cameraId", c.cameraId}, {"cameraMode", Json::array({cameraModeJson(c)})}});
  }
  return jsonReply(200, list);
}

Json firmwareJson(const Camera& c) {
  return {{"cameraId", c.cameraId},
          {"currentVersion", c.currentVersion},
          {"targetVersion", c.targetVersion},
          {"upgradeAvailable", c.currentVersion != c.targetVersion}};
}

HttpReply allFirmware(RouteContext& ctx) {
  Json list = Json::array();
  for (const Camera& c : ctx.world.cameras) list.push_back(firmwareJson(c));
  return jsonReply(200, list);
}

HttpReply getCamera(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    return jsonReply(200, cameraJson(camera));
  });
}

HttpReply renameCamera(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    const auto name = ctx.param("name");
    if (!name) return badValue(ctx, "name");
    if (name->empty() || name->size() > 64) {
      return errorReply(400, "length must be between 1 and 64", ctx.request.path);
    }
    camera.name = *name;
    return jsonReply(200, cameraJson(camera));
  });
}

HttpReply deleteCamera(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    const auto password = ctx.param("password");
    if (!password || *password != ctx.world.user.password) {
      return errorReply(400, "Invalid credentials to delete the camera", ctx.request.path);
    }
    const int64_t id = camera.cameraId;
    World& w = ctx.world;
    for (Zone& zone : w.zones) std::erase(zone.cameraIds, id);
    std::erase_if(w.recordings, [&](const Recording& r) { return r.cameraId == id; });
    w.deleteEventsOf(id);
    std::erase_if(w.cameras, [&](const Camera& c) { return c.cameraId == id; });
    return noContent();
  });
}

HttpReply cameraStatus(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    return jsonReply(200, cameraStatusJson(camera));
  });
}

HttpReply cameraMode(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    return jsonReply(200, cameraModeJson(camera));
  });
}

HttpReply changeMode(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    const auto mode = ctx.param("mode");
    const auto recordingMode = ctx.param("recordingMode");
    if (mode && !isKnownMode(*mode)) return badValue(ctx, "mode");
    if (recordingMode && *recordingMode != "continuous" && *recordingMode != "eventBased") {
      return badValue(ctx, "recordingMode");
    }
    if (!mode && !recordingMode) return badValue(ctx, "mode");
    if (mode && *mode != camera.mode) {
      camera.previousMode = camera.mode;
      camera.mode = *mode;
    }
    if (recordingMode) camera.recordingMode = *recordingMode;
    return jsonReply(200, cameraModeJson(camera));
  });
}

HttpReply moveToZone(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    const auto zoneId = ctx.idAt(1);
    if (!zoneId) return badValue(ctx, "zoneId");
    Zone* zone = ctx.world.zone(*zoneId);
    if (!zone) return errorReply(404, "Zone not found", ctx.request.path);
    for (Zone& z : ctx.world.zones) std::erase(z.cameraIds, camera.cameraId);
    zone->cameraIds.push_back(camera.cameraId);
    camera.zoneId = zone->zoneId;
    return jsonReply(200, zoneJson(*zone));
  });
}

HttpReply snapshot(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    if (!camera.online) {
      HttpReply reply = errorReply(409, "Camera is not connected with the platform", ctx.request.path);
      return reply;
    }
    int width = 1280, height = 720;
    if (const auto resolution = ctx.query.get("resolution")) {
      if (std::sscanf(resolution->c_str(), "%dx%d", &width, &height) != 2 || width < 8 ||
          height < 8 || width > 4096 || height > 4096) {
        return badValue(ctx, "resolution");
      }
    }
    return imageReply(cameraSnapshotJpeg(camera, ctx.world, width, height));
  });
}

HttpReply streams(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    const std::string id = std::to_string(camera.cameraId);
    return jsonReply(200, {{"cameraId", camera.cameraId},
                           {"hls", ctx.baseUrl + "/media/live/" + id + ".m3u8"},
                           {"rtsp", "rtsp://127.0.0.1:8554/" + id}});
  });
}

HttpReply firmware(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    return jsonReply(200, firmwareJson(camera));
  });
}

HttpReply upgradeFirmware(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    camera.currentVersion = camera.targetVersion;
    return jsonReply(200, firmwareJson(camera));
  });
}

HttpReply subscriptionRights(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    return jsonReply(200, subscriptionRightsJson(camera));
  });
}

HttpReply dailySummary(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    const std::string id = std::to_string(camera.cameraId);
    return jsonReply(200, {{"jobId", "summary-" + id},
                           {"cameraId", camera.cameraId},
                           {"videoSummaryUrl", ctx.baseUrl + "/media/summaries/" + id + ".mp4"}});
  });
}

HttpReply jobs(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    return jsonReply(200, Json::array({{{"jobId", "summary-" + std::to_string(camera.cameraId)},
                                        {"status", "FINISHED"}}}));
  });
}

HttpReply job(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    return jsonReply(200, {{"jobId", ctx.captures.at(1)}, {"cameraId", camera.cameraId}, {"status", "FINISHED"}});
  });
}

}  // namespace

void addCameraRoutes(std::vector<Route>& routes) {
  routes.insert(routes.end(), {
      {"GET", "/rest/v2.0/cameras", Auth::Bearer, listCameras},
      {"GET", "/rest/v2.0/cameras/all/status", Auth::Bearer, allStatus},
      {"GET", "/rest/v2.2/cameras/all/mode", Auth::Bearer, allModes},
      {"GET", "/rest/v2.2/cameras/all/firmware", Auth::Bearer, allFirmware},
      {"GET", "/rest/v2.1/cameras/{camera}", Auth::Bearer, getCamera},
      {"PATCH", "/rest/v2.0/cameras/{camera}", Auth::Bearer, renameCamera},
      {"DELETE", "/rest/v2.0/cameras/{camera}", Auth::Bearer, deleteCamera},
      {"GET", "/rest/v2.0/cameras/{camera}/status", Auth::Bearer, cameraStatus},
      {"GET", "/rest/v2.2/cameras/{camera}/mode", Auth::Bearer, cameraMode},
      {"PATCH", "/rest/v2.2/cameras/{camera}/mode", Auth::Bearer, changeMode},
      {"PUT", "/rest/v2.0/cameras/{camera}/zone/{zone}", Auth::Bearer, moveToZone},
      {"GET", "/rest/v2.0/cameras/{camera}/snapshot", Auth::Bearer, snapshot},
      {"GET", "/rest/v2.0/cameras/{camera}/streams", Auth::Bearer, streams},
      {"GET", "/rest/v2.2/cameras/{camera}/firmware", Auth::Bearer, firmware},
      {"POST", "/rest/v2.2/cameras/{camera}/firmware", Auth::Bearer, upgradeFirmware},
      {"GET", "/rest/v2.0/cameras/{camera}/subscriptionRights", Auth::Bearer, subscriptionRights},
      {"POST", "/rest/v2.0/cameras/{camera}/summary", Auth::Bearer, dailySummary},
      {"GET", "/rest/v2.0/cameras/{camera}/jobs", Auth::Bearer, jobs},
      {"GET", "/rest/v2.0/cameras/{camera}/jobs/{job}", Auth::Bearer, job},
  });
}

}  // namespace dk::cloudsim::detail

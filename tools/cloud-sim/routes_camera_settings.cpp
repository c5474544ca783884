// Camera settings: detectors, capabilities, image and footage settings, connection details,
// device information, microphone, pan-tilt, Wi-Fi, mobile network and SIM cards.
#include <algorithm>
#include <set>

#include "api_routes.h"

namespace dk::cloudsim::detail {
namespace {

// ---- detectors ----

HttpReply detectorReply(RouteContext& ctx, bool capable, bool enabled) {
  if (!capable) return errorReply(404, "Detector not supported by this camera", ctx.request.path);
  return jsonReply(200, {{"enabled", enabled}});
}

// PUT {"enabled": "true"|"false"} on one detector switch.
HttpReply setDetector(RouteContext& ctx, bool capable, bool& target) {
  if (!capable) return errorReply(404, "Detector not supported by this camera", ctx.request.path);
  const auto enabled = boolParam(ctx, "enabled");
  if (!enabled) return badValue(ctx, "enabled");
  target = *enabled;
  return jsonReply(200, {{"enabled", target}});
}

HttpReply getSmart(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    if (!c.capabilities.analytics()) return detectorReply(ctx, false, false);
    return jsonReply(200, smartDetectionsJson(c));
  });
}

HttpReply putSmart(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    if (!c.capabilities.analytics()) return detectorReply(ctx, false, false);
    const auto enabled = boolParam(ctx, "enabled");
    const auto personOnly = boolParam(ctx, "personDetectionOnly");
    if (ctx.param("enabled") && !enabled) return badValue(ctx, "enabled");
    if (ctx.param("personDetectionOnly") && !personOnly) return badValue(ctx, "personDetectionOnly");
    if (enabled) c.detectors.analytics = *enabled;
    if (personOnly) c.detectors.personDetectionOnly = *personOnly;
    return jsonReply(200, smartDetectionsJson(c));
  });
}

HttpReply detectionCapabilities(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, detectionsCapabilitiesJson(c.capabilities)); });
}

HttpReply getPir(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return detectorReply(ctx, c.capabilities.pir, c.detectors.pir); });
}
HttpReply putPir(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return setDetector(ctx, c.capabilities.pir, c.detectors.pir); });
}
HttpReply getVideo(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) {
    return detectorReply(ctx, c.capabilities.videoMotion, c.detectors.videoMotion);
  });
}
HttpReply putVideo(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) {
    return setDetector(ctx, c.capabilities.videoMotion, c.detectors.videoMotion);
  });
}
HttpReply getSound(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return detectorReply(ctx, c.capabilities.audio, c.detectors.sound); });
}
HttpReply putSound(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return setDetector(ctx, c.capabilities.audio, c.detectors.sound); });
}
HttpReply getDoorbell(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) {
    return detectorReply(ctx, c.capabilities.doorbell, c.detectors.doorbell);
  });
}
HttpReply putDoorbell(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) {
    return setDetector(ctx, c.capabilities.doorbell, c.detectors.doorbell);
  });
}

// ---- image and footage settings ----

HttpReply videoSettings(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, videoSettingsJson(c.videoSettings)); });
}

HttpReply patchVideoSettings(RouteContext& ctx) {
  static const std::set<std::string> exposures = {"outdoor", "50hz", "60hz", "auto"};
  static const std::set<std::string> backlights = {"off", "blc", "hlc", "wdr"};
  static const std::set<std::string> nightviews = {"Auto", "Day", "Night"};
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    VideoSettings s = c.videoSettings;
    if (const auto rotation = ctx.param("rotation")) {
      if (*rotation != "0" && *rotation != "180") return badValue(ctx, "rotation");
      s.rotation = *rotation == "180" ? 180 : 0;
    }
    if (const auto v = ctx.param("exposure")) {
      if (!exposures.count(*v)) return badValue(ctx, "exposure");
      s.exposure = *v;
    }
    if (const auto v = ctx.param("backlight")) {
      if (!backlights.count(*v)) return badValue(ctx, "backlight");
      s.backlight = *v;
    }
    if (const auto v = ctx.param("manualNightview")) {
      if (!nightviews.count(*v)) return badValue(ctx, "manualNightview");
      s.manualNightview = *v;
    }
    c.videoSettings = s;
    return jsonReply(200, videoSettingsJson(s));
  });
}

HttpReply resetVideoSettings(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) {
    c.videoSettings = VideoSettings{};
    return jsonReply(200, videoSettingsJson(c.videoSettings));
  });
}

HttpReply videoSettingsCapabilities(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera&) { return jsonReply(200, videoSettingsCapabilitiesJson()); });
}

HttpReply footageSettings(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, footageSettingsJson(c.footageSettings)); });
}

HttpReply patchFootageSettings(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    const Json& body = ctx.json();
    if (!body.is_object() || !body.contains("rec") || !body["rec"].is_object() ||
        !body["rec"].contains("video") || !body["rec"]["video"].is_object()) {
      return badValue(ctx, "rec.video");
    }
    const Json& video = body["rec"]["video"];
    const Json capabilities = footageSettingsCapabilitiesJson()["rec"];
    FootageSettings s = c.footageSettings;
    // The client sends these numbers as text.
    auto number = [](const Json& v) -> std::optional<int> {
      if (v.is_number_integer()) return v.get<int>();
      if (!v.is_string()) return std::nullopt;
      const auto n = parseInteger(v.get<std::string>());
      if (!n || *n < 0 || *n > 1000000) return std::nullopt;
      return static_cast<int>(*n);
    };
    if (video.contains("resolution")) {
      if (!video["resolution"].is_string() || !capabilities.contains(video["resolution"].get<std::string>())) {
        return badValue(ctx, "resolution");
      }
      s.resolution = video["resolution"].get<std::string>();
    }
    if (video.contains("framerate")) {
      const auto rate = number(video["framerate"]);
      if (!rate) return badValue(ctx, "framerate");
      const Json& allowed = capabilities[s.resolution]["framerates"];
      if (std::find(allowed.begin(), allowed.end(), Json(*rate)) == allowed.end()) {
        return badValue(ctx, "framerate");
      }
      s.framerate = *rate;
    }
    if (video.contains("maxBitRate")) {
      const auto rate = number(video["maxBitRate"]);
      if (!rate || *rate <= 0) return badValue(ctx, "maxBitRate");
      s.maxBitRate = *rate;
    }
    c.footageSettings = s;
    return jsonReply(200, footageSettingsJson(s));
  });
}

HttpReply footageCapabilities(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera&) { return jsonReply(200, footageSettingsCapabilitiesJson()); });
}

HttpReply capabilities(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, cameraCapabilitiesJson(c.capabilities)); });
}

HttpReply ptzCapabilities(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, ptzCapabilitiesJson(c.capabilities)); });
}

HttpReply connectionDetails(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, connectionDetailsJson(c)); });
}

HttpReply connectionCredentials(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, connectionCredentialsJson(c)); });
}

HttpReply deviceInfo(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, deviceInfoJson(c)); });
}

HttpReply microphone(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    const auto enabled = boolParam(ctx, "enabled");
    if (!enabled) return badValue(ctx, "enabled");
    c.audioEnabled = *enabled;
    return jsonReply(200, {{"enabled", c.audioEnabled}});
  });
}

HttpReply moveCamera(RouteContext& ctx) {
  static const std::set<std::string> directions = {"Up", "Down", "Left", "Right", "In", "Out"};
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    if (!c.capabilities.ptz) return errorReply(404, "Pan-tilt not supported by this camera", ctx.request.path);
    const auto direction = ctx.param("direction");
    if (!direction || !directions.count(*direction)) return badValue(ctx, "direction");
    return jsonReply(200, {{"direction", *direction}, {"moveType", ctx.param("moveType").value_or("")}});
  });
}

// ---- Wi-Fi and mobile ----

HttpReply wifiStatus(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, wifiNetworksJson(c, c.wifiStatus)); });
}
HttpReply wifiVisible(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, wifiNetworksJson(c, c.wifiVisible)); });
}
HttpReply wifiSaved(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, wifiNetworksJson(c, c.wifiSaved)); });
}

HttpReply patchWifiStatus(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    const auto enabled = boolParam(ctx, "enabled");
    if (!enabled) return badValue(ctx, "enabled");
    if (!*enabled && !c.mobileStatus.enabled && c.connectionType == "wifi") {
      HttpReply reply = errorReply(400, "Wifi and mobile cannot be disabled", ctx.request.path);
      return reply;
    }
    if (!*enabled) c.wifiStatus.clear();
    return jsonReply(200, wifiNetworksJson(c, c.wifiStatus));
  });
}

HttpReply saveWifi(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    auto ssid = ctx.param("ssid");
    if (!ssid) ssid = ctx.param("essid");
    if (!ssid || ssid->empty() || ssid->size() > 32) return badValue(ctx, "ssid");
    const auto password = ctx.param("password").value_or("");
    if (!password.empty() && (password.size() < 8 || password.size() > 63)) {
      return badValue(ctx, "password");
    }
    auto it = std::find_if(c.wifiSaved.begin(), c.wifiSaved.end(),
                           [&](const WifiNetwork& n) { return n.ssid == *ssid; });
    if (it == c.wifiSaved.end()) {
      c.wifiSaved.push_back({.ssid = *ssid, .state = "disconnected", .strength = "medium",
                             .strengthPercentage = 60,
                             .encryption = password.empty() ? "none" : "wpa2"});
    }
    return jsonReply(201, wifiNetworksJson(c, c.wifiSaved));
  });
}

// The saved network is addressed by its network identifier or its SSID.
std::vector<WifiNetwork>::iterator findSaved(Camera& c, const std::string& key) {
  for (size_t i = 0; i < c.wifiSaved.size(); ++i) {
    if (c.wifiSaved[i].ssid == key || std::to_string(c.cameraId * 100 + static_cast<int64_t>(i)) == key) {
      return c.wifiSaved.begin() + static_cast<std::ptrdiff_t>(i);
    }
  }
  return c.wifiSaved.end();
}

HttpReply updateSavedWifi(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    auto it = findSaved(c, ctx.captures.at(1));
    if (it == c.wifiSaved.end()) return errorReply(404, "Network not found", ctx.request.path);
    if (const auto preferred = boolParam(ctx, "preferred")) it->preferred = *preferred;
    return jsonReply(200, wifiNetworksJson(c, c.wifiSaved));
  });
}

HttpReply deleteSavedWifi(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    auto it = findSaved(c, ctx.captures.at(1));
    if (it == c.wifiSaved.end()) return errorReply(404, "Network not found", ctx.request.path);
    c.wifiSaved.erase(it);
    return noContent();
  });
}

HttpReply mobileNetwork(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, mobileStatusJson(c.mobileStatus)); });
}

Json simJson(const Camera& c) {
  return {{"simId", "sim-" + std::to_string(c.cameraId)},
          {"imsi", c.mobileStatus.imsi},
          {"iccid", "8931" + c.mobileStatus.imsi},
          {"enabled", c.mobileStatus.enabled},
          {"carrier", "SimTel"}};
}

HttpReply currentSim(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) { return jsonReply(200, simJson(c)); });
}

HttpReply updateSim(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& c) -> HttpReply {
    if (const auto enabled = boolParam(ctx, "enabled")) {
      c.mobileStatus.enabled = *enabled;
      c.mobileStatus.state = *enabled ? "connected" : "disconnected";
    }
    return jsonReply(200, simJson(c));
  });
}

HttpReply simDataUsage(RouteContext& ctx) {
  return jsonReply(200, {{"simId", ctx.captures.at(0)}, {"usedBytes", 73400320}, {"limitBytes", 1073741824}});
}

}  // namespace

void addCameraSettingsRoutes(std::vector<Route>& routes) {
  routes.insert(routes.end(), {
      {"GET", "/rest/v2.0/cameras/{camera}/detectors/analytics", Auth::Bearer, getSmart},
      {"PUT", "/rest/v2.0/cameras/{camera}/detectors/analytics", Auth::Bearer, putSmart},
      {"GET", "/rest/v2.0/cameras/{camera}/detectors/capabilities", Auth::Bearer, detectionCapabilities},
      {"GET", "/rest/v2.0/cameras/{camera}/detectors/pir", Auth::Bearer, getPir},
      {"PUT", "/rest/v2.0/cameras/{camera}/detectors/pir", Auth::Bearer, putPir},
      {"GET", "/rest/v2.0/cameras/{camera}/detectors/video", Auth::Bearer, getVideo},
      {"PUT", "/rest/v2.0/cameras/{camera}/detectors/video", Auth::Bearer, putVideo},
      {"GET", "/rest/v2.0/cameras/{camera}/detectors/audio", Auth::Bearer, getSound},
      {"PUT", "/rest/v2.0/cameras/{camera}/detectors/audio", Auth::Bearer, putSound},
      {"GET", "/rest/v2.0/cameras/{camera}/detectors/doorbell", Auth::Bearer, getDoorbell},
      {"PUT", "/rest/v2.0/cameras/{camera}/detectors/doorbell", Auth::Bearer, putDoorbell},
      {"GET", "/rest/v2.2/cameras/{camera}/video/settings", Auth::Bearer, videoSettings},
      {"PATCH", "/rest/v2.2/cameras/{camera}/video/settings", Auth::Bearer, patchVideoSettings},
      {"DELETE", "/rest/v2.2/cameras/{camera}/video/settings", Auth::Bearer, resetVideoSettings},
      {"GET", "/rest/v2.2/cameras/{camera}/capabilities/image", Auth::Bearer, videoSettingsCapabilities},
      {"GET", "/rest/v2.2/cameras/{camera}/footage/settings", Auth::Bearer, footageSettings},
      {"PATCH", "/rest/v2.2/cameras/{camera}/footage/settings", Auth::Bearer, patchFootageSettings},
      {"GET", "/rest/v2.2/cameras/{camera}/footage/capabilities", Auth::Bearer, footageCapabilities},
      {"GET", "/rest/v2.2/cameras/{camera}/capabilities", Auth::Bearer, capabilities},
      {"GET", "/rest/v2.2/cameras/{camera}/capabilities/ptz", Auth::Bearer, ptzCapabilities},
      {"GET", "/rest/v2.2/cameras/{camera}/connection/details", Auth::Bearer, connectionDetails},
      {"GET", "/rest/v2.2/cameras/{camera}/connection/credentials", Auth::Bearer, connectionCredentials},
      {"GET", "/rest/v2.2/cameras/{camera}/deviceInfo", Auth::Bearer, deviceInfo},
      {"PUT", "/rest/v2.1/cameras/{camera}/microphone", Auth::Bearer, microphone},
      {"POST", "/rest/v2.1/cameras/{camera}/ptz", Auth::Bearer, moveCamera},
      {"GET", "/rest/v2.1/cameras/{camera}/wifi/status", Auth::Bearer, wifiStatus},
      {"PATCH", "/rest/v2.1/cameras/{camera}/wifi/status", Auth::Bearer, patchWifiStatus},
      {"GET", "/rest/v2.1/cameras/{camera}/wifi/visible", Auth::Bearer, wifiVisible},
      {"GET", "/rest/v2.1/cameras/{camera}/wifi/saved", Auth::Bearer, wifiSaved},
      {"POST", "/rest/v2.1/cameras/{camera}/wifi/saved", Auth::Bearer, saveWifi},
      {"PUT", "/rest/v2.0/cameras/{camera}/wifi/saved/{network}", Auth::Bearer, updateSavedWifi},
      {"DELETE", "/rest/v2.1/cameras/{camera}/wifi/saved/{network}", Auth::Bearer, deleteSavedWifi},
      {"GET", "/rest/v2.1/cameras/{camera}/mobile/network", Auth::Bearer, mobileNetwork},
      {"GET", "/rest/v2.1/cameras/{camera}/sims/current", Auth::Bearer, currentSim},
      {"PUT", "/rest/v2.1/cameras/{camera}/sims/current", Auth::Bearer, updateSim},
      {"PUT", "/rest/v2.1/cameras/{camera}/sims/{sim}", Auth::Bearer, updateSim},
      {"GET", "/rest/v2.4/sims/{sim}/dataUsage", Auth::Bearer, simDataUsage},
  });
}

}  // namespace dk::cloudsim::detail

#include "json_shapes.h"

#include "cloud-sim/server_time.h"

namespace dk::cloudsim::detail {

Json recordingJson(const Recording& recording, int utcOffsetSeconds) {
  Json j = {{"recordingId", recording.recordingId},
            {"cameraId", recording.cameraId},
            {"startTime", formatServerTime(recording.start, utcOffsetSeconds)},
            {"closed", recording.closed}};
  // An open recording has no end yet; the key is left out rather than sent as null.
  if (recording.closed) j["endTime"] = formatServerTime(recording.end, utcOffsetSeconds);
  return j;
}

std::string clipPathOf(int64_t eventId) { return "/media/clips/" + std::to_string(eventId) + ".mp4"; }

Json eventJson(const Event& event, int utcOffsetSeconds, const std::string& clipBaseUrl) {
  Json j = {{"eventId", event.eventId},
            {"timestamp", formatServerTime(event.timestamp, utcOffsetSeconds)},
            {"type", event.type},
            {"source", {{"sourceId", event.cameraId}, {"type", "camera"}}}};
  if (!event.category.empty()) j["category"] = event.category;
  if (!event.faceId.empty()) j["faceId"] = event.faceId;
  if (!clipBaseUrl.empty()) j["streamUrls"] = {{"mp4Https", clipBaseUrl + clipPathOf(event.eventId)}};
  return j;
}

Json wifiNetworkJson(const Camera& camera, const WifiNetwork& network, size_t index) {
  // Camera families spell the same facts differently; odd camera identifiers use the other
  // spelling so that clients meet both.
  const bool alternate = camera.cameraId % 2 != 0;
  Json j;
  j[alternate ? "essid" : "ssid"] = network.ssid;
  j[alternate ? "status" : "state"] = network.state;
  j[alternate ? "id" : "networkId"] = std::to_string(camera.cameraId * 100 + static_cast<int64_t>(index));
  if (!network.strength.empty()) j["strength"] = network.strength;
  j["strengthPercentage"] = network.strengthPercentage;
  j["encryption"] = network.encryption;
  j["encrypted"] = network.encryption != "none";
  j["preferred"] = network.preferred;
  return j;
}

Json wifiNetworksJson(const Camera& camera, const std::vector<WifiNetwork>& networks) {
  Json list = Json::array();
  for (size_t i = 0; i < networks.size(); ++i) list.push_back(wifiNetworkJson(camera, networks[i], i));
  return list;
}

Json mobileStatusJson(const MobileStatus& status) {
  Json j = {{"enabled", status.enabled},
            {"state", status.state},
            {"networkType", status.networkType},
            {"strengthPercentage", status.strengthPercentage},
            {"imsi", status.imsi}};
  if (!status.network.empty()) j["network"] = status.network;
  return j;
}

Json subscriptionRightsJson(const Camera& camera) {
  return {{"cameraId", camera.cameraId}, {"daysOfRecordings", camera.daysOfRecordings}};
}

Json cameraModeJson(const Camera& camera) {
  Json j = {{"cameraId", camera.cameraId}, {"mode", camera.mode}, {"recordingMode", camera.recordingMode}};
  if (!camera.previousMode.empty()) j["previousMode"] = camera.previousMode;
  return j;
}

Json detectionsCapabilitiesJson(const CameraCapabilities& c) {
  return {{"audio", c.audio},
          {"videoMotion", c.videoMotion},
          {"pir", c.pir},
          {"doorbell", c.doorbell},
          {"analyticsObjectArea", c.analyticsObjectArea},
          {"analyticsObjectTripWire", c.analyticsObjectTripWire},
          {"analyticsPersonArea", c.analyticsPersonArea},
          {"analyticsPersonTripWire", c.analyticsPersonTripWire}};
}

Json smartDetectionsJson(const Camera& camera) {
  return {{"enabled", camera.detectors.analytics},
          {"personDetectionOnly", camera.detectors.personDetectionOnly}};
}

Json cameraDetectionsJson(const Camera& camera) {
  const auto& d = camera.detectors;
  const auto& c = camera.capabilities;
  Json j = Json::object();
  if (c.videoMotion) j["videoMotionDetection"] = Json::array({{{"enabled", d.videoMotion}}});
  if (c.pir) j["pirDetection"] = Json::array({{{"enabled", d.pir}}});
  if (c.audio) j["soundDetection"] = Json::array({{{"enabled", d.sound}}});
  if (c.doorbell) j["doorbellDetection"] = Json::array({{{"enabled", d.doorbell}}});
  return j;
}

Json videoSettingsJson(const VideoSettings& s) {
  return {{"rotation", s.rotation},
          {"exposure", s.exposure},
          {"backlight", s.backlight},
          {"manualNightview", s.manualNightview}};
}

Json videoSettingsCapabilitiesJson() {
  return {{"rotationOptions", {0, 180}},
          {"exposureOptions", {"outdoor", "50hz", "60hz", "auto"}},
          {"backlightOptions", {"off", "blc", "hlc", "wdr"}},
          {"manualNightviewOptions", {"Auto", "Day", "Night"}},
          {"rotation", true},
          {"exposure", true},
          {"backlight", true},
          {"manualNightview", true}};
}

Json footageSettingsJson(const FootageSettings& s) {
  return {{"rec", {{"video", {{"resolution", s.resolution}, {"framerate", s.framerate}, {"maxBitRate", s.maxBitRate}}}}}};
}

Json footageSettingsCapabilitiesJson() {
  return {{"rec",
           {{"1920x1080", {{"framerates", {5, 10, 15, 20}}}},
            {"1280x720", {{"framerates", {5, 10, 15, 20, 25}}}},
            {"640x360", {{"framerates", {5, 10, 15, 20, 25, 30}}}}}}};
}

Json cameraCapabilitiesJson(const CameraCapabilities& c) {
  return {{"ptz", c.ptz}, {"wifi", c.wifi}, {"playAudio", c.playAudio}, {"recordAudio", c.recordAudio}};
}

Json ptzCapabilitiesJson(const CameraCapabilities& c) { return {{"zoom", c.zoom}, {"panTilt", c.panTilt}}; }

Json connectionDetailsJson(const Camera& camera) {
  return {{"cameraId", camera.cameraId}, {"localHost", camera.localHost}, {"globalHost", camera.globalHost}};
}

Json connectionCredentialsJson(const Camera& camera) {
  return {{"cameraId", camera.cameraId},
          {"username", camera.username},
          {"password", camera.password},
          {"cloudManagedCredentials", camera.cloudManagedCredentials}};
}

Json deviceInfoJson(const Camera& camera) { return {{"brand", camera.brand}, {"model", camera.model}}; }

Json cameraStatusJson(const Camera& camera) { return {{"cameraId", camera.cameraId}, {"online", camera.online}}; }

Json cameraJson(const Camera& camera) {
  Json j = {{"cameraId", camera.cameraId},
            {"name", camera.name},
            {"connectionType", camera.connectionType},
            {"audioEnabled", camera.audioEnabled},
            {"online", camera.online},
            {"deviceTypeId", camera.deviceTypeId},
            {"recordingOnCloud", camera.recordingOnCloud},
            {"recordingOnSd", camera.recordingOnSd},
            {"currentVersion", camera.currentVersion},
            {"targetVersion", camera.targetVersion},
            {"ethMacAddress", camera.macAddress},
            {"mobileStatus", mobileStatusJson(camera.mobileStatus)},
            {"wifiList",
             {{"wifiStatus", wifiNetworksJson(camera, camera.wifiStatus)},
              {"wifiSaved", wifiNetworksJson(camera, camera.wifiSaved)},
              {"wifiVisible", wifiNetworksJson(camera, camera.wifiVisible)}}},
            {"subscriptionRights", subscriptionRightsJson(camera)},
            {"cameraMode", Json::array({cameraModeJson(camera)})},
            {"detectionsCapabilities", Json::array({detectionsCapabilitiesJson(camera.capabilities)})},
            {"smartDetections", Json::array({smartDetectionsJson(camera)})},
            {"cameraDetections", cameraDetectionsJson(camera)},
            {"videoSettingsCapabilities", Json::array({videoSettingsCapabilitiesJson()})},
            {"footageSettingsCapabilities", Json::array({footageSettingsCapabilitiesJson()})},
            {"cameraCapabilities", Json::array({cameraCapabilitiesJson(camera.capabilities)})},
            {"cameraPtzCapabilities", Json::array({ptzCapabilitiesJson(camera.capabilities)})}};
  if (camera.zoneId >= 0) j["zoneId"] = camera.zoneId;
  return j;
}

Json userJson(const User& u) {
  return {{"userId", u.userId},
          {"accountId", u.accountId},
          {"firstName", u.firstName},
          {"lastName", u.lastName},
          {"email", u.email},
          {"valid", "true"},
          {"allowsHelpdesk", u.allowsHelpdesk}};
}

Json userDetailsJson(const User& u) {
  Json j = userJson(u);
  j["companyName"] = u.companyName;
  j["phone"] = u.phone;
  j["country"] = u.country;
  return j;
}

Json rightsJson(const UserRights& r) {
  return {{"demoUser", r.demoUser},
          {"microphone", r.microphone},
          {"playback", r.playback},
          {"export", r.exporting},
          {"addPnPCamera", r.addPnpCamera},
          {"addCameraManually", r.addCameraManually},
          {"editCamera", r.editCamera},
          {"deleteCamera", r.deleteCamera},
          {"addZone", r.addZone},
          {"editZone", r.editZone},
          {"deleteZone", r.deleteZone},
          {"audioPIR", r.audioPir},
          {"edgeStorageManagement", r.edgeStorageManagement},
          {"deleteRecording", r.deleteRecording},
          {"ptz", r.ptz}};
}

Json zoneJson(const Zone& zone) {
  return {{"zoneId", zone.zoneId}, {"name", zone.name}, {"status", zone.status}, {"cameraIds", zone.cameraIds}};
}

Json faceJson(const Face& face, int64_t accountId) {
  Json j = {{"faceId", face.faceId},
            {"accountId", accountId},
            {"createTime", face.createTime},
            {"samples", Json::array({{{"sampleId", face.faceId + "-s1"},
                                      {"createTime", face.createTime},
                                      {"quality", "good"},
                                      {"customData", nullptr}}})},
            {"customData", nullptr},
            {"state", face.state}};
  if (!face.name.empty()) j["name"] = face.name;
  return j;
}

Json eventTypeDetailJson(const EventTypeDetail& detail) {
  Json j = {{"eventType", detail.eventType},
            {"eventTypeTranslated", detail.translatedName},
            {"priority", detail.priority}};
  if (!detail.categoriesTranslated.empty()) {
    Json categories = Json::object();
    for (const auto& [name, text] : detail.categoriesTranslated) categories[name] = text;
    j["categoriesTranslated"] = categories;
  }
  return j;
}

Json deviceTypeJson(const DeviceType& t, bool includeCapabilities, bool includeLocalConnection) {
  Json j = {{"deviceTypeId", t.deviceTypeId}, {"display", {{"model", t.model}, {"brand", t.brand}}}};
  if (includeLocalConnection) j["localConnection"] = {{"apiFamilyId", t.apiFamilyId}};
  if (includeCapabilities) {
    j["capabilities"] = {{"microphone", t.microphone},   {"speaker", t.speaker},
                         {"wifi", t.wifi},               {"panTilt", t.panTilt},
                         {"zoom", t.zoom},               {"disableWifi", t.wifi},
                         {"forgetWifi", t.wifi},         {"saveMultipleWifi", t.wifi},
                         {"provideFirmwareVersion", true}};
  }
  return j;
}

const char* reasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 426: return "Upgrade Required";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Error";
  }
}

Json errorJson(int status, const std::string& message, const std::string& path) {
  return {{"status", status}, {"error", reasonPhrase(status)}, {"message", message}, {"path", path}};
}

}  // namespace dk::cloudsim::detail

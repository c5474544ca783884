// The JSON bodies of the simulated cloud, built from the World's records in the shapes the
// client's response models read (key names, nesting, one-element arrays where a model takes
// the first element, timestamps in the server format).
//
// Pure functions; thread-safe. Internal to the simulator (names nlohmann::json).
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "cloud-sim/world.h"

namespace dk::cloudsim::detail {

using Json = nlohmann::json;

Json recordingJson(const Recording& recording, int utcOffsetSeconds);
// `clipBaseUrl` non-empty: the event carries "streamUrls" with its "mp4Https" address.
Json eventJson(const Event& event, int utcOffsetSeconds, const std::string& clipBaseUrl);
std::string clipPathOf(int64_t eventId);  // "/media/clips/<id>.mp4"

Json cameraJson(const Camera& camera);
Json cameraStatusJson(const Camera& camera);
Json cameraModeJson(const Camera& camera);
Json wifiNetworkJson(const Camera& camera, const WifiNetwork& network, size_t index);
Json wifiNetworksJson(const Camera& camera, const std::vector<WifiNetwork>& networks);
Json mobileStatusJson(const MobileStatus& status);
Json subscriptionRightsJson(const Camera& camera);
Json detectionsCapabilitiesJson(const CameraCapabilities& capabilities);
Json smartDetectionsJson(const Camera& camera);
Json cameraDetectionsJson(const Camera& camera);
Json videoSettingsJson(const VideoSettings& settings);
Json videoSettingsCapabilitiesJson();
Json footageSettingsJson(const FootageSettings& settings);
Json footageSettingsCapabilitiesJson();
Json cameraCapabilitiesJson(const CameraCapabilities& capabilities);
Json ptzCapabilitiesJson(const CameraCapabilities& capabilities);
Json connectionDetailsJson(const Camera& camera);
Json connectionCredentialsJson(const Camera& camera);
Json deviceInfoJson(const Camera& camera);

Json userJson(const User& user);
Json userDetailsJson(const User& user);
Json rightsJson(const UserRights& rights);
Json zoneJson(const Zone& zone);
Json faceJson(const Face& face, int64_t accountId);
Json eventTypeDetailJson(const EventTypeDetail& detail);
Json deviceTypeJson(const DeviceType& type, bool includeCapabilities, bool includeLocalConnection);

// {"status": 404, "error": "Not Found", "message": ..., "path": ...}
Json errorJson(int status, const std::string& message, const std::string& path);
const char* reasonPhrase(int status);

}  // namespace dk::cloudsim::detail

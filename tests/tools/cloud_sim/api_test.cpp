// The API surface: every call the client can make is routed, and the bodies have the shapes
// the client's models read.
#include <algorithm>

#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

using Json = nlohmann::json;

struct Call {
  const char* method;
  const char* path;  // "%@" stands for identifiers, relative paths resolve under "/"
};

// Every call of the client's request table (downloads by absolute address aside).
const Call kCalls[] = {
      {"POST", "oauth/token"},
      {"GET", "/rest/v1/users/self/tokens/authorized_clients"},
      {"DELETE", "/rest/v1/users/self/tokens/authorized_clients/%@"},
      {"POST", "/rest/v2.0/passwordResets"},
      {"GET", "/rest/v2.0/ping"},
      {"GET", "/rest/v2.0/cameras/"},
      {"DELETE", "/rest/v2.0/cameras/%@"},
      {"GET", "/rest/v2.3/users/self"},
      {"GET", "/rest/v2.4/events"},
      {"DELETE", "/rest/v2.3/events/%@"},
      {"DELETE", "/rest/v2.3/events"},
      {"GET", "/rest/v2.2/cameras/%@/firmware"},
      {"POST", "/rest/v2.2/cameras/%@/firmware"},
      {"GET", "/rest/v2.2/cameras/all/firmware"},
      {"POST", "rest/v2.0/cameras/%@/summary"},
      {"POST", "/rest/v2.1/cameras/%@/wifi/saved"},
      {"PUT", "/rest/v2.0/cameras/%@/wifi/saved/%@"},
      {"GET", "rest/v2.0/cameras/%@/jobs"},
      {"GET", "/rest/v2.1/cameras/%@/mobile/network"},
      {"GET", "/rest/v2.1/cameras/%@/wifi/status"},
      {"GET", "/rest/v2.1/cameras/%@/wifi/visible"},
      {"GET", "/rest/v2.1/cameras/%@/wifi/saved"},
      {"DELETE", "/rest/v2.1/cameras/%@/wifi/saved/%@"},
      {"POST", "/rest/v2.0/users/self/push/devices/"},
      {"DELETE", "/rest/v2.0/users/self/tokens/current"},
      {"GET", "/rest/v2.0/cameras/%@/snapshot"},
      {"GET", "/rest/v2.1/cameras/%@/sims/current"},
      {"PUT", "/rest/v2.1/cameras/%@/sims/%@"},
      {"PUT", "/rest/v2.1/cameras/%@/sims/current"},
      {"GET", "/rest/v2.1/carriers/"},
      {"GET", "/rest/v2.1/cameras/%@"},
      {"GET", "/rest/v2.0/cameras/%@/status"},
      {"GET", "/rest/v2.0/cameras/all/status"},
      {"GET", "/rest/v2.0/cameras/%@/streams"},
      {"GET", "/rest/v2.4/events/%@"},
      {"GET", "/rest/v2.0/zones"},
      {"GET", "/rest/v2.0/cameras/%@/subscriptionRights"},
      {"PATCH", "/rest/v2.0/cameras/%@"},
      {"GET", "/rest/v2.2/cameras/all/mode"},
      {"GET", "/rest/v2.2/cameras/%@/mode"},
      {"PATCH", "/rest/v2.2/cameras/%@/mode"},
      {"GET", "/rest/v2.2/users/self/wizardCameraModels"},
      {"GET", "/rest/v2.0/deviceTypes"},
      {"POST", "/rest/v2.0/zones"},
      {"GET", "/rest/v2.2/cameras/%@/recordings/%@"},
      {"GET", "/rest/v2.2/cameras/%@/recordings"},
      {"GET", "/rest/v2.2/cameras/all/recordings"},
      {"PATCH", "/rest/v2.0/zones/%@"},
      {"DELETE", "/rest/v2.0/zones/%@"},
      {"PUT", "/rest/v2.0/cameras/%@/zone/%@"},
      {"PATCH", "/rest/v2.1/zones/%@/cameraIds"},
      {"GET", "rest/v2.0/cameras/%@/jobs/%@"},
      {"GET", "rest/v2.0/users/self/rights"},
      {"PATCH", "rest/v2.1/cameras/%@/wifi/status"},
      {"GET", "rest/v2.4/events/%@.jpg"},
      {"PUT", "rest/v2.1/cameras/%@/microphone"},
      {"POST", "rest/v2.1/cameras/%@/ptz"},
      {"GET", "rest/v2.0/cameras/%@/detectors/analytics"},
      {"PUT", "rest/v2.0/cameras/%@/detectors/analytics"},
      {"GET", "rest/v2.0/cameras/%@/detectors/capabilities"},
      {"PATCH", "rest/v2.0/users/self/status"},
      {"GET", "rest/v2.0/users/self/status"},
      {"PUT", "rest/v2.0/cameras/%@/detectors/pir"},
      {"PUT", "rest/v2.0/cameras/%@/detectors/video"},
      {"PUT", "rest/v2.0/cameras/%@/detectors/audio"},
      {"GET", "rest/v2.0/cameras/%@/detectors/pir"},
      {"GET", "rest/v2.0/cameras/%@/detectors/video"},
      {"GET", "rest/v2.0/cameras/%@/detectors/audio"},
      {"GET", "rest/v2.1/accounts/self/subscription/cameraslots"},
      {"GET", "rest/v2.2/cameras/%@/connection/details"},
      {"GET", "rest/v2.2/cameras/%@/connection/credentials"},
      {"GET", "rest/v2.2/cameras/%@/video/settings"},
      {"PATCH", "rest/v2.2/cameras/%@/video/settings"},
      {"GET", "rest/v2.2/cameras/%@/capabilities/image"},
      {"GET", "rest/v2.2/cameras/%@/footage/capabilities"},
      {"GET", "rest/v2.2/cameras/%@/footage/settings"},
      {"PATCH", "rest/v2.2/cameras/%@/footage/settings"},
      {"DELETE", "rest/v2.2/cameras/%@/video/settings"},
      {"GET", "rest/v2.2/cameras/%@/capabilities"},
      {"GET", "rest/v2.0/cameras/%@/detectors/doorbell"},
      {"PUT", "rest/v2.0/cameras/%@/detectors/doorbell"},
      {"GET", "/rest/v2.2/cameras/%@/recordings"},
      {"GET", "rest/v2.2/cameras/%@/deviceInfo"},
      {"GET", "/rest/v2.4/events"},
      {"GET", "rest/v2.4/sims/%@/dataUsage"},
      {"PATCH", "/rest/v2.3/users/self"},
      {"GET", "/rest/v2.3/users/self/details"},
      {"PATCH", "/rest/v2.3/users/self/details"},
      {"GET", "/rest/v2.3/users/self/credentials?password=%@"},
      {"PATCH", "/rest/v2.3/users/self/credentials"},
      {"GET", "rest/v2.2/cameras/%@/capabilities/ptz"},
      {"GET", "rest/v2.4/events/availableTypes"},
      {"GET", "rest/v2.4/events/eventTypeDetails"},
      {"GET", "rest/v2.4/faces"},
};

class Api : public SimTest {
 protected:
  void SetUp() override { start(smallWorld(3, 1)); }

  SimClient::Headers auth(bool json = false) {
    SimClient::Headers headers = {{"Authorization", "Bearer " + token()}};
    if (json) headers.emplace_back("Content-Type", "application/json");
    return headers;
  }
};

// Fills each "%@" with an identifier of the kind the path segment before it names.
std::string fill(const std::string& path, const World& world) {
  std::string out = path.front() == '/' ? path : "/" + path;
  size_t at;
  while ((at = out.find("%@")) != std::string::npos) {
    const std::string before = out.substr(0, at);
    std::string value = "1";
    auto endsWith = [&](const std::string& s) {
      return before.size() >= s.size() && before.compare(before.size() - s.size(), s.size(), s) == 0;
    };
    if (endsWith("cameras/")) value = std::to_string(world.cameras[0].cameraId);
    else if (endsWith("recordings/")) value = std::to_string(world.recordingsOf(world.cameras[0].cameraId)[0].recordingId);
    else if (endsWith("events/")) value = std::to_string(world.events[0].eventId);
    else if (endsWith("zone/") || endsWith("zones/")) value = std::to_string(world.zones[0].zoneId);
    else if (endsWith("saved/")) value = "Home-Guest";
    else if (endsWith("password=")) value = world.user.password;
    out.replace(at, 2, value);
  }
  return out;
}

TEST_F(Api, EveryCallOfTheClientIsRouted) {
  const World world = sim->world();
  ASSERT_EQ(std::size(kCalls), 94u);
  for (const Call& call : kCalls) {
    const std::string target = fill(call.path, world);
    // A fresh token each time: one of the calls revokes the token it presents.
    const SimClient::Headers headers = {{"Authorization", "Bearer " + sim->issueToken().accessToken},
                                        {"Content-Type", "application/json"}};
    const std::string body = std::string(call.method) == "GET" || std::string(call.method) == "DELETE" ? "" : "{}";
    const ClientResponse response = client->request(call.method, target, headers, body);
    ASSERT_TRUE(response.delivered) << target;
    EXPECT_NE(response.status, 405) << call.method << " " << target;
    if (response.status == 404) {
      const std::string message = response.json().value("message", "");
      EXPECT_EQ(message.rfind("No handler", 0), std::string::npos) << call.method << " " << target;
    }
    EXPECT_LT(response.status, 500) << call.method << " " << target << ": " << response.body;
  }
}

TEST_F(Api, UnknownPathsAndMethodsAreTold) {
  ClientResponse response = client->get("/rest/v9.9/cameras", token());
  EXPECT_EQ(response.status, 404);
  EXPECT_EQ(response.json()["message"], "No handler found for GET /rest/v9.9/cameras");
  response = client->request("PUT", "/rest/v2.0/zones", auth());
  EXPECT_EQ(response.status, 405);
  EXPECT_EQ(response.header("Allow"), "GET, POST");
  response = client->request("HEAD", "/rest/v2.0/ping", auth());
  EXPECT_EQ(response.status, 200);
  EXPECT_TRUE(response.body.empty());
  EXPECT_NE(response.header("Content-Length"), "0");
}

TEST_F(Api, CamerasCarryWhatTheCameraModelReads) {
  const ClientResponse response = client->get("/rest/v2.0/cameras/", token());
  ASSERT_EQ(response.status, 200);
  const Json cameras = response.json();
  ASSERT_EQ(cameras.size(), 3u);
  const Json& door = cameras[0];
  for (const char* key : {"cameraId", "name", "connectionType", "audioEnabled", "online", "zoneId",
                          "deviceTypeId", "recordingOnCloud", "recordingOnSd", "currentVersion",
                          "targetVersion", "ethMacAddress", "mobileStatus", "wifiList",
                          "subscriptionRights", "cameraDetections"}) {
    EXPECT_TRUE(door.contains(key)) << key;
  }
  // Records the model takes as the first element of an array.
  for (const char* key : {"cameraMode", "detectionsCapabilities", "smartDetections",
                          "videoSettingsCapabilities", "footageSettingsCapabilities",
                          "cameraCapabilities", "cameraPtzCapabilities"}) {
    ASSERT_TRUE(door[key].is_array()) << key;
    EXPECT_EQ(door[key].size(), 1u) << key;
  }
  EXPECT_EQ(door["cameraMode"][0]["mode"], "armed");
  EXPECT_EQ(door["cameraDetections"]["pirDetection"], Json::array({{{"enabled", true}}}));
  EXPECT_TRUE(door["online"].get<bool>());
  EXPECT_FALSE(cameras[1]["online"].get<bool>());
  EXPECT_TRUE(door["wifiList"]["wifiStatus"][0].contains("essid")) << "odd identifiers use the other spelling";
  EXPECT_TRUE(cameras[1]["wifiList"]["wifiSaved"][0].contains("ssid"));

  const std::string id = std::to_string(door["cameraId"].get<int64_t>());
  EXPECT_EQ(client->get("/rest/v2.0/cameras/" + id + "/status", token()).json(),
            Json({{"cameraId", door["cameraId"]}, {"online", true}}));
  const Json modes = client->get("/rest/v2.2/cameras/all/mode", token()).json();
  ASSERT_EQ(modes.size(), 3u);
  EXPECT_EQ(modes[2]["cameraMode"][0]["mode"], "silent");
  EXPECT_EQ(client->get("/rest/v2.0/cameras/" + id + "/detectors/pir", token()).json(), Json({{"enabled", true}}));
}

TEST_F(Api, ChangesPersistAndBadValuesAreRefused) {
  const std::string id = std::to_string(firstCamera());
  ClientResponse response = client->request("PUT", "/rest/v2.0/cameras/" + id + "/detectors/pir", auth(true),
                                            R"({"enabled":"false"})");
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(client->get("/rest/v2.0/cameras/" + id + "/detectors/pir", token()).json()["enabled"], false);
  response = client->request("PUT", "/rest/v2.0/cameras/" + id + "/detectors/pir", auth(true),
                             R"({"enabled":"maybe"})");
  EXPECT_EQ(response.status, 400);

  response = client->request("PATCH", "/rest/v2.0/cameras/" + id, auth(true),
                             Json({{"name", std::string(65, 'x')}}).dump());
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.json()["message"], "length must be between 1 and 64");

  response = client->request("PATCH", "/rest/v2.2/cameras/" + id + "/mode", auth(true),
                             R"({"mode":"disarmed","recordingMode":"eventBased"})");
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(response.json()["previousMode"], "armed");
  EXPECT_EQ(client->get("/rest/v2.2/cameras/" + id + "/mode", token()).json()["recordingMode"], "eventBased");

  response = client->request("PATCH", "/rest/v2.2/cameras/" + id + "/footage/settings", auth(true),
                             R"({"rec":{"video":{"resolution":"1280x720","framerate":"25","maxBitRate":"1024"}}})");
  ASSERT_EQ(response.status, 200) << response.body;
  EXPECT_EQ(response.json()["rec"]["video"]["framerate"], 25);
  response = client->request("PATCH", "/rest/v2.2/cameras/" + id + "/footage/settings", auth(true),
                             R"({"rec":{"video":{"resolution":"1920x1080","framerate":30}}})");
  EXPECT_EQ(response.status, 400) << "full HD does not offer 30 frames a second";

  response = client->request("DELETE", "/rest/v2.0/cameras/" + id + "?password=wrong", auth());
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.json()["message"], "Invalid credentials to delete the camera");
}

TEST_F(Api, ZonesGroupCameras) {
  const World world = sim->world();
  ClientResponse response = client->request("POST", "/rest/v2.0/zones", auth(true), R"({"name":"Default"})");
  ASSERT_EQ(response.status, 201);
  const int64_t zone = response.json()["zoneId"];
  const int64_t a = world.cameras[0].cameraId, b = world.cameras[2].cameraId;
  response = client->request("PATCH", "/rest/v2.1/zones/" + std::to_string(zone) + "/cameraIds", auth(true),
                             Json::array({a, b}).dump());
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(response.json()["cameraIds"], Json::array({a, b}));
  EXPECT_EQ(client->get("/rest/v2.1/cameras/" + std::to_string(b), token()).json()["zoneId"], zone);
  const Json zones = client->get("/rest/v2.0/zones", token()).json();
  for (const Json& z : zones) {
    if (z["zoneId"] != zone) {
      const auto ids = z["cameraIds"].get<std::vector<int64_t>>();
      EXPECT_EQ(std::count(ids.begin(), ids.end(), a), 0) << "a camera sits in one zone";
    }
  }
}

TEST_F(Api, AccountLookUps) {
  const Json user = client->get("/rest/v2.3/users/self", token()).json();
  EXPECT_EQ(user["userId"], 42);
  EXPECT_EQ(user["accountId"], 7);
  EXPECT_EQ(client->get("/rest/v2.3/users/self/details", token()).json()["country"], "NL");
  const Json rights = client->get("/rest/v2.0/users/self/rights", token()).json();
  EXPECT_EQ(rights.size(), 15u);
  EXPECT_EQ(rights["addCameraManually"], true);
  EXPECT_EQ(rights["export"], true);

  const Json types = client->get("/rest/v2.4/events/availableTypes", token()).json();
  EXPECT_EQ(types.size(), 7u);
  EXPECT_EQ(types[0], "vmdDetected");
  const Json details = client->get("/rest/v2.4/events/eventTypeDetails?language=en", token()).json();
  ASSERT_EQ(details.size(), 7u);
  for (const Json& d : details) {
    EXPECT_TRUE(d["priority"].is_number_integer());
    EXPECT_TRUE(d["eventTypeTranslated"].is_string());
  }
  EXPECT_EQ(details[5]["categoriesTranslated"]["person"], "Person");
  const Json faces = client->get("/rest/v2.4/faces", token()).json();
  ASSERT_EQ(faces.size(), 3u);
  EXPECT_EQ(faces[0]["state"], "known");
  EXPECT_EQ(faces[0]["name"], "Alice");
  EXPECT_FALSE(faces[2].contains("name"));

  const Json devices = client->get("/rest/v2.0/deviceTypes?includeCapabilities=true&includeLocalConnection=true",
                                   token()).json();
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0]["localConnection"]["apiFamilyId"], "HostedCam");
  EXPECT_TRUE(devices[0]["capabilities"]["panTilt"].get<bool>());
}

TEST_F(Api, LiveFeedPathAsksForAnUpgrade) {
  ClientResponse response = client->get("/stomp/v2.0", token());
  EXPECT_EQ(response.status, 426);
  response = client->request("GET", "/stomp/v2.0",
                             {{"Authorization", "Bearer " + token()},
                              {"Connection", "Upgrade"},
                              {"Upgrade", "websocket"},
                              {"Sec-WebSocket-Version", "13"},
                              {"Sec-WebSocket-Key", "dGhlIHNhbXBsZSBub25jZQ=="}});
  EXPECT_EQ(response.status, 101) << "the live feed takes the connection over";
  const auto log = sim->requestsTo("/stomp/v2.0");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].status, 0) << "an upgrade is handed over, not answered";
}

}  // namespace
}  // namespace dk::cloudsim::test

#include "model/kl_camera_response.h"

#include <gtest/gtest.h>

#include "model/kl_event_response.h"
#include "model_test_support.h"

namespace dk {
namespace {

using platform::Value;

KLCameraPtr camera(std::string_view text) { return test::mapped<KLCameraResponse>(text); }

constexpr std::string_view kFullCamera = R"({
  "cameraId": 9, "name": "Front Door", "connectionType": "wifi", "audioEnabled": true, "online": true,
  "zoneId": 4, "deviceTypeId": 12, "recordingOnCloud": true, "recordingOnSd": false,
  "currentVersion": "1.2", "targetVersion": "1.3", "ethMacAddress": "aA-bB-cC-dD-eE-fF",
  "mobileStatus": {"state": "connected", "network": "LTE"},
  "wifiList": {"wifiStatus": [{"ssid": "Home"}], "wifiSaved": [{"ssid": "Home", "password": "pw"}]},
  "subscriptionRights": {"cameraId": 9, "daysOfRecordings": 30},
  "cameraMode": [{"mode": "armed"}, {"mode": "silent"}],
  "detectionsCapabilities": [{"pir": true, "analyticsPersonArea": true}],
  "smartDetections": [{"enabled": 1, "personDetectionOnly": true}],
  "cameraDetections": {"pirDetection": [{"enabled": true}]},
  "videoSettingsCapabilities": [{"rotationOptions": [0, 180]}],
  "footageSettingsCapabilities": [{"rec": {"640x480": {"framerates": [10]}}}],
  "cameraCapabilities": [{"ptz": true}],
  "cameraPtzCapabilities": [{"zoom": true, "panTilt": false}]})";

TEST(KLCameraMapping, EveryRowOfTheKeyMap) {
  auto c = camera(kFullCamera);
  EXPECT_EQ(c->cameraID(), 9);
  EXPECT_EQ(c->name(), "Front Door");
  EXPECT_EQ(c->cameraState(), KLCameraStateOnline);
  EXPECT_TRUE(c->isRecording());
  EXPECT_EQ(c->macAddress(), "aA-bB-cC-dD-eE-fF");
  EXPECT_EQ(c->mobileStatus()->state(), "connected");
  EXPECT_EQ(c->subscriptionRights()->daysOfRecordings(), 30);
  EXPECT_EQ(c->cameraMode()->mode(), "armed") << "the first element only";
  EXPECT_TRUE(c->detectionsCapabilities()->hasSmartDetectionsCapability());
  EXPECT_EQ(c->smartDetections()->personDetectionOnly(), true);
  EXPECT_EQ(c->cameraDetections()->pirDetection(), 1);
  EXPECT_EQ(c->videoSettingsCapabilities()->rotationCapabilities(), (Strings{"0", "180"}));
  EXPECT_EQ(c->footageSettingsCapabilities()->resolutions(), (Strings{"640x480"}));
  EXPECT_EQ(c->cameraCapabilities()->ptz(), true);
  EXPECT_EQ(c->cameraPtzCapabilities()->panTilt(), false);
  auto connected = c->wifiStatus();
  ASSERT_TRUE(connected);
  EXPECT_EQ(connected->password(), "pw") << "the saved record is merged into the connected one";
  int mapped = 0;
  for (const auto* p : KLCameraResponse::staticClassInfo().properties()) mapped += p->jsonKeyPaths.empty() ? 0 : 1;
  EXPECT_EQ(mapped, 23);
}

TEST(KLCameraMapping, NewAndSparseRecordsKeepTheirEmptyNestedObjects) {
  auto sparse = camera(R"({"online": true})");
  EXPECT_EQ(sparse->cameraState(), KLCameraStateOnline);
  ASSERT_TRUE(sparse->mobileStatus());
  ASSERT_TRUE(sparse->wifiList());
  ASSERT_TRUE(sparse->cameraMode());
  ASSERT_TRUE(sparse->cameraDetections());
  EXPECT_FALSE(sparse->videoSettingsCapabilities());
  EXPECT_FALSE(sparse->wifiStatus()) << "no connected network yet";
  KLCameraResponse fresh;
  EXPECT_EQ(fresh.cameraState(), KLCameraStateUnknown);
  fresh.setState(false);
  EXPECT_EQ(fresh.cameraState(), KLCameraStateOffline);
}

TEST(KLCameraMapping, NestedRecordOfTheWrongTypeStaysAnEmptyRecord) {
  auto c = camera(R"({"cameraId": 9, "mobileStatus": [], "wifiList": "none", "subscriptionRights": 3,
                      "cameraDetections": [{"pirDetection": []}]})");
  ASSERT_TRUE(c->mobileStatus());
  EXPECT_FALSE(c->mobileStatus()->state());
  ASSERT_TRUE(c->wifiList());
  ASSERT_TRUE(c->subscriptionRights());
  EXPECT_FALSE(c->subscriptionRights()->daysOfRecordings());
  ASSERT_TRUE(c->cameraDetections());
  // Merged into a cached camera, such a reply changes none of its nested records.
  auto cached = camera(kFullCamera);
  auto status = cached->mobileStatus();
  cached->mergeValuesForKeysFromModel(Value(c));
  EXPECT_EQ(cached->mobileStatus(), status);
  EXPECT_EQ(cached->mobileStatus()->state(), "connected");
  EXPECT_EQ(cached->subscriptionRights()->daysOfRecordings(), 30);
}

TEST(KLCameraMapping, FirstElementAndAddressRules) {
  EXPECT_FALSE(camera(R"({"cameraMode": []})")->cameraMode());
  EXPECT_FALSE(camera(R"({"cameraMode": {"mode": "armed"}})")->cameraMode());
  EXPECT_FALSE(camera(R"({"cameraCapabilities": [3]})")->cameraCapabilities());
  EXPECT_FALSE(camera(R"({"ethMacAddress": "00:00:00:00:00:00"})")->macAddress());
  EXPECT_FALSE(camera(R"({"ethMacAddress": "aa:bb:cc:dd:ee"})")->macAddress());
  EXPECT_FALSE(camera(R"({"ethMacAddress": "gg:bb:cc:dd:ee:ff"})")->macAddress());
  EXPECT_EQ(camera(R"({"ethMacAddress": "AA:bb:CC:dd:EE:ff"})")->macAddress(), "AA:bb:CC:dd:EE:ff");
}

TEST(KLCameraMerge, SparseReplyChangesOnlyWhatItCarries) {
  auto cached = camera(kFullCamera);
  auto mode = cached->cameraMode();
  auto rights = cached->subscriptionRights();
  auto detections = cached->cameraDetections();
  cached->mergeValuesForKeysFromModel(camera(R"({"online": false})"));
  EXPECT_EQ(cached->cameraState(), KLCameraStateOffline);
  EXPECT_EQ(cached->name(), "Front Door");
  EXPECT_EQ(cached->cameraID(), 9);
  EXPECT_EQ(cached->cameraMode(), mode);
  EXPECT_EQ(cached->subscriptionRights(), rights);
  EXPECT_EQ(cached->cameraDetections(), detections);
  EXPECT_EQ(cached->mobileStatus()->state(), "connected");
  EXPECT_TRUE(cached->videoSettingsCapabilities());
}

TEST(KLCameraMerge, NestedRecordsAreTakenOnlyWhenReallySent) {
  auto cached = camera(kFullCamera);
  auto detections = cached->cameraDetections();
  cached->mergeValuesForKeysFromModel(camera(R"({"cameraDetections": {"doorbellDetection": [{"enabled": true}]},
      "cameraMode": [{"mode": "HOLIDAY"}], "mobileStatus": {"network": "5G"}, "smartDetections": [{"enabled": 0}]})"));
  EXPECT_EQ(cached->cameraDetections(), detections) << "no video, PIR or sound switch: not taken";
  EXPECT_EQ(cached->cameraMode()->mode(), "armed") << "a mode without a display name: not taken";
  EXPECT_EQ(cached->mobileStatus()->network(), "LTE") << "a status without state: not taken";
  EXPECT_EQ(cached->smartDetections()->personDetectionOnly(), true);

  auto reply = camera(R"({"cameraMode": [{"mode": "silent"}], "cameraDetections": {"soundDetection": [{"enabled": false}]},
      "subscriptionRights": {"daysOfRecordings": 7}})");
  cached->mergeValuesForKeysFromModel(reply);
  EXPECT_EQ(cached->cameraMode(), reply->cameraMode()) << "taken over whole, shared";
  EXPECT_EQ(cached->cameraDetections(), reply->cameraDetections());
  EXPECT_EQ(cached->subscriptionRights()->daysOfRecordings(), 7);
}

TEST(KLCameraUpdate, BodyWithoutUnknownFieldsAndEmptyName) {
  KLCameraUpdateResponse update;
  update.setName("Garage");
  update.setState(false);
  auto body = update.JSONObject();
  EXPECT_EQ(body.size(), 2u);
  EXPECT_EQ(body["online"], Value(false));
  EXPECT_EQ(body["name"], Value("Garage"));
  update.setName("");
  update.setZoneID(-1);
  body = update.JSONObject();
  EXPECT_FALSE(body.count("name"));
  EXPECT_EQ(body["zoneId"], Value(-1));
  EXPECT_EQ(Value(body).toJSON(), R"({"online":false,"zoneId":-1})");
}

// Every field of the update body under its own key, and only the fields that are known.
TEST(KLCameraUpdate, BodyCarriesEachKnownFieldUnderItsKey) {
  struct Field {
    const char* key;
    std::function<void(KLCameraUpdateResponse&)> set;
    Value value;
  };
  const Field fields[] = {
      {"online", [](auto& u) { u.setState(true); }, Value(true)},
      {"audioEnabled", [](auto& u) { u.setAudioEnabled(false); }, Value(false)},
      {"cameraId", [](auto& u) { u.setCameraID(9); }, Value(9)},
      {"connectionType", [](auto& u) { u.setConnectionType("wifi"); }, Value("wifi")},
      {"name", [](auto& u) { u.setName("Porch"); }, Value("Porch")},
      {"zoneId", [](auto& u) { u.setZoneID(4); }, Value(4)},
      {"recordingOnCloud", [](auto& u) { u.setRecordingOnCloud(true); }, Value(true)},
      {"recordingOnSd", [](auto& u) { u.setRecordingOnSd(false); }, Value(false)},
      {"deviceTypeId", [](auto& u) { u.setDeviceTypeId(12); }, Value(12)},
  };
  KLCameraUpdateResponse all;
  for (const Field& field : fields) {
    SCOPED_TRACE(field.key);
    KLCameraUpdateResponse update;
    field.set(update);
    field.set(all);
    const auto body = update.JSONObject();
    EXPECT_EQ(body.size(), 1u);
    ASSERT_TRUE(body.contains(field.key));
    EXPECT_EQ(body.at(field.key), field.value);
  }
  EXPECT_EQ(all.JSONObject().size(), std::size(fields));
}

// What merging a reply must keep: a value the reply lacks, or carries empty, leaves the cached
// one as it was (a camera's status reply carries no Wi-Fi networks; the clip addresses of an
// event come without its category); a value the reply carries replaces it.
TEST(KLMergeRules, MissingOrEmptyValuesKeepTheCachedOnes) {
  enum Expect { Kept, Taken };
  struct Rule {
    const char* what;
    const platform::ClassInfo& cls;
    const char* cached;
    const char* reply;
    const char* key;
    Expect expect;
  };
  const auto& camera = KLCameraResponse::staticClassInfo();
  const auto& event = KLEventResponse::staticClassInfo();
  const auto& wifi = KLWiFiResponse::staticClassInfo();
  constexpr const char* kEvent = R"({"eventId": 5, "timestamp": "2021-03-28T10:15:30.000+02:00",
                                     "type": "vmdDetected", "category": "person", "faceId": "f1"})";
  constexpr const char* kNetwork = R"({"ssid": "Home", "state": "connected", "id": "n1", "password": "pw"})";
  const Rule rules[] = {
      {"a status reply without networks", camera, kFullCamera.data(), R"({"online": true})", "wifiList", Kept},
      {"a reply whose lists are empty", camera, kFullCamera.data(), R"({"wifiList": {"wifiStatus": [], "wifiSaved": []}})",
       "wifiList", Kept},
      {"an event's clip addresses", event, kEvent, R"({"eventId": 5, "streamUrls": {"mp4Https": "https://c"}})",
       "category", Kept},
      {"an event's clip addresses", event, kEvent, R"({"eventId": 5})", "faceId", Kept},
      {"an event's clip addresses", event, kEvent, R"({"eventId": 5})", "timestamp", Kept},
      {"an event's clip addresses", event, kEvent, R"({"eventId": 5})", "time", Kept},
      {"an event's clip addresses", event, kEvent, R"({"eventId": 5})", "simpleTime", Kept},
      {"an event's clip addresses", event, kEvent, R"({"eventId": 5})", "formattedDate", Kept},
      {"an event's clip addresses", event, kEvent, R"({"eventId": 5})", "date", Kept},
      {"a new category", event, kEvent, R"({"eventId": 5, "category": "vehicle"})", "category", Taken},
      {"a new time", event, kEvent, R"({"eventId": 5, "timestamp": "2021-03-29T18:45:00.000+02:00"})", "time", Taken},
      {"a new time", event, kEvent, R"({"eventId": 5, "timestamp": "2021-03-29T18:45:00.000+02:00"})", "formattedDate",
       Taken},
      {"a record without SSID", wifi, kNetwork, R"({"password": "new"})", "wifiIDVariations", Kept},
      {"a record without state", wifi, kNetwork, R"({"password": "new"})", "stateVariations", Kept},
      {"a record without identifier", wifi, kNetwork, R"({"password": "new"})", "networkIDVariations", Kept},
      {"a record with a password", wifi, kNetwork, R"({"password": "new"})", "password", Taken},
      {"a record with another SSID", wifi, kNetwork, R"({"essid": "Cafe"})", "wifiIDVariations", Taken},
  };
  for (const Rule& rule : rules) {
    SCOPED_TRACE(std::string(rule.what) + ": " + rule.key);
    auto cached = platform::modelFromJSON(rule.cls, test::json(rule.cached));
    auto reply = platform::modelFromJSON(rule.cls, test::json(rule.reply));
    ASSERT_TRUE(cached && reply);
    const Value before = cached->valueForKey(rule.key);
    const Value offered = reply->valueForKey(rule.key);
    ASSERT_NE(before, offered) << "the rule must tell the two apart";
    cached->mergeValuesForKeysFromModel(reply);
    EXPECT_EQ(cached->valueForKey(rule.key), rule.expect == Kept ? before : offered);
  }
}

TEST(KLCameraState, OfflineSetterFlushesTheWiFiLists) {
  auto c = camera(kFullCamera);
  ASSERT_FALSE(c->wifiList()->status().empty());
  c->setCameraState(KLCameraStateOnline);
  EXPECT_FALSE(c->wifiList()->status().empty());
  c->setCameraState(KLCameraStateOffline);
  EXPECT_TRUE(c->wifiList()->status().empty());
  EXPECT_EQ(c->cameraState(), KLCameraStateOnline) << "the state is always derived from the online flag";
}

TEST(KLCameraWiFiStatus, NilWithAnEmptyStatusList) {
  auto c = camera(R"({"wifiList": {"wifiSaved": [{"ssid": "Home"}]}})");
  EXPECT_FALSE(c->wifiStatus());
}

}  // namespace
}  // namespace dk

#include "model/kl_camera_response.h"

#include <gtest/gtest.h>

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

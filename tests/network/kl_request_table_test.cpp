#include "network/kl_request.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>

#include "network/kl_request_table.h"

namespace dk {
namespace {

std::shared_ptr<KLRequest> requestNamed(int32_t name) {
  auto request = std::make_shared<KLRequest>();
  request->setRequestName(name);
  return request;
}

// Tallies of one column over every name 0 to 96.
template <typename T, typename Column>
std::map<T, int> tally(Column column) {
  std::map<T, int> counts;
  for (int32_t name = 0; name < kKLRequestNameCount; ++name) counts[column(*requestNamed(name))]++;
  return counts;
}

TEST(KLRequestTable, MethodCountsMatchTheApiVocabulary) {
  auto counts = tally<int32_t>([](const KLRequest& r) { return r.methodType(); });
  EXPECT_EQ(counts[KLRequestMethodGet], 57);
  EXPECT_EQ(counts[KLRequestMethodPost], 6);
  EXPECT_EQ(counts[KLRequestMethodPut], 10);
  EXPECT_EQ(counts[KLRequestMethodDelete], 8);
  EXPECT_EQ(counts[KLRequestMethodPatch], 11);
  EXPECT_EQ(counts[KLRequestMethodLogin], 1);
  EXPECT_EQ(counts[KLRequestMethodClientCredentials], 1);
  EXPECT_EQ(counts[KLRequestMethodPing], 1);
  EXPECT_EQ(counts[KLRequestMethodDownload], 1);
  EXPECT_EQ(counts[KLRequestMethodNone], 1);
  EXPECT_EQ(counts.size(), 10u);
}

TEST(KLRequestTable, SerializerCountsMatchTheApiVocabulary) {
  auto counts = tally<int32_t>([](const KLRequest& r) { return r.responseRequestSerializer(); });
  EXPECT_EQ(counts[KLSerializerTypeJSONCredential], 58);
  EXPECT_EQ(counts[KLSerializerTypeJSONUpdate], 32);
  EXPECT_EQ(counts[KLSerializerTypeImage], 2);
  EXPECT_EQ(counts[KLSerializerTypeHTTP], 1);
  EXPECT_EQ(counts[KLSerializerTypeHTMLCredential], 1);
  EXPECT_EQ(counts[KLSerializerTypeDownload], 1);
  EXPECT_EQ(counts[KLSerializerTypeVideoSummary], 1);
  EXPECT_EQ(counts[KLSerializerTypeNone], 1);
  EXPECT_EQ(counts.size(), 8u);
  EXPECT_EQ(requestNamed(27)->responseRequestSerializer(), KLSerializerTypeImage);
  EXPECT_EQ(requestNamed(56)->responseRequestSerializer(), KLSerializerTypeImage);
}

TEST(KLRequestTable, RetryCountsAndIntervals) {
  auto retries = tally<int64_t>([](const KLRequest& r) { return r.numberOfRetries(); });
  EXPECT_EQ(retries[3], 90);
  EXPECT_EQ(retries[4], 1);
  EXPECT_EQ(retries[1], 4);
  EXPECT_EQ(retries[-1], 2);
  EXPECT_EQ(retries.size(), 4u);
  EXPECT_EQ(requestNamed(USER_GET_REQUEST_CLOUD)->numberOfRetries(), 4);
  for (int32_t name : {24, 27, 56, 58}) EXPECT_EQ(requestNamed(name)->numberOfRetries(), 1) << name;
  for (int32_t name : {0, 5}) EXPECT_EQ(requestNamed(name)->numberOfRetries(), -1) << name;

  auto intervals = tally<double>([](const KLRequest& r) { return r.retryInterval(); });
  EXPECT_EQ(intervals[3.0], 95);
  EXPECT_EQ(intervals[5.0], 1);
  EXPECT_EQ(intervals[0.0], 1);
  EXPECT_EQ(requestNamed(DAILY_SUMMARY_JOB_GET_REQUEST_CLOUD)->retryInterval(), 5.0);
}

// Every row of the API vocabulary, as the cloud API documents it: name string, path template,
// method, serializer, retries, interval, model class and root key.
TEST(KLRequestTable, EveryRowIsExact) {
  struct Row {
    int32_t name;
    const char* nameString;
    const char* path;
    int32_t method;
    int32_t serializer;
    int64_t retries;
    double interval;
    const char* model;
    const char* rootKey;
  };
  // clang-format off
  const Row rows[] = {
      {0, "NOT_A_REQUEST", "", -1, -1, -1, 0.0, "", ""},
      {1, "LOGIN_REQUEST_CLOUD", "oauth/token", 5, 0, 3, 3.0, "", ""},
      {2, "IOT_GET_REQUEST_CLOUD", "/rest/v1/users/self/tokens/authorized_clients", 0, 4, 3, 3.0, "", "iots"},
      {3, "IOT_DELETE_REQUEST_CLOUD", "/rest/v1/users/self/tokens/authorized_clients/%@", 3, 11, 3, 3.0, "", ""},
      {4, "RECOVER_PASSWORD_REQUEST_CLOUD", "/rest/v2.0/passwordResets", 6, 4, 3, 3.0, "", ""},
      {5, "PING_REQUEST_CLOUD", "/rest/v2.0/ping", 7, 3, -1, 3.0, "", ""},
      {6, "CAMERAS_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/", 0, 4, 3, 3.0, "KLCameraListResponse", "cameras"},
      {7, "CAMERA_DELETE_REQUEST_CLOUD", "/rest/v2.0/cameras/%@", 3, 11, 3, 3.0, "", ""},
      {8, "USER_GET_REQUEST_CLOUD", "/rest/v2.3/users/self", 0, 4, 4, 3.0, "KLUserResponse", ""},
      {9, "OLD_EVENTS_GET_REQUEST_CLOUD", "/rest/v2.4/events", 0, 4, 3, 3.0, "KLEventListResponse", "events"},
      {10, "EVENT_DELETE_REQUEST_CLOUD", "/rest/v2.3/events/%@", 3, 11, 3, 3.0, "", ""},
      {11, "EVENTS_DELETE_REQUEST_CLOUD", "/rest/v2.3/events", 3, 11, 3, 3.0, "", ""},
      {12, "FIRMWARE_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/firmware", 0, 4, 3, 3.0, "", ""},
      {13, "FIRMWARE_POST_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/firmware", 1, 11, 3, 3.0, "", ""},
      {14, "FIRMWARE_ALL_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/all/firmware", 0, 4, 3, 3.0, "", "firmwares"},
      {15, "DAILY_SUMMARY_POST_REQUEST_CLOUD", "rest/v2.0/cameras/%@/summary", 1, 11, 3, 3.0, "", ""},
      {16, "WIFI_UNKNOWN_POST_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/saved", 1, 11, 3, 3.0, "", ""},
      {17, "WIFI_KNOWN_PUT_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/wifi/saved/%@", 2, 11, 3, 3.0, "", ""},
      {18, "JOBS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/jobs", 0, 4, 3, 3.0, "", "jobs"},
      {19, "MOBILE_STATUS_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/mobile/network", 0, 4, 3, 3.0, "KLWiFiResponse", ""},
      {20, "WIFI_STATUS_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/status", 0, 4, 3, 3.0, "KLWiFiListResponse", "wifiStatus"},
      {21, "WIFI_VISIBLE_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/visible", 0, 4, 3, 3.0, "KLWiFiListResponse", "wifiVisible"},
      {22, "WIFI_SAVED_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/saved", 0, 4, 3, 3.0, "KLWiFiListResponse", "wifiSaved"},
      {23, "WIFI_DELETE_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/saved/%@", 3, 11, 3, 3.0, "", ""},
      {24, "PUSH_NOTIFICATIONS_POST_REQUEST_CLOUD", "/rest/v2.0/users/self/push/devices/", 1, 11, 1, 3.0, "", ""},
      {25, "PUSH_NOTIFICATIONS_DELETE_REQUEST_CLOUD", "/rest/v2.0/users/self/tokens/current", 3, 11, 3, 3.0, "", ""},
      {26, "DOWNLOAD_VIDEO_REQUEST_CLOUD", "", 8, 8, 3, 3.0, "", ""},
      {27, "CAMERA_SNAPSHOT_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/snapshot", 0, 9, 1, 3.0, "", "snapshot"},
      {28, "SIM_CARD_CURRENT_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/sims/current", 0, 4, 3, 3.0, "", ""},
      {29, "SIM_CARD_PUT_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/sims/%@", 2, 11, 3, 3.0, "", ""},
      {30, "SIM_CARD_CURRENT_PUT_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/sims/current", 2, 11, 3, 3.0, "", ""},
      {31, "CARRIERS_GET_REQUEST_CLOUD", "/rest/v2.1/carriers/", 0, 4, 3, 3.0, "", "carriers"},
      {32, "CAMERA_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@", 0, 4, 3, 3.0, "KLCameraResponse", ""},
      {33, "CAMERA_STATUS_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/status", 0, 4, 3, 3.0, "KLCameraResponse", ""},
      {34, "CAMERAS_STATUS_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/all/status", 0, 4, 3, 3.0, "KLCameraListResponse", "cameras"},
      {35, "CAMERA_STREAM_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/streams", 0, 4, 3, 3.0, "KLCameraResponse", "urls"},
      {36, "EVENT_GET_REQUEST_CLOUD", "/rest/v2.4/events/%@", 0, 4, 3, 3.0, "KLEventResponse", ""},
      {37, "ZONES_GET_REQUEST_CLOUD", "/rest/v2.0/zones", 0, 4, 3, 3.0, "", "zones"},
      {38, "SUBSCRIPTIONS_RIGHTS_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/subscriptionRights", 0, 4, 3, 3.0, "KLSubscriptionRightsResponse", ""},
      {39, "CAMERA_PATCH_REQUEST_CLOUD", "/rest/v2.0/cameras/%@", 4, 11, 3, 3.0, "", ""},
      {40, "CAMERAS_MODE_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/all/mode", 0, 4, 3, 3.0, "KLCameraListResponse", "cameras"},
      {41, "CAMERA_MODE_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/mode", 0, 4, 3, 3.0, "KLCameraResponse", "cameraMode"},
      {42, "CAMERA_PATCH_MODE_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/mode", 4, 11, 3, 3.0, "", ""},
      {43, "USER_WIZARD_CAMERA_MODELS_GET_REQUEST_CLOUD", "/rest/v2.2/users/self/wizardCameraModels", 0, 4, 3, 3.0, "KLWizardCameraModelsResponse", "wizardCameraModels"},
      {44, "DEVICE_TYPES_GET_REQUEST_CLOUD", "/rest/v2.0/deviceTypes", 0, 4, 3, 3.0, "KLDeviceTypesResponse", "deviceTypes"},
      {45, "ZONE_POST_REQUEST_CLOUD", "/rest/v2.0/zones", 1, 11, 3, 3.0, "", ""},
      {46, "RECORDING_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/recordings/%@", 0, 4, 3, 3.0, "KLRecordingResponse", ""},
      {47, "RECORDINGS_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/recordings", 0, 4, 3, 3.0, "KLRecordingListResponse", "recordings"},
      {48, "RECORDINGS_ALL_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/all/recordings", 0, 4, 3, 3.0, "KLRecordingListResponse", "recordings"},
      {49, "ZONE_PATCH_REQUEST_CLOUD", "/rest/v2.0/zones/%@", 4, 11, 3, 3.0, "", ""},
      {50, "ZONE_DELETE_REQUEST_CLOUD", "/rest/v2.0/zones/%@", 3, 11, 3, 3.0, "", ""},
      {51, "CAMERA_ZONE_PUT_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/zone/%@", 2, 11, 3, 3.0, "", ""},
      {52, "ZONE_CAMERAS_PATCH_REQUEST_CLOUD", "/rest/v2.1/zones/%@/cameraIds", 4, 11, 3, 3.0, "", ""},
      {53, "JOB_STATUS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/jobs/%@", 0, 4, 3, 3.0, "", ""},
      {54, "USER_RIGHTS_GET_REQUEST_CLOUD", "rest/v2.0/users/self/rights", 0, 4, 3, 3.0, "", ""},
      {55, "WIFI_STATUS_PATCH_REQUEST_CLOUD", "rest/v2.1/cameras/%@/wifi/status", 4, 11, 3, 3.0, "", ""},
      {56, "EVENT_SNAPSHOT_GET_REQUEST_CLOUD", "rest/v2.4/events/%@.jpg", 0, 9, 1, 3.0, "", ""},
      {57, "CAMERA_MICROPHONE_PUT_REQUEST_CLOUD", "rest/v2.1/cameras/%@/microphone", 2, 11, 3, 3.0, "", ""},
      {58, "CAMERA_PTZ_POST_REQUEST_CLOUD", "rest/v2.1/cameras/%@/ptz", 1, 11, 1, 3.0, "", ""},
      {59, "DAILY_SUMMARY_JOB_GET_REQUEST_CLOUD", "", 0, 10, 3, 5.0, "", ""},
      {60, "SMART_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/analytics", 0, 4, 3, 3.0, "KLCameraResponse", "smartDetections"},
      {61, "SMART_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/analytics", 2, 11, 3, 3.0, "", ""},
      {62, "DETECTIONS_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/capabilities", 0, 4, 3, 3.0, "KLCameraResponse", "detectionsCapabilities"},
      {63, "USER_STATUS_PATCH_REQUEST_CLOUD", "rest/v2.0/users/self/status", 4, 11, 3, 3.0, "", ""},
      {64, "USER_STATUS_GET_REQUEST_CLOUD", "rest/v2.0/users/self/status", 0, 4, 3, 3.0, "", ""},
      {65, "PIR_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/pir", 2, 11, 3, 3.0, "", ""},
      {66, "VIDEO_MOTION_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/video", 2, 11, 3, 3.0, "", ""},
      {67, "SOUND_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/audio", 2, 11, 3, 3.0, "", ""},
      {68, "PIR_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/pir", 0, 4, 3, 3.0, "KLCameraAdvancedInfoResponse", "pirDetection"},
      {69, "VIDEO_MOTION_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/video", 0, 4, 3, 3.0, "KLCameraAdvancedInfoResponse", "videoMotionDetection"},
      {70, "SOUND_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/audio", 0, 4, 3, 3.0, "", "soundDetection"},
      {71, "SUBSCRIPTION_CAMERA_SLOTS_GET_REQUES_CLOUD", "rest/v2.1/accounts/self/subscription/cameraslots", 0, 4, 3, 3.0, "", ""},
      {72, "CAMERA_CONNECTION_DETAILS_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/connection/details", 0, 4, 3, 3.0, "KLCameraAdvancedInfoResponse", ""},
      {73, "CAMERA_CONNECTION_CREDENTIALS_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/connection/credentials", 0, 4, 3, 3.0, "KLCameraAdvancedInfoResponse", ""},
      {74, "CAMERA_VIDEO_SETTINGS_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/video/settings", 0, 4, 3, 3.0, "KLCameraVideoSettingsResponse", ""},
      {75, "CAMERA_VIDEO_SETTINGS_PATCH_REQUEST_CLOUD", "rest/v2.2/cameras/%@/video/settings", 4, 11, 3, 3.0, "", ""},
      {76, "CAMERA_VIDEO_SETTINGS_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/capabilities/image", 0, 4, 3, 3.0, "KLCameraResponse", "videoSettingsCapabilities"},
      {77, "CAMERA_FOOTAGE_SETTINGS_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/footage/capabilities", 0, 4, 3, 3.0, "KLCameraResponse", "footageSettingsCapabilities"},
      {78, "CAMERA_FOOTAGE_SETTINGS_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/footage/settings", 0, 4, 3, 3.0, "KLCameraFootageSettingsResponse", ""},
      {79, "CAMERA_FOOTAGE_SETTINGS_PATCH_REQUEST_CLOUD", "rest/v2.2/cameras/%@/footage/settings", 4, 11, 3, 3.0, "", ""},
      {80, "CAMERA_VIDEO_SETTINGS_DELETE_REQUEST_CLOUD", "rest/v2.2/cameras/%@/video/settings", 3, 11, 3, 3.0, "", ""},
      {81, "CAMERA_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/capabilities", 0, 4, 3, 3.0, "KLCameraResponse", "cameraCapabilities"},
      {82, "DOORBELL_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/doorbell", 0, 4, 3, 3.0, "", "doorbellDetection"},
      {83, "DOORBELL_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/doorbell", 2, 11, 3, 3.0, "", ""},
      {84, "RECORDINGS_CAMERA_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/recordings", 0, 4, 3, 3.0, "KLRecordingListResponse", "recordings"},
      {85, "CAMERA_DEVICE_INFO_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/deviceInfo", 0, 4, 3, 3.0, "KLCameraDeviceInfoResponse", ""},
      {86, "NEW_EVENTS_GET_REQUEST_CLOUD", "/rest/v2.4/events", 0, 4, 3, 3.0, "KLEventListResponse", "events"},
      {87, "SIM_CARD_DATA_USAGE_GET_REQUEST_CLOUD", "rest/v2.4/sims/%@/dataUsage", 0, 4, 3, 3.0, "", "simCardDataUsage"},
      {88, "USER_PATCH_REQUEST_CLOUD", "/rest/v2.3/users/self", 4, 4, 3, 3.0, "", ""},
      {89, "USER_DETAILS_GET_REQUEST_CLOUD", "/rest/v2.3/users/self/details", 0, 4, 3, 3.0, "KLUserResponse", ""},
      {90, "USER_DETAILS_PATCH_REQUEST_CLOUD", "/rest/v2.3/users/self/details", 4, 4, 3, 3.0, "", ""},
      {91, "USER_CREDENTIALS_GET_REQUEST_CLOUD", "/rest/v2.3/users/self/credentials?password=%@", 0, 4, 3, 3.0, "", ""},
      {92, "USER_CREDENTIALS_PATCH_REQUEST_CLOUD", "/rest/v2.3/users/self/credentials", 4, 4, 3, 3.0, "", ""},
      {93, "CAMERA_PTZ_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/capabilities/ptz", 0, 4, 3, 3.0, "KLCameraResponse", "cameraPtzCapabilities"},
      {94, "CAMERA_AVAILABLE_EVENT_TYPES_GET_REQUEST_CLOUD", "rest/v2.4/events/availableTypes", 0, 4, 3, 3.0, "KLAvailableEventTypesResponse", "values"},
      {95, "CAMERA_EVENT_TYPE_DETAILS_GET_REQUEST_CLOUD", "rest/v2.4/events/eventTypeDetails", 0, 4, 3, 3.0, "KLEventTypeDetailsListResponse", "values"},
      {96, "GET_ALL_FACES", "rest/v2.4/faces", 0, 4, 3, 3.0, "KLAvailableFacesListResponse", "values"},
  };
  // clang-format on
  ASSERT_EQ(std::size(rows), static_cast<size_t>(kKLRequestNameCount));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto request = requestNamed(row.name);
    EXPECT_EQ(request->requestNameString(), std::string_view(row.nameString));
    EXPECT_EQ(request->request(), std::string_view(row.path));
    EXPECT_EQ(request->methodType(), row.method);
    EXPECT_EQ(request->responseRequestSerializer(), row.serializer);
    EXPECT_EQ(request->numberOfRetries(), row.retries);
    EXPECT_EQ(request->retryInterval(), row.interval);
    EXPECT_EQ(request->modelClassName(), std::string_view(row.model));
    EXPECT_EQ(request->rootKey(), std::string_view(row.rootKey));
    if (row.name != NOT_A_REQUEST) {
      EXPECT_EQ(matchURL(row.nameString), std::string_view(row.rootKey));
    }
    EXPECT_EQ(request->modelClass() != nullptr, *row.model != '\0');
  }
}

TEST(KLRequestTable, EveryNameHasItsOwnStringAndTheEnumeratorsFollowThem) {
  std::set<std::string_view> seen;
  for (int32_t name = 0; name < kKLRequestNameCount; ++name) {
    std::string_view text = requestNameString(name);
    EXPECT_FALSE(text.empty()) << name;
    EXPECT_TRUE(seen.insert(text).second) << text;
  }
  EXPECT_EQ(NOT_A_REQUEST, 0);
  EXPECT_EQ(requestNameString(GET_ALL_FACES), "GET_ALL_FACES");
  EXPECT_EQ(requestNameString(CAMERA_DEVICE_INFO_GET_REQUEST_CLOUD), "CAMERA_DEVICE_INFO_GET_REQUEST_CLOUD");
}

TEST(KLRequestTable, NameZeroIsTheAbstractBase) {
  auto request = std::make_shared<KLRequest>();
  EXPECT_EQ(request->requestName(), 0);
  EXPECT_EQ(KLRequest::staticRequestName(), 0);
  EXPECT_EQ(request->methodType(), -1);
  EXPECT_EQ(request->responseRequestSerializer(), -1);
  EXPECT_EQ(request->numberOfRetries(), -1);
  EXPECT_EQ(request->retryInterval(), 0.0);
  EXPECT_TRUE(request->request().empty());
  EXPECT_TRUE(request->requestURL().empty());
  EXPECT_EQ(request->modelClass(), nullptr);
  EXPECT_TRUE(request->parameters().isNil());
}

TEST(KLRequestTable, NamesOutsideTheTableSendNothingNegativeOnesIncluded) {
  for (int32_t name : {97, 1000, INT32_MAX, -1, -96, INT32_MIN}) {
    SCOPED_TRACE(name);
    auto request = requestNamed(name);
    EXPECT_EQ(request->methodType(), KLRequestMethodNone);
    EXPECT_EQ(request->responseRequestSerializer(), KLSerializerTypeNone);
    EXPECT_EQ(request->numberOfRetries(), 0);
    EXPECT_EQ(request->retryInterval(), 2.0);
    EXPECT_TRUE(request->request().empty());
    EXPECT_TRUE(request->requestURL().empty());
    EXPECT_TRUE(request->requestNameString().empty());
    EXPECT_TRUE(request->rootKey().empty());
    EXPECT_EQ(request->modelClass(), nullptr);
    EXPECT_FALSE(request->shouldAppendResponseHeader());
  }
}

TEST(KLRequestTable, OnlyThePingHas401AmongItsFatalCodesAndACutOff) {
  const std::vector<int64_t> common = {400, 404, 500, -1011, -1003, -1004, -1005, -1009, -1018, 101005};
  const std::vector<int64_t> ping = {400, 404, 401, 500, -1011, -1003, -1004, -1005, -1009, -1018, 101005};
  for (int32_t name = -1; name <= kKLRequestNameCount; ++name) {
    auto request = requestNamed(name);
    if (name == PING_REQUEST_CLOUD) {
      EXPECT_EQ(request->fatalStatusCodes(), ping);
      EXPECT_EQ(request->retryFailoverPeriod(), 120);
    } else {
      EXPECT_EQ(request->fatalStatusCodes(), common) << name;
      EXPECT_EQ(request->retryFailoverPeriod(), 0) << name;
    }
  }
}

TEST(KLRequestTable, OnlyOldEventsAskForTheResponseHeader) {
  for (int32_t name = 0; name < kKLRequestNameCount; ++name) {
    EXPECT_EQ(requestNamed(name)->shouldAppendResponseHeader(), name == OLD_EVENTS_GET_REQUEST_CLOUD) << name;
  }
}

TEST(KLRequestTable, AbsoluteUrlNamesHaveNoTemplate) {
  EXPECT_TRUE(requestNamed(DOWNLOAD_VIDEO_REQUEST_CLOUD)->request().empty());
  EXPECT_TRUE(requestNamed(DAILY_SUMMARY_JOB_GET_REQUEST_CLOUD)->request().empty());
  int withTemplate = 0;
  for (int32_t name = 0; name < kKLRequestNameCount; ++name) withTemplate += !requestPathTemplate(name).empty();
  EXPECT_EQ(withTemplate, 94);
}

TEST(KLRequestTable, MatchUrlKnowsRootKeysOnly) {
  EXPECT_EQ(matchURL("LOGIN_REQUEST_CLOUD"), "");
  EXPECT_EQ(matchURL("NO_SUCH_REQUEST"), "");
  EXPECT_EQ(matchURL(""), "");
  EXPECT_EQ(matchURL("WIFI_VISIBLE_GET_REQUEST_CLOUD"), "wifiVisible");
  EXPECT_EQ(matchURL("WIFI_VISIBLE_GET_REQUEST_CAMERA"), "wifiVisible");
  EXPECT_EQ(matchURL("CAMERA_AVAILABLE_EVENT_TYPES_GET_REQUEST_CLOUD"), "values");
  EXPECT_EQ(matchURL("cameras_get_request_cloud"), "");  // names are matched exactly
  int withRootKey = 0;
  for (int32_t name = 0; name < kKLRequestNameCount; ++name) withRootKey += !requestRootKey(name).empty();
  EXPECT_EQ(withRootKey, 35);
}

}  // namespace
}  // namespace dk

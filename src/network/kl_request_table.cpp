// The request table: one row per request name, indexed by the name.
#include "network/kl_request_table.h"

#include <array>

namespace dk {
namespace {

struct Row {
  int32_t name;
  const char* nameString;
  const char* path;
  KLRequestMethodType method;
  KLResponseRequestSerializerType serializer;
  int64_t retries;
  double interval;
  const char* modelClass;
  const char* rootKey;
};

constexpr std::array<Row, kKLRequestNameCount> kRows = {{
    {0, "NOT_A_REQUEST", nullptr, KLRequestMethodNone, KLSerializerTypeNone, -1, 0.0, nullptr, nullptr},
    {1, "LOGIN_REQUEST_CLOUD", "oauth/token", KLRequestMethodLogin, KLSerializerTypeHTTP, 3, 3.0, nullptr, nullptr},
    {2, "IOT_GET_REQUEST_CLOUD", "/rest/v1/users/self/tokens/authorized_clients", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, "iots"},
    {3, "IOT_DELETE_REQUEST_CLOUD", "/rest/v1/users/self/tokens/authorized_clients/%@", KLRequestMethodDelete, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {4, "RECOVER_PASSWORD_REQUEST_CLOUD", "/rest/v2.0/passwordResets", KLRequestMethodClientCredentials, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {5, "PING_REQUEST_CLOUD", "/rest/v2.0/ping", KLRequestMethodPing, KLSerializerTypeHTMLCredential, -1, 3.0, nullptr, nullptr},
    {6, "CAMERAS_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraListResponse", "cameras"},
    {7, "CAMERA_DELETE_REQUEST_CLOUD", "/rest/v2.0/cameras/%@", KLRequestMethodDelete, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {8, "USER_GET_REQUEST_CLOUD", "/rest/v2.3/users/self", KLRequestMethodGet, KLSerializerTypeJSONCredential, 4, 3.0, "KLUserResponse", nullptr},
    {9, "OLD_EVENTS_GET_REQUEST_CLOUD", "/rest/v2.4/events", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLEventListResponse", "events"},
    {10, "EVENT_DELETE_REQUEST_CLOUD", "/rest/v2.3/events/%@", KLRequestMethodDelete, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {11, "EVENTS_DELETE_REQUEST_CLOUD", "/rest/v2.3/events", KLRequestMethodDelete, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {12, "FIRMWARE_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/firmware", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {13, "FIRMWARE_POST_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/firmware", KLRequestMethodPost, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {14, "FIRMWARE_ALL_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/all/firmware", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, "firmwares"},
    {15, "DAILY_SUMMARY_POST_REQUEST_CLOUD", "rest/v2.0/cameras/%@/summary", KLRequestMethodPost, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {16, "WIFI_UNKNOWN_POST_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/saved", KLRequestMethodPost, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {17, "WIFI_KNOWN_PUT_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/wifi/saved/%@", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {18, "JOBS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/jobs", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, "jobs"},
    {19, "MOBILE_STATUS_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/mobile/network", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLWiFiResponse", nullptr},
    {20, "WIFI_STATUS_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/status", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLWiFiListResponse", "wifiStatus"},
    {21, "WIFI_VISIBLE_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/visible", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLWiFiListResponse", "wifiVisible"},
    {22, "WIFI_SAVED_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/saved", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLWiFiListResponse", "wifiSaved"},
    {23, "WIFI_DELETE_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/wifi/saved/%@", KLRequestMethodDelete, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {24, "PUSH_NOTIFICATIONS_POST_REQUEST_CLOUD", "/rest/v2.0/users/self/push/devices/", KLRequestMethodPost, KLSerializerTypeJSONUpdate, 1, 3.0, nullptr, nullptr},
    {25, "PUSH_NOTIFICATIONS_DELETE_REQUEST_CLOUD", "/rest/v2.0/users/self/tokens/current", KLRequestMethodDelete, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {26, "DOWNLOAD_VIDEO_REQUEST_CLOUD", nullptr, KLRequestMethodDownload, KLSerializerTypeDownload, 3, 3.0, nullptr, nullptr},
    {27, "CAMERA_SNAPSHOT_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/snapshot", KLRequestMethodGet, KLSerializerTypeImage, 1, 3.0, nullptr, "snapshot"},
    {28, "SIM_CARD_CURRENT_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/sims/current", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {29, "SIM_CARD_PUT_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/sims/%@", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {30, "SIM_CARD_CURRENT_PUT_REQUEST_CLOUD", "/rest/v2.1/cameras/%@/sims/current", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {31, "CARRIERS_GET_REQUEST_CLOUD", "/rest/v2.1/carriers/", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, "carriers"},
    {32, "CAMERA_GET_REQUEST_CLOUD", "/rest/v2.1/cameras/%@", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", nullptr},
    {33, "CAMERA_STATUS_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/status", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", nullptr},
    {34, "CAMERAS_STATUS_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/all/status", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraListResponse", "cameras"},
    {35, "CAMERA_STREAM_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/streams", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", "urls"},
    {36, "EVENT_GET_REQUEST_CLOUD", "/rest/v2.4/events/%@", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLEventResponse", nullptr},
    {37, "ZONES_GET_REQUEST_CLOUD", "/rest/v2.0/zones", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, "zones"},
    {38, "SUBSCRIPTIONS_RIGHTS_GET_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/subscriptionRights", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLSubscriptionRightsResponse", nullptr},
    {39, "CAMERA_PATCH_REQUEST_CLOUD", "/rest/v2.0/cameras/%@", KLRequestMethodPatch, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {40, "CAMERAS_MODE_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/all/mode", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraListResponse", "cameras"},
    {41, "CAMERA_MODE_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/mode", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", "cameraMode"},
    {42, "CAMERA_PATCH_MODE_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/mode", KLRequestMethodPatch, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {43, "USER_WIZARD_CAMERA_MODELS_GET_REQUEST_CLOUD", "/rest/v2.2/users/self/wizardCameraModels", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLWizardCameraModelsResponse", "wizardCameraModels"},
    {44, "DEVICE_TYPES_GET_REQUEST_CLOUD", "/rest/v2.0/deviceTypes", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLDeviceTypesResponse", "deviceTypes"},
    {45, "ZONE_POST_REQUEST_CLOUD", "/rest/v2.0/zones", KLRequestMethodPost, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {46, "RECORDING_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/recordings/%@", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLRecordingResponse", nullptr},
    {47, "RECORDINGS_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/recordings", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLRecordingListResponse", "recordings"},
    {48, "RECORDINGS_ALL_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/all/recordings", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLRecordingListResponse", "recordings"},
    {49, "ZONE_PATCH_REQUEST_CLOUD", "/rest/v2.0/zones/%@", KLRequestMethodPatch, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {50, "ZONE_DELETE_REQUEST_CLOUD", "/rest/v2.0/zones/%@", KLRequestMethodDelete, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {51, "CAMERA_ZONE_PUT_REQUEST_CLOUD", "/rest/v2.0/cameras/%@/zone/%@", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {52, "ZONE_CAMERAS_PATCH_REQUEST_CLOUD", "/rest/v2.1/zones/%@/cameraIds", KLRequestMethodPatch, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {53, "JOB_STATUS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/jobs/%@", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {54, "USER_RIGHTS_GET_REQUEST_CLOUD", "rest/v2.0/users/self/rights", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {55, "WIFI_STATUS_PATCH_REQUEST_CLOUD", "rest/v2.1/cameras/%@/wifi/status", KLRequestMethodPatch, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {56, "EVENT_SNAPSHOT_GET_REQUEST_CLOUD", "rest/v2.4/events/%@.jpg", KLRequestMethodGet, KLSerializerTypeImage, 1, 3.0, nullptr, nullptr},
    {57, "CAMERA_MICROPHONE_PUT_REQUEST_CLOUD", "rest/v2.1/cameras/%@/microphone", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {58, "CAMERA_PTZ_POST_REQUEST_CLOUD", "rest/v2.1/cameras/%@/ptz", KLRequestMethodPost, KLSerializerTypeJSONUpdate, 1, 3.0, nullptr, nullptr},
    {59, "DAILY_SUMMARY_JOB_GET_REQUEST_CLOUD", nullptr, KLRequestMethodGet, KLSerializerTypeVideoSummary, 3, 5.0, nullptr, nullptr},
    {60, "SMART_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/analytics", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", "smartDetections"},
    {61, "SMART_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/analytics", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {62, "DETECTIONS_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/capabilities", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", "detectionsCapabilities"},
    {63, "USER_STATUS_PATCH_REQUEST_CLOUD", "rest/v2.0/users/self/status", KLRequestMethodPatch, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {64, "USER_STATUS_GET_REQUEST_CLOUD", "rest/v2.0/users/self/status", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {65, "PIR_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/pir", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {66, "VIDEO_MOTION_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/video", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {67, "SOUND_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/audio", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {68, "PIR_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/pir", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraAdvancedInfoResponse", "pirDetection"},
    {69, "VIDEO_MOTION_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/video", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraAdvancedInfoResponse", "videoMotionDetection"},
    {70, "SOUND_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/audio", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, "soundDetection"},
    {71, "SUBSCRIPTION_CAMERA_SLOTS_GET_REQUES_CLOUD", "rest/v2.1/accounts/self/subscription/cameraslots", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {72, "CAMERA_CONNECTION_DETAILS_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/connection/details", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraAdvancedInfoResponse", nullptr},
    {73, "CAMERA_CONNECTION_CREDENTIALS_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/connection/credentials", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraAdvancedInfoResponse", nullptr},
    {74, "CAMERA_VIDEO_SETTINGS_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/video/settings", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraVideoSettingsResponse", nullptr},
    {75, "CAMERA_VIDEO_SETTINGS_PATCH_REQUEST_CLOUD", "rest/v2.2/cameras/%@/video/settings", KLRequestMethodPatch, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {76, "CAMERA_VIDEO_SETTINGS_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/capabilities/image", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", "videoSettingsCapabilities"},
    {77, "CAMERA_FOOTAGE_SETTINGS_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/footage/capabilities", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", "footageSettingsCapabilities"},
    {78, "CAMERA_FOOTAGE_SETTINGS_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/footage/settings", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraFootageSettingsResponse", nullptr},
    {79, "CAMERA_FOOTAGE_SETTINGS_PATCH_REQUEST_CLOUD", "rest/v2.2/cameras/%@/footage/settings", KLRequestMethodPatch, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {80, "CAMERA_VIDEO_SETTINGS_DELETE_REQUEST_CLOUD", "rest/v2.2/cameras/%@/video/settings", KLRequestMethodDelete, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {81, "CAMERA_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/capabilities", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", "cameraCapabilities"},
    {82, "DOORBELL_DETECTIONS_GET_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/doorbell", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, "doorbellDetection"},
    {83, "DOORBELL_DETECTIONS_PUT_REQUEST_CLOUD", "rest/v2.0/cameras/%@/detectors/doorbell", KLRequestMethodPut, KLSerializerTypeJSONUpdate, 3, 3.0, nullptr, nullptr},
    {84, "RECORDINGS_CAMERA_GET_REQUEST_CLOUD", "/rest/v2.2/cameras/%@/recordings", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLRecordingListResponse", "recordings"},
    {85, "CAMERA_DEVICE_INFO_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/deviceInfo", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraDeviceInfoResponse", nullptr},
    {86, "NEW_EVENTS_GET_REQUEST_CLOUD", "/rest/v2.4/events", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLEventListResponse", "events"},
    {87, "SIM_CARD_DATA_USAGE_GET_REQUEST_CLOUD", "rest/v2.4/sims/%@/dataUsage", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, "simCardDataUsage"},
    {88, "USER_PATCH_REQUEST_CLOUD", "/rest/v2.3/users/self", KLRequestMethodPatch, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {89, "USER_DETAILS_GET_REQUEST_CLOUD", "/rest/v2.3/users/self/details", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLUserResponse", nullptr},
    {90, "USER_DETAILS_PATCH_REQUEST_CLOUD", "/rest/v2.3/users/self/details", KLRequestMethodPatch, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {91, "USER_CREDENTIALS_GET_REQUEST_CLOUD", "/rest/v2.3/users/self/credentials?password=%@", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {92, "USER_CREDENTIALS_PATCH_REQUEST_CLOUD", "/rest/v2.3/users/self/credentials", KLRequestMethodPatch, KLSerializerTypeJSONCredential, 3, 3.0, nullptr, nullptr},
    {93, "CAMERA_PTZ_CAPABILITIES_GET_REQUEST_CLOUD", "rest/v2.2/cameras/%@/capabilities/ptz", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLCameraResponse", "cameraPtzCapabilities"},
    {94, "CAMERA_AVAILABLE_EVENT_TYPES_GET_REQUEST_CLOUD", "rest/v2.4/events/availableTypes", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLAvailableEventTypesResponse", "values"},
    {95, "CAMERA_EVENT_TYPE_DETAILS_GET_REQUEST_CLOUD", "rest/v2.4/events/eventTypeDetails", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLEventTypeDetailsListResponse", "values"},
    {96, "GET_ALL_FACES", "rest/v2.4/faces", KLRequestMethodGet, KLSerializerTypeJSONCredential, 3, 3.0, "KLAvailableFacesListResponse", "values"},
}};

// Rows are written in name order; a slip in the data would shift every look-up after it.
constexpr bool rowsAreInNameOrder() {
  for (int32_t i = 0; i < kKLRequestNameCount; ++i)
    if (kRows[static_cast<size_t>(i)].name != i) return false;
  return true;
}
static_assert(rowsAreInNameOrder());

const Row* rowFor(int32_t name) {
  if (name < 0 || name >= kKLRequestNameCount) return nullptr;
  return &kRows[static_cast<size_t>(name)];
}

std::string_view orEmpty(const char* s) { return s ? std::string_view(s) : std::string_view(); }

}  // namespace

std::string_view requestPathTemplate(int32_t name) {
  const Row* row = rowFor(name);
  return row ? orEmpty(row->path) : std::string_view();
}

int32_t requestMethodType(int32_t name) {
  const Row* row = rowFor(name);
  return row ? row->method : KLRequestMethodNone;
}

int32_t requestSerializerType(int32_t name) {
  const Row* row = rowFor(name);
  return row ? row->serializer : KLSerializerTypeNone;
}

int64_t requestNumberOfRetries(int32_t name) {
  const Row* row = rowFor(name);
  return row ? row->retries : 0;
}

double requestRetryInterval(int32_t name) {
  const Row* row = rowFor(name);
  return row ? row->interval : 2.0;
}

std::string_view requestModelClassName(int32_t name) {
  const Row* row = rowFor(name);
  return row ? orEmpty(row->modelClass) : std::string_view();
}

std::string_view requestNameString(int32_t name) {
  const Row* row = rowFor(name);
  return row ? orEmpty(row->nameString) : std::string_view();
}

std::string_view matchURL(std::string_view nameString) {
  if (nameString.empty()) return {};
  if (nameString == "WIFI_VISIBLE_GET_REQUEST_CAMERA") return "wifiVisible";
  for (const Row& row : kRows) {
    if (nameString == row.nameString) return orEmpty(row.rootKey);
  }
  return {};
}

std::string_view requestRootKey(int32_t name) {
  const Row* row = rowFor(name);
  return row ? orEmpty(row->rootKey) : std::string_view();
}

}  // namespace dk

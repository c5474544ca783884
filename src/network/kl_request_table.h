// The request vocabulary of the cloud REST API: the 97 request names and, per name, the path
// template, method code, serializer/header set, retry count and interval, response model class and
// JSON root key. Every KLRequest reads its settings from here by its requestName.
//
// The table is constant data; every function here is pure and safe to call from any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace dk {

// One value per REST operation, named by its request-name string. 0 marks the abstract bases.
enum KLRequestName : int32_t {
  NOT_A_REQUEST = 0,
  LOGIN_REQUEST_CLOUD = 1,
  IOT_GET_REQUEST_CLOUD = 2,
  IOT_DELETE_REQUEST_CLOUD = 3,
  RECOVER_PASSWORD_REQUEST_CLOUD = 4,
  PING_REQUEST_CLOUD = 5,
  CAMERAS_GET_REQUEST_CLOUD = 6,
  CAMERA_DELETE_REQUEST_CLOUD = 7,
  USER_GET_REQUEST_CLOUD = 8,
  OLD_EVENTS_GET_REQUEST_CLOUD = 9,
  EVENT_DELETE_REQUEST_CLOUD = 10,
  EVENTS_DELETE_REQUEST_CLOUD = 11,
  FIRMWARE_GET_REQUEST_CLOUD = 12,
  FIRMWARE_POST_REQUEST_CLOUD = 13,
  FIRMWARE_ALL_GET_REQUEST_CLOUD = 14,
  DAILY_SUMMARY_POST_REQUEST_CLOUD = 15,
  WIFI_UNKNOWN_POST_REQUEST_CLOUD = 16,
  WIFI_KNOWN_PUT_REQUEST_CLOUD = 17,
  JOBS_GET_REQUEST_CLOUD = 18,
  MOBILE_STATUS_GET_REQUEST_CLOUD = 19,
  WIFI_STATUS_GET_REQUEST_CLOUD = 20,
  WIFI_VISIBLE_GET_REQUEST_CLOUD = 21,
  WIFI_SAVED_GET_REQUEST_CLOUD = 22,
  WIFI_DELETE_REQUEST_CLOUD = 23,
  PUSH_NOTIFICATIONS_POST_REQUEST_CLOUD = 24,
  PUSH_NOTIFICATIONS_DELETE_REQUEST_CLOUD = 25,
  DOWNLOAD_VIDEO_REQUEST_CLOUD = 26,
  CAMERA_SNAPSHOT_GET_REQUEST_CLOUD = 27,
  SIM_CARD_CURRENT_GET_REQUEST_CLOUD = 28,
  SIM_CARD_PUT_REQUEST_CLOUD = 29,
  SIM_CARD_CURRENT_PUT_REQUEST_CLOUD = 30,
  CARRIERS_GET_REQUEST_CLOUD = 31,
  CAMERA_GET_REQUEST_CLOUD = 32,
  CAMERA_STATUS_GET_REQUEST_CLOUD = 33,
  CAMERAS_STATUS_GET_REQUEST_CLOUD = 34,
  CAMERA_STREAM_GET_REQUEST_CLOUD = 35,
  EVENT_GET_REQUEST_CLOUD = 36,
  ZONES_GET_REQUEST_CLOUD = 37,
  SUBSCRIPTIONS_RIGHTS_GET_REQUEST_CLOUD = 38,
  CAMERA_PATCH_REQUEST_CLOUD = 39,
  CAMERAS_MODE_GET_REQUEST_CLOUD = 40,
  CAMERA_MODE_GET_REQUEST_CLOUD = 41,
  CAMERA_PATCH_MODE_REQUEST_CLOUD = 42,
  USER_WIZARD_CAMERA_MODELS_GET_REQUEST_CLOUD = 43,
  DEVICE_TYPES_GET_REQUEST_CLOUD = 44,
  ZONE_POST_REQUEST_CLOUD = 45,
  RECORDING_GET_REQUEST_CLOUD = 46,
  RECORDINGS_GET_REQUEST_CLOUD = 47,
  RECORDINGS_ALL_GET_REQUEST_CLOUD = 48,
  ZONE_PATCH_REQUEST_CLOUD = 49,
  ZONE_DELETE_REQUEST_CLOUD = 50,
  CAMERA_ZONE_PUT_REQUEST_CLOUD = 51,
  ZONE_CAMERAS_PATCH_REQUEST_CLOUD = 52,
  JOB_STATUS_GET_REQUEST_CLOUD = 53,
  USER_RIGHTS_GET_REQUEST_CLOUD = 54,
  WIFI_STATUS_PATCH_REQUEST_CLOUD = 55,
  EVENT_SNAPSHOT_GET_REQUEST_CLOUD = 56,
  CAMERA_MICROPHONE_PUT_REQUEST_CLOUD = 57,
  CAMERA_PTZ_POST_REQUEST_CLOUD = 58,
  DAILY_SUMMARY_JOB_GET_REQUEST_CLOUD = 59,
  SMART_DETECTIONS_GET_REQUEST_CLOUD = 60,
  SMART_DETECTIONS_PUT_REQUEST_CLOUD = 61,
  DETECTIONS_CAPABILITIES_GET_REQUEST_CLOUD = 62,
  USER_STATUS_PATCH_REQUEST_CLOUD = 63,
  USER_STATUS_GET_REQUEST_CLOUD = 64,
  PIR_DETECTIONS_PUT_REQUEST_CLOUD = 65,
  VIDEO_MOTION_DETECTIONS_PUT_REQUEST_CLOUD = 66,
  SOUND_DETECTIONS_PUT_REQUEST_CLOUD = 67,
  PIR_DETECTIONS_GET_REQUEST_CLOUD = 68,
  VIDEO_MOTION_DETECTIONS_GET_REQUEST_CLOUD = 69,
  SOUND_DETECTIONS_GET_REQUEST_CLOUD = 70,
  SUBSCRIPTION_CAMERA_SLOTS_GET_REQUES_CLOUD = 71,
  CAMERA_CONNECTION_DETAILS_GET_REQUEST_CLOUD = 72,
  CAMERA_CONNECTION_CREDENTIALS_GET_REQUEST_CLOUD = 73,
  CAMERA_VIDEO_SETTINGS_GET_REQUEST_CLOUD = 74,
  CAMERA_VIDEO_SETTINGS_PATCH_REQUEST_CLOUD = 75,
  CAMERA_VIDEO_SETTINGS_CAPABILITIES_GET_REQUEST_CLOUD = 76,
  CAMERA_FOOTAGE_SETTINGS_CAPABILITIES_GET_REQUEST_CLOUD = 77,
  CAMERA_FOOTAGE_SETTINGS_GET_REQUEST_CLOUD = 78,
  CAMERA_FOOTAGE_SETTINGS_PATCH_REQUEST_CLOUD = 79,
  CAMERA_VIDEO_SETTINGS_DELETE_REQUEST_CLOUD = 80,
  CAMERA_CAPABILITIES_GET_REQUEST_CLOUD = 81,
  DOORBELL_DETECTIONS_GET_REQUEST_CLOUD = 82,
  DOORBELL_DETECTIONS_PUT_REQUEST_CLOUD = 83,
  RECORDINGS_CAMERA_GET_REQUEST_CLOUD = 84,
  CAMERA_DEVICE_INFO_GET_REQUEST_CLOUD = 85,
  NEW_EVENTS_GET_REQUEST_CLOUD = 86,
  SIM_CARD_DATA_USAGE_GET_REQUEST_CLOUD = 87,
  USER_PATCH_REQUEST_CLOUD = 88,
  USER_DETAILS_GET_REQUEST_CLOUD = 89,
  USER_DETAILS_PATCH_REQUEST_CLOUD = 90,
  USER_CREDENTIALS_GET_REQUEST_CLOUD = 91,
  USER_CREDENTIALS_PATCH_REQUEST_CLOUD = 92,
  CAMERA_PTZ_CAPABILITIES_GET_REQUEST_CLOUD = 93,
  CAMERA_AVAILABLE_EVENT_TYPES_GET_REQUEST_CLOUD = 94,
  CAMERA_EVENT_TYPE_DETAILS_GET_REQUEST_CLOUD = 95,
  GET_ALL_FACES = 96,
};

inline constexpr int32_t kKLRequestNameCount = 97;  // names 0 to 96

// What the executor does with a request.
enum KLRequestMethodType : int32_t {
  KLRequestMethodNone = -1,  // nothing is sent (name 0 and names out of range)
  KLRequestMethodGet = 0,
  KLRequestMethodPost = 1,
  KLRequestMethodPut = 2,
  KLRequestMethodDelete = 3,
  KLRequestMethodPatch = 4,
  KLRequestMethodLogin = 5,              // OAuth password grant ("username", "password")
  KLRequestMethodClientCredentials = 6,  // OAuth client-credentials grant, then POST
  KLRequestMethodPing = 7,               // GET with a 5 s request time-out
  KLRequestMethodDownload = 8,           // only through the executor's download operation
};

// Which session manager, request serializer and header fields a request uses.
enum KLResponseRequestSerializerType : int32_t {
  KLSerializerTypeNone = -1,
  KLSerializerTypeHTTP = 0,
  KLSerializerTypeHTTPAccept = 1,
  KLSerializerTypeJSONAccept = 2,
  KLSerializerTypeHTMLCredential = 3,
  KLSerializerTypeJSONCredential = 4,
  KLSerializerTypeHTTPSecret = 5,
  KLSerializerTypeJSONSecret = 6,
  KLSerializerTypeJSONSecretText = 7,
  KLSerializerTypeDownload = 8,
  KLSerializerTypeImage = 9,
  KLSerializerTypeVideoSummary = 10,
  KLSerializerTypeJSONUpdate = 11,
};

// Per-name look-ups. A name outside 0 to 96 (negative ones included) is out of range: method and
// serializer -1, retries 0, interval 2.0 s, and no path, model class, name string or root key.
// "No value" is the empty string_view.
std::string_view requestPathTemplate(int32_t name);  // empty also for names 0, 26 and 59
int32_t requestMethodType(int32_t name);
int32_t requestSerializerType(int32_t name);
int64_t requestNumberOfRetries(int32_t name);
double requestRetryInterval(int32_t name);
std::string_view requestModelClassName(int32_t name);  // e.g. "KLRecordingListResponse"
std::string_view requestNameString(int32_t name);      // e.g. "CAMERAS_GET_REQUEST_CLOUD"
// The JSON root key of a request-name string (NSString(URLMatching) matchURL:); empty for strings
// without one. Also knows "WIFI_VISIBLE_GET_REQUEST_CAMERA", which is not one of the 97 names.
std::string_view matchURL(std::string_view requestNameString);
// Root key by name: matchURL(requestNameString(name)).
std::string_view requestRootKey(int32_t name);

}  // namespace dk

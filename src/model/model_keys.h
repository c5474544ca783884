// JSON key constants shared by the models and by the code that reads live-feed messages.
#pragma once

#include <string_view>

namespace dk {

inline constexpr std::string_view kCameraIDKey = "cameraId";
inline constexpr std::string_view kRecordingIdKey = "recordingId";
inline constexpr std::string_view kStartTimeKey = "startTime";
inline constexpr std::string_view kEndTimeKey = "endTime";
inline constexpr std::string_view kClosedKey = "closed";

inline constexpr std::string_view kEventsIDKey = "eventId";
inline constexpr std::string_view kTimestampKey = "timestamp";
inline constexpr std::string_view kEventTypeKey = "type";
inline constexpr std::string_view kMp4HttpsKey = "mp4Https";

inline constexpr std::string_view kFirstNameKey = "firstName";
inline constexpr std::string_view kLastNameKey = "lastName";
inline constexpr std::string_view kEmailKey = "email";
inline constexpr std::string_view kPasswordKey = "password";
inline constexpr std::string_view kUserIDKey = "userId";
inline constexpr std::string_view kValidKey = "valid";
inline constexpr std::string_view kAccountIDKey = "accountId";
inline constexpr std::string_view kClientSecretKey = "secret";
inline constexpr std::string_view kAllowsHelpdeskKey = "allowsHelpdesk";
inline constexpr std::string_view kCountryKey = "country";
inline constexpr std::string_view kCompanyKey = "companyName";
inline constexpr std::string_view kTelephoneKey = "phone";

inline constexpr std::string_view kDemoUserKey = "demoUser";
inline constexpr std::string_view kMicrophoneKey = "microphone";
inline constexpr std::string_view kPlaybackKey = "playback";
inline constexpr std::string_view kExportKey = "export";
inline constexpr std::string_view kAddPnpCameraKey = "addPnPCamera";
inline constexpr std::string_view kAddCameraManually = "addCameraManually";
inline constexpr std::string_view kEditCameraKey = "editCamera";
inline constexpr std::string_view kDeleteCameraKey = "deleteCamera";
inline constexpr std::string_view kAddZoneKey = "addZone";
inline constexpr std::string_view kEditZoneKey = "editZone";
inline constexpr std::string_view kDeleteZoneKey = "deleteZone";
inline constexpr std::string_view kAudioPirKey = "audioPIR";
inline constexpr std::string_view kEdgeStorageManagementKey = "edgeStorageManagement";
inline constexpr std::string_view kDeleteRecordingKey = "deleteRecording";
inline constexpr std::string_view kPtzKey = "ptz";

inline constexpr std::string_view kPriorityKey = "priority";
inline constexpr std::string_view kDetailsEventTypeKey = "eventType";
inline constexpr std::string_view kDetailsEventTypeTranslatedKey = "eventTypeTranslated";
inline constexpr std::string_view kCategoriesTranslated = "categoriesTranslated";

inline constexpr std::string_view kNameKey = "name";
inline constexpr std::string_view kCameraConnectionTypeKey = "connectionType";
inline constexpr std::string_view kAudioEnabledKey = "audioEnabled";
inline constexpr std::string_view kCameraOnlineKey = "online";
inline constexpr std::string_view kZoneIdKey = "zoneId";
inline constexpr std::string_view kDeviceTypeIdKey = "deviceTypeId";
inline constexpr std::string_view kCurrentVersionKey = "currentVersion";

inline constexpr std::string_view kModeKey = "mode";
inline constexpr std::string_view kPreviousModeKey = "previousMode";
inline constexpr std::string_view kRecordingModeKey = "recordingMode";

}  // namespace dk

// Parameter keys shared by the request classes: the names the REST API gives its query and body
// fields. Constants; safe from any thread.
#pragma once

namespace dk {

inline constexpr char kMinTimestampKey[] = "minTimestamp";
inline constexpr char kMaxTimestampKey[] = "maxTimestamp";
inline constexpr char kLimitKey[] = "limit";
inline constexpr char kReverseKey[] = "sortByRecordingIdOrder";
inline constexpr char kIncludeUrlTypesKey[] = "includeUrlTypes";
inline constexpr char kEventsTypesKey[] = "types";
inline constexpr char kCameraIdsKey[] = "cameraIds";
inline constexpr char kMaxEventIDKey[] = "maxEventId";
inline constexpr char kNameKey[] = "name";
inline constexpr char kModeKey[] = "mode";
inline constexpr char kRecordingModeKey[] = "recordingMode";
inline constexpr char kPasswordKey[] = "password";
inline constexpr char kEnabledKey[] = "enabled";
inline constexpr char kPtzDirection[] = "direction";
inline constexpr char kPtzMoveType[] = "moveType";
inline constexpr char kIncludeCapabilitiesKey[] = "includeCapabilities";
inline constexpr char kIncludeLocalConnectionKey[] = "includeLocalConnection";
inline constexpr char kLanguageKey[] = "language";
inline constexpr char kFirstNameKey[] = "firstName";
inline constexpr char kLastNameKey[] = "lastName";
inline constexpr char kEmailKey[] = "email";
inline constexpr char kCompanyKey[] = "companyName";
inline constexpr char kTelephoneKey[] = "phone";
inline constexpr char kCountryKey[] = "country";

}  // namespace dk

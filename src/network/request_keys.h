// Parameter keys shared by the request classes: the names the REST API gives its query and body
// fields. Keys that are also JSON keys of the models come from the models' key list, so that each
// name has one definition. Constants; safe from any thread.
#pragma once

#include <string_view>

#include "model/model_keys.h"

namespace dk {

// Also defined with the models: kNameKey, kModeKey, kRecordingModeKey, kPasswordKey,
// kFirstNameKey, kLastNameKey, kEmailKey, kCompanyKey, kTelephoneKey, kCountryKey.
inline constexpr std::string_view kMinTimestampKey = "minTimestamp";
inline constexpr std::string_view kMaxTimestampKey = "maxTimestamp";
inline constexpr std::string_view kLimitKey = "limit";
inline constexpr std::string_view kReverseKey = "sortByRecordingIdOrder";
inline constexpr std::string_view kIncludeUrlTypesKey = "includeUrlTypes";
inline constexpr std::string_view kEventsTypesKey = "types";
inline constexpr std::string_view kCameraIdsKey = "cameraIds";
inline constexpr std::string_view kMaxEventIDKey = "maxEventId";
inline constexpr std::string_view kEnabledKey = "enabled";
inline constexpr std::string_view kPtzDirection = "direction";
inline constexpr std::string_view kPtzMoveType = "moveType";
inline constexpr std::string_view kIncludeCapabilitiesKey = "includeCapabilities";
inline constexpr std::string_view kIncludeLocalConnectionKey = "includeLocalConnection";
inline constexpr std::string_view kLanguageKey = "language";

}  // namespace dk

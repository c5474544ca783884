// KLNotificationCategoryHelper: the notification category names the cloud uses, and the category
// bits they belong to (1 motion or infrared, 2 audio, 8 geofencing, 16 doorbell, 32 analytics).
//
// Class operations over a table built once per process; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dk {

enum KLNotificationCategoryType : int64_t {
  KLNotificationCategoryTypeMotion = 1,
  KLNotificationCategoryTypeAudio = 2,
  KLNotificationCategoryTypeGeofencing = 8,
  KLNotificationCategoryTypeDoorbell = 16,
  KLNotificationCategoryTypeAnalytics = 32,
};

class KLNotificationCategoryHelper {
 public:
  KLNotificationCategoryHelper() = delete;

  // Every name with its bit, in a fixed order: the client tag followed by "_ALARM_PIR",
  // "_ALARM_MOTION", "_AnalyticsEvent", "_ALARM_AUDIO", "_ALARM_SOUND", then
  // "GEOFENCING_ENTER_EXIT_REGION", then the tag followed by "_ALARM_DOORBELL".
  static const std::vector<std::pair<std::string, int64_t>>& notificationNameToCategoryTypeMap();
  // The names whose bit shares a bit with the mask, in the table's order.
  static std::vector<std::string> getNotificationNamesForCategoryTypeMask(int64_t mask);
  // False for an unknown name.
  static bool doNotificationName(std::string_view name, int64_t belongsToCategoryTypeMask);
};

}  // namespace dk

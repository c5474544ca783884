#include "services/kl_notification_category_helper.h"

#include "network/kl_oauth2_manager.h"

namespace dk {

const std::vector<std::pair<std::string, int64_t>>& KLNotificationCategoryHelper::notificationNameToCategoryTypeMap() {
  static const auto* map = [] {
    const std::string tag = kOAuthClientTag;
    return new std::vector<std::pair<std::string, int64_t>>{
        {tag + "_ALARM_PIR", KLNotificationCategoryTypeMotion},
        {tag + "_ALARM_MOTION", KLNotificationCategoryTypeMotion},
        {tag + "_AnalyticsEvent", KLNotificationCategoryTypeAnalytics},
        {tag + "_ALARM_AUDIO", KLNotificationCategoryTypeAudio},
        {tag + "_ALARM_SOUND", KLNotificationCategoryTypeAudio},
        {"GEOFENCING_ENTER_EXIT_REGION", KLNotificationCategoryTypeGeofencing},
        {tag + "_ALARM_DOORBELL", KLNotificationCategoryTypeDoorbell},
    };
  }();
  return *map;
}

std::vector<std::string> KLNotificationCategoryHelper::getNotificationNamesForCategoryTypeMask(int64_t mask) {
  std::vector<std::string> names;
  for (const auto& [name, bit] : notificationNameToCategoryTypeMap()) {
    if ((bit & mask) > 0) names.push_back(name);
  }
  return names;
}

bool KLNotificationCategoryHelper::doNotificationName(std::string_view name, int64_t belongsToCategoryTypeMask) {
  for (const auto& [known, bit] : notificationNameToCategoryTypeMap()) {
    if (known == name) return (bit & belongsToCategoryTypeMask) >= 1;
  }
  return false;
}

}  // namespace dk

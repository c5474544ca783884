#include "services/kl_push_notifications_manager.h"

#include <cstdio>

#include "foundation/credential_storage.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/bundle.h"
#include "platform/media/images/uuid_string.h"
#include "services/kl_notification_category_helper.h"

namespace dk {

using platform::UserNotificationCenter;

namespace {

constexpr double kLocalNotificationDelay = 2.0;

void schedule(const std::string& message, const std::string& categoryIdentifier,
              const std::optional<platform::ValueDictionary>& userInfo) {
  platform::NotificationRequest request;
  request.identifier = platform::makeUUIDString();
  request.content.body = message;
  request.content.sound = platform::kNotificationDefaultSound;
  request.content.categoryIdentifier = categoryIdentifier;
  if (userInfo) request.content.userInfo = *userInfo;
  request.timeInterval = kLocalNotificationDelay;
  request.repeats = false;
  UserNotificationCenter::currentNotificationCenter()->addNotificationRequest(
      std::move(request), [](const platform::ErrorPtr& error) {
        if (error) std::printf("Something went wrong: %s\n", error->description().c_str());
      });
}

std::string localized(const char* key) { return platform::Bundle::main()->localizedString(key, key); }

}  // namespace

void KLPushNotificationsManager::installDeliveredNotificationsRemover() {
  setDeleteAllDeliveredPushNotificationsHandler([] { deleteAllDeliveredPushNotifications(); });
}

void KLPushNotificationsManager::deleteAllDeliveredPushNotifications() {
  auto center = UserNotificationCenter::currentNotificationCenter();
  center->getDeliveredNotificationsWithCompletionHandler([center](std::vector<platform::DeliveredNotification> all) {
    for (const auto& notification : all) center->removeDeliveredNotificationsWithIdentifiers({notification.request.identifier});
  });
}

void KLPushNotificationsManager::deleteDeliveredPushNotificationsWithCategory(int64_t mask,
                                                                              std::optional<int64_t> cameraID) {
  if (!cameraID) return;
  auto center = UserNotificationCenter::currentNotificationCenter();
  const int64_t id = *cameraID;
  center->getDeliveredNotificationsWithCompletionHandler(
      [center, mask, id](std::vector<platform::DeliveredNotification> all) {
        for (const auto& notification : all) {
          const auto& content = notification.request.content;
          if (!KLNotificationCategoryHelper::doNotificationName(content.categoryIdentifier, mask)) continue;
          auto found = content.userInfo.find("id");
          if (found == content.userInfo.end() || !found->second.isNumber() || found->second.isBool()) continue;
          if (found->second.integerValue() != id || found->second.doubleValue() != static_cast<double>(id)) continue;
          center->removeDeliveredNotificationsWithIdentifiers({notification.request.identifier});
        }
      });
}

void KLPushNotificationsManager::sendLocalNotificationWithMessage(const std::string& message,
                                                                  const std::string& categoryIdentifier) {
  schedule(message, categoryIdentifier, std::nullopt);
}

void KLPushNotificationsManager::sendLocalNotificationWithMessage(
    const std::string& message, const std::string& categoryIdentifier,
    const std::optional<platform::ValueDictionary>& userInfo) {
  platform::runOnMain([message, categoryIdentifier, userInfo] { schedule(message, categoryIdentifier, userInfo); });
}

std::optional<std::string> KLPushNotificationsManager::pushNotificationNameWithUserInfo(const platform::Value& payload) {
  platform::Value name = payload["aps"]["alert"]["loc-key"];
  if (!name.isString()) return std::nullopt;
  return name.stringValue();
}

void KLPushNotificationsManager::showTimelineForCameraID(std::optional<int64_t>, double,
                                                         const std::function<void()>& completion) {
  if (completion) completion();
}

std::vector<platform::NotificationCategory> KLPushNotificationsManager::pushNotificationsActionsForDoorbellCategory() {
  const platform::NotificationAction accept{kNotificationButtonAcceptCall, localized("Accept"),
                                            platform::NotificationActionOptionForeground};
  const platform::NotificationAction decline{kNotificationButtonDeclineCall, localized("Decline"),
                                             platform::NotificationActionOptionDestructive};
  std::vector<platform::NotificationCategory> categories;
  for (const auto& name : KLNotificationCategoryHelper::getNotificationNamesForCategoryTypeMask(
           KLNotificationCategoryTypeDoorbell)) {
    categories.push_back({name, {accept, decline}, {}, 0});
  }
  return categories;
}

}  // namespace dk

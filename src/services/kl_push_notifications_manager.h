// KLPushNotificationsManager: what the host and the framework need around push notifications:
// removing delivered notifications (all, or those of one camera and category mask), posting
// local notifications, reading a push payload's name, and the doorbell call categories with
// their accept and decline actions.
//
// Class operations only, no state; thread-safe. Removals run in the completion of the
// notification center's fetch, on the center's queue.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/media/streamer/user_notification_center.h"

namespace dk {

inline constexpr char kNotificationButtonAcceptCall[] = "NOTIFICATION_BUTTON_ACCEPT_CALL";
inline constexpr char kNotificationButtonDeclineCall[] = "NOTIFICATION_BUTTON_DECLINE_CALL";

class KLPushNotificationsManager {
 public:
  KLPushNotificationsManager() = delete;

  // Makes deleteCredential remove the application's delivered notifications. Idempotent; the
  // facade calls it before it replaces the stored credential.
  static void installDeliveredNotificationsRemover();

  static void deleteAllDeliveredPushNotifications();
  // Removes the delivered notifications whose category belongs to the mask and whose user info
  // holds the camera's identifier under "id". Nothing for a missing identifier.
  static void deleteDeliveredPushNotificationsWithCategory(int64_t mask, std::optional<int64_t> cameraID);

  // A local notification 2 s from now with the default sound, scheduled from the calling thread.
  static void sendLocalNotificationWithMessage(const std::string& message, const std::string& categoryIdentifier);
  // The same with user info, always scheduled from the main thread.
  static void sendLocalNotificationWithMessage(const std::string& message, const std::string& categoryIdentifier,
                                               const std::optional<platform::ValueDictionary>& userInfo);

  // "aps" / "alert" / "loc-key" of a push payload; nullopt when a level is missing.
  static std::optional<std::string> pushNotificationNameWithUserInfo(const platform::Value& payload);
  // Calls completion (the identifier and time are not used).
  static void showTimelineForCameraID(std::optional<int64_t> cameraID, double timestamp,
                                      const std::function<void()>& completion);
  // One category per doorbell name, with the accept and decline actions.
  static std::vector<platform::NotificationCategory> pushNotificationsActionsForDoorbellCategory();
};

}  // namespace dk

// UserNotificationCenter: the application's local and delivered notifications, and the
// notification categories with their actions (what the UserNotifications framework gives).
//
// A request is pending until its time trigger fires on the platform clock, then it is delivered
// (shown); delivered notifications stay until removed. Pushes from the cloud arrive through
// deliver(). Every completion handler runs on the center's own serial queue, never on the
// calling thread, as the platform does.
//
// One shared center per process (currentNotificationCenter; resetForTesting starts afresh).
// Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace dk::platform {

// Option bits of an action, as the platform numbers them.
enum NotificationActionOptions : uint64_t {
  NotificationActionOptionNone = 0,
  NotificationActionOptionAuthenticationRequired = 1,
  NotificationActionOptionDestructive = 2,
  NotificationActionOptionForeground = 4,
};

struct NotificationAction {
  std::string identifier;
  std::string title;
  uint64_t options = NotificationActionOptionNone;
};

struct NotificationCategory {
  std::string identifier;
  std::vector<NotificationAction> actions;
  std::vector<std::string> intentIdentifiers;
  uint64_t options = 0;
};

inline constexpr char kNotificationDefaultSound[] = "default";

struct NotificationContent {
  std::string title;
  std::string body;
  std::string sound;  // empty: silent; kNotificationDefaultSound: the platform's default sound
  std::string categoryIdentifier;
  ValueDictionary userInfo;
};

struct NotificationRequest {
  std::string identifier;
  NotificationContent content;
  // Seconds after adding at which it is delivered; nullopt: at once (a push).
  std::optional<double> timeInterval;
  bool repeats = false;
};

struct DeliveredNotification {
  NotificationRequest request;
  double date = 0;  // when it was delivered, on the platform clock
};

class UserNotificationCenter : public std::enable_shared_from_this<UserNotificationCenter> {
 public:
  using ErrorHandler = std::function<void(const ErrorPtr& error)>;

  static std::shared_ptr<UserNotificationCenter> currentNotificationCenter();
  static void resetForTesting();

  UserNotificationCenter();
  const QueuePtr& queue() const { return queue_; }

  // Schedules a request (one with the identifier of a pending one replaces it). A time interval
  // that is not positive, or a repeating one under 60 s, is refused with an error.
  void addNotificationRequest(NotificationRequest request, ErrorHandler completion = {});
  // A notification shown now (a push from the cloud).
  void deliver(NotificationRequest request);

  void getDeliveredNotificationsWithCompletionHandler(std::function<void(std::vector<DeliveredNotification>)> handler);
  void getPendingNotificationRequestsWithCompletionHandler(std::function<void(std::vector<NotificationRequest>)> handler);
  void removeDeliveredNotificationsWithIdentifiers(const std::vector<std::string>& identifiers);
  void removePendingNotificationRequestsWithIdentifiers(const std::vector<std::string>& identifiers);
  void removeAllDeliveredNotifications();
  void removeAllPendingNotificationRequests();

  void setNotificationCategories(std::vector<NotificationCategory> categories);
  void getNotificationCategoriesWithCompletionHandler(std::function<void(std::vector<NotificationCategory>)> handler);

  // Snapshots for callers that cannot wait (tests, diagnostics).
  std::vector<DeliveredNotification> deliveredNotifications() const;
  std::vector<NotificationRequest> pendingNotificationRequests() const;

 private:
  void fire(const std::string& identifier, uint64_t generation);

  const QueuePtr queue_;
  mutable std::mutex mutex_;
  struct Pending {
    NotificationRequest request;
    uint64_t generation = 0;
  };
  std::vector<Pending> pending_;
  std::vector<DeliveredNotification> delivered_;
  std::vector<NotificationCategory> categories_;
  uint64_t nextGeneration_ = 1;
};

inline constexpr char kUserNotificationsErrorDomain[] = "UNErrorDomain";

}  // namespace dk::platform

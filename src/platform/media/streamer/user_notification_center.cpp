#include "platform/media/streamer/user_notification_center.h"

#include <algorithm>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/guarded.h"

namespace dk::platform {

namespace {

Guarded<std::shared_ptr<UserNotificationCenter>>& notificationCenterSlot() {
  static auto* slot = new Guarded<std::shared_ptr<UserNotificationCenter>>();
  return *slot;
}

std::mutex& notificationCenterCreation() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

// The platform's code for an invalid trigger.
constexpr int64_t kNotificationsErrorInvalidTrigger = 1400;

}  // namespace

std::shared_ptr<UserNotificationCenter> UserNotificationCenter::currentNotificationCenter() {
  std::lock_guard<std::mutex> lock(notificationCenterCreation());
  if (auto center = notificationCenterSlot().get()) return center;
  auto center = std::make_shared<UserNotificationCenter>();
  notificationCenterSlot().set(center);
  return center;
}

void UserNotificationCenter::resetForTesting() {
  std::lock_guard<std::mutex> lock(notificationCenterCreation());
  notificationCenterSlot().set(nullptr);
}

UserNotificationCenter::UserNotificationCenter()
    : queue_(DispatchQueue::createSerial("com.apple.usernotifications.center")) {}

void UserNotificationCenter::addNotificationRequest(NotificationRequest request, ErrorHandler completion) {
  ErrorPtr error;
  if (request.timeInterval && (*request.timeInterval <= 0 || (request.repeats && *request.timeInterval < 60))) {
    error = Error::make(kUserNotificationsErrorDomain, kNotificationsErrorInvalidTrigger,
                        request.repeats ? "time interval must be at least 60 if repeating"
                                        : "time interval must be greater than 0");
  }
  if (!error) {
    if (!request.timeInterval) {
      deliver(std::move(request));
    } else {
      const double delay = *request.timeInterval;
      uint64_t generation;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        generation = nextGeneration_++;
        std::erase_if(pending_, [&](const Pending& p) { return p.request.identifier == request.identifier; });
        pending_.push_back({request, generation});
      }
      std::weak_ptr<UserNotificationCenter> weak = shared_from_this();
      queue_->after(delay, [weak, id = request.identifier, generation] {
        if (auto self = weak.lock()) self->fire(id, generation);
      });
    }
  }
  queue_->async([completion = std::move(completion), error] {
    if (completion) completion(error);
  });
}

void UserNotificationCenter::fire(const std::string& identifier, uint64_t generation) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto it = std::find_if(pending_.begin(), pending_.end(),
                         [&](const Pending& p) { return p.request.identifier == identifier && p.generation == generation; });
  if (it == pending_.end()) return;  // removed or replaced meanwhile
  NotificationRequest request = it->request;
  if (!request.repeats) pending_.erase(it);
  std::erase_if(delivered_, [&](const DeliveredNotification& d) { return d.request.identifier == identifier; });
  delivered_.push_back({request, now()});
  if (request.repeats) {
    std::weak_ptr<UserNotificationCenter> weak = shared_from_this();
    lock.unlock();
    queue_->after(*request.timeInterval, [weak, identifier, generation] {
      if (auto self = weak.lock()) self->fire(identifier, generation);
    });
  }
}

void UserNotificationCenter::deliver(NotificationRequest request) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(delivered_, [&](const DeliveredNotification& d) { return d.request.identifier == request.identifier; });
  delivered_.push_back({std::move(request), now()});
}

void UserNotificationCenter::getDeliveredNotificationsWithCompletionHandler(
    std::function<void(std::vector<DeliveredNotification>)> handler) {
  auto self = shared_from_this();
  queue_->async([self, handler = std::move(handler)] {
    if (handler) handler(self->deliveredNotifications());
  });
}

void UserNotificationCenter::getPendingNotificationRequestsWithCompletionHandler(
    std::function<void(std::vector<NotificationRequest>)> handler) {
  auto self = shared_from_this();
  queue_->async([self, handler = std::move(handler)] {
    if (handler) handler(self->pendingNotificationRequests());
  });
}

void UserNotificationCenter::removeDeliveredNotificationsWithIdentifiers(const std::vector<std::string>& identifiers) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(delivered_, [&](const DeliveredNotification& d) {
    return std::find(identifiers.begin(), identifiers.end(), d.request.identifier) != identifiers.end();
  });
}

void UserNotificationCenter::removePendingNotificationRequestsWithIdentifiers(const std::vector<std::string>& identifiers) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(pending_, [&](const Pending& p) {
    return std::find(identifiers.begin(), identifiers.end(), p.request.identifier) != identifiers.end();
  });
}

void UserNotificationCenter::removeAllDeliveredNotifications() {
  std::lock_guard<std::mutex> lock(mutex_);
  delivered_.clear();
}

void UserNotificationCenter::removeAllPendingNotificationRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.clear();
}

void UserNotificationCenter::setNotificationCategories(std::vector<NotificationCategory> categories) {
  std::lock_guard<std::mutex> lock(mutex_);
  categories_ = std::move(categories);
}

void UserNotificationCenter::getNotificationCategoriesWithCompletionHandler(
    std::function<void(std::vector<NotificationCategory>)> handler) {
  auto self = shared_from_this();
  queue_->async([self, handler = std::move(handler)] {
    std::vector<NotificationCategory> categories;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      categories = self->categories_;
    }
    if (handler) handler(std::move(categories));
  });
}

std::vector<DeliveredNotification> UserNotificationCenter::deliveredNotifications() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delivered_;
}

std::vector<NotificationRequest> UserNotificationCenter::pendingNotificationRequests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<NotificationRequest> requests;
  for (const auto& p : pending_) requests.push_back(p.request);
  return requests;
}

}  // namespace dk::platform

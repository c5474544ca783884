#include "platform/foundation/notification_center.h"

#include <algorithm>

namespace dk::platform {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter;
  return *center;
}

void NotificationCenter::addObserver(const std::shared_ptr<const void>& observer, std::string name, Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Drop entries whose observers died, so long-lived processes do not accumulate them.
  std::erase_if(entries_, [](const Entry& e) { return e.observer.expired(); });
  entries_.push_back(Entry{observer.get(), observer, std::move(name), std::make_shared<Handler>(std::move(handler))});
}

std::shared_ptr<const void> NotificationCenter::addObserver(std::string name, Handler handler) {
  auto token = std::make_shared<int>(0);
  addObserver(token, std::move(name), std::move(handler));
  return token;
}

void NotificationCenter::removeObserver(const void* observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(entries_, [observer](const Entry& e) { return e.key == observer; });
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) { return e.key == observer && e.name == name; });
}

void NotificationCenter::post(const std::string& name, ObjectPtr object, ValueDictionary userInfo) {
  post(Notification{name, std::move(object), std::move(userInfo)});
}

void NotificationCenter::post(const Notification& notification) {
  std::vector<std::pair<std::shared_ptr<const void>, std::shared_ptr<Handler>>> targets;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : entries_) {
      if (!e.name.empty() && e.name != notification.name) continue;
      if (auto alive = e.observer.lock()) targets.emplace_back(std::move(alive), e.handler);
    }
  }
  for (auto& [observer, handler] : targets) (*handler)(notification);
}

size_t NotificationCenter::observerCount(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::count_if(entries_.begin(), entries_.end(),
                       [&](const Entry& e) { return e.name == name && !e.observer.expired(); });
}

}  // namespace dk::platform

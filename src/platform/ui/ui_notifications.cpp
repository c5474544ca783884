#include "platform/ui/ui_notifications.h"

#include <algorithm>

#include "platform/ui/main_thread.h"

namespace dk::platform {

UiNotificationHub& UiNotificationHub::shared() {
  static UiNotificationHub* hub = new UiNotificationHub;
  return *hub;
}

UiNotificationHub::Token UiNotificationHub::addObserver(const std::string& name, Observer observer, const void* owner) {
  DK_ASSERT_MAIN_THREAD();
  const Token token = next_++;
  observers_.push_back({token, name, owner, std::make_shared<Observer>(std::move(observer))});
  return token;
}

void UiNotificationHub::removeObserver(Token token) {
  observers_.erase(std::remove_if(observers_.begin(), observers_.end(), [token](const Entry& e) { return e.token == token; }),
                   observers_.end());
}

void UiNotificationHub::removeObserver(const void* owner) {
  if (!owner) return;
  observers_.erase(std::remove_if(observers_.begin(), observers_.end(), [owner](const Entry& e) { return e.owner == owner; }),
                   observers_.end());
}

void UiNotificationHub::post(const UiNotification& notification) {
  DK_ASSERT_MAIN_THREAD();
  // Observers may add or remove observers while being called: call the ones registered now,
  // skipping any removed in the meantime.
  auto snapshot = observers_;
  for (auto& e : snapshot) {
    if (!e.name.empty() && e.name != notification.name) continue;
    const bool stillThere = std::any_of(observers_.begin(), observers_.end(), [&](const Entry& o) { return o.token == e.token; });
    if (stillThere && *e.observer) (*e.observer)(notification);
  }
  if (forwarder_) forwarder_(notification);
}

void UiNotificationHub::resetForTesting() {
  observers_.clear();
  forwarder_ = nullptr;
}

}  // namespace dk::platform

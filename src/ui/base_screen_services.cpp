#include "ui/base_screen_services.h"

#include <memory>
#include <mutex>

namespace dk {
namespace {

std::mutex& servicesMutex() {
  static std::mutex mutex;
  return mutex;
}

// Shared so that a caller keeps the services it read alive while it runs them.
std::shared_ptr<const BaseScreenServices>& servicesSlot() {
  static std::shared_ptr<const BaseScreenServices> services = std::make_shared<BaseScreenServices>();
  return services;
}

std::shared_ptr<const BaseScreenServices> services() {
  std::lock_guard<std::mutex> lock(servicesMutex());
  return servicesSlot();
}

}  // namespace

void installBaseScreenServices(BaseScreenServices services) {
  auto next = std::make_shared<const BaseScreenServices>(std::move(services));
  std::lock_guard<std::mutex> lock(servicesMutex());
  servicesSlot() = std::move(next);
}

KLUserRightsPtr currentUserRights() {
  auto s = services();
  return s->currentUserRights ? s->currentUserRights() : nullptr;
}

uint64_t currentUserRightsMask() {
  auto rights = currentUserRights();
  return rights ? rights->rights() : 0;
}

void resetDataManagerForLogout() {
  auto s = services();
  if (s->cancelLogoutOperations) s->cancelLogoutOperations();
  if (s->resetSharedInstance) s->resetSharedInstance();
}

}  // namespace dk

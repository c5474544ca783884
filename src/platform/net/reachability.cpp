#include "platform/net/reachability.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <filesystem>
#include <string>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/notification_center.h"

namespace dk::platform {

namespace {
constexpr double kPollInterval = 5.0;
}

NetworkReachability& NetworkReachability::sharedManager() {
  static NetworkReachability* manager = new NetworkReachability;
  return *manager;
}

NetworkReachabilityStatus NetworkReachability::systemStatus() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return NetworkReachabilityStatus::Unknown;
  NetworkReachabilityStatus best = NetworkReachabilityStatus::NotReachable;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || !a->ifa_name) continue;
    if (a->ifa_addr->sa_family != AF_INET && a->ifa_addr->sa_family != AF_INET6) continue;
    const unsigned flags = a->ifa_flags;
    if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK)) continue;
    const std::string name = a->ifa_name;
    std::error_code ec;
    const bool wireless = std::filesystem::exists("/sys/class/net/" + name + "/wireless", ec);
    if (!wireless && name.rfind("wwan", 0) == 0) {
      if (best == NetworkReachabilityStatus::NotReachable) best = NetworkReachabilityStatus::ReachableViaWWAN;
    } else {
      best = NetworkReachabilityStatus::ReachableViaWiFi;
    }
  }
  freeifaddrs(list);
  return best;
}

void NetworkReachability::setProvider(Provider provider) {
  bool monitoring;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    provider_ = std::move(provider);
    monitoring = monitoring_;
  }
  if (monitoring) refresh();
}

NetworkReachabilityStatus NetworkReachability::status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

bool NetworkReachability::isReachable() const { return isReachableViaWWAN() || isReachableViaWiFi(); }
bool NetworkReachability::isReachableViaWWAN() const { return status() == NetworkReachabilityStatus::ReachableViaWWAN; }
bool NetworkReachability::isReachableViaWiFi() const { return status() == NetworkReachabilityStatus::ReachableViaWiFi; }

void NetworkReachability::setReachabilityStatusChangeBlock(StatusBlock block) {
  std::lock_guard<std::mutex> lock(mutex_);
  block_ = std::move(block);
}

void NetworkReachability::startMonitoring() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (monitoring_) return;
    monitoring_ = true;
    // The first reading after a start is always reported, as the platform's monitor does.
    status_ = NetworkReachabilityStatus::Unknown;
    timer_ = Timer::scheduled(kPollInterval, true, DispatchQueue::global(), [this] { refresh(); });
  }
  DispatchQueue::global()->async([this] { refresh(); });
}

void NetworkReachability::stopMonitoring() {
  std::shared_ptr<Timer> timer;
  std::lock_guard<std::mutex> lock(mutex_);
  monitoring_ = false;
  timer.swap(timer_);
  if (timer) timer->invalidate();
}

bool NetworkReachability::isMonitoring() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return monitoring_;
}

void NetworkReachability::refresh() {
  Provider provider;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    provider = provider_;
  }
  const NetworkReachabilityStatus now = provider ? provider() : systemStatus();
  StatusBlock block;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool changed = now != status_;
    status_ = now;
    if (!changed || !monitoring_) return;
    block = block_;
  }
  DispatchQueue::main()->async([block, now] {
    if (block) block(now);
    NotificationCenter::defaultCenter().post(kNetworkingReachabilityDidChangeNotification, nullptr,
                                             {{kNetworkingReachabilityNotificationStatusItem, Value(static_cast<int>(now))}});
  });
}

}  // namespace dk::platform

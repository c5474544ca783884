// NetworkReachability: whether the device can reach a network, and over what (the platform's
// reachability monitor).
//
// The status comes from a provider: by default the system's network interfaces (an interface that
// is up and has an address; a wireless one counts as Wi-Fi, "wwan*" as mobile, a wired one as
// Wi-Fi); tests and hosts install their own. While monitoring, a change is reported on the main
// queue through the change block and the notification
// kNetworkingReachabilityDidChangeNotification (user info: status under
// kNetworkingReachabilityNotificationStatusItem). One shared instance; thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace dk::platform {

enum class NetworkReachabilityStatus : int {
  Unknown = -1,
  NotReachable = 0,
  ReachableViaWWAN = 1,
  ReachableViaWiFi = 2,
};

inline constexpr const char* kNetworkingReachabilityDidChangeNotification =
    "com.alamofire.networking.reachability.change";
inline constexpr const char* kNetworkingReachabilityNotificationStatusItem =
    "AFNetworkingReachabilityNotificationStatusItem";

class Timer;

class NetworkReachability {
 public:
  using Provider = std::function<NetworkReachabilityStatus()>;
  using StatusBlock = std::function<void(NetworkReachabilityStatus)>;

  static NetworkReachability& sharedManager();

  // nullptr restores the system interfaces. The new provider is read at once when monitoring.
  void setProvider(Provider provider);
  // The status last read (Unknown before monitoring starts or the first refresh).
  NetworkReachabilityStatus status() const;
  bool isReachable() const;
  bool isReachableViaWWAN() const;
  bool isReachableViaWiFi() const;

  void setReachabilityStatusChangeBlock(StatusBlock block);
  // Reads the status now and every few seconds; changes are reported on the main queue.
  void startMonitoring();
  void stopMonitoring();
  bool isMonitoring() const;
  // Reads the provider now (on the calling thread) and reports a change when monitoring.
  void refresh();

  // The status of the system's interfaces.
  static NetworkReachabilityStatus systemStatus();

 private:
  NetworkReachability() = default;
  mutable std::mutex mutex_;
  Provider provider_;
  StatusBlock block_;
  NetworkReachabilityStatus status_ = NetworkReachabilityStatus::Unknown;
  bool monitoring_ = false;
  std::shared_ptr<Timer> timer_;
};

}  // namespace dk::platform

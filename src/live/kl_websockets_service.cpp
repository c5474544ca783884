#include "live/kl_websockets_service.h"

#include <mutex>

#include "foundation/kl_wifi_helper.h"
#include "platform/net/reachability.h"
#include "services/kl_services_manager.h"

namespace dk {

void KLWebsocketsService::websocketsTurnONWithAccountID(const platform::Value& accountID) {
  if (KLWiFiHelper::isConnectedToCameraAP()) return;
  const platform::Value account = accountID.isNil() ? platform::Value::null() : accountID;
  KLServicesManager::pingRequestWithSuccessBlock(
      [account](const platform::Value&) {
        platform::NotificationCenter::defaultCenter().post(kReconnectWebSocketsNotification, nullptr,
                                                           {{kWebSocketsAccountIdKey, account}});
      },
      nullptr);
}

void KLWebsocketsService::websocketsTurnOFF() {
  platform::NotificationCenter::defaultCenter().post(kDisconnectWebSocketsNotification);
}

void KLWebsocketsService::startWebsockets() {
  static std::once_flag once;
  static std::shared_ptr<const void> observation;
  std::call_once(once, [] {
    observation = platform::NotificationCenter::defaultCenter().addObserver(
        platform::kNetworkingReachabilityDidChangeNotification,
        [](const platform::Notification&) { handle_AFNetworkingReachabilityDidChangeNotification(); });
  });
  platform::NetworkReachability::sharedManager().startMonitoring();
  handle_AFNetworkingReachabilityDidChangeNotification();
}

void KLWebsocketsService::handle_AFNetworkingReachabilityDidChangeNotification() {
  using platform::NetworkReachabilityStatus;
  switch (platform::NetworkReachability::sharedManager().status()) {
    case NetworkReachabilityStatus::ReachableViaWWAN:
    case NetworkReachabilityStatus::ReachableViaWiFi:
      websocketsTurnONWithAccountID(nullptr);
      break;
    case NetworkReachabilityStatus::NotReachable:
      websocketsTurnOFF();
      break;
    case NetworkReachabilityStatus::Unknown:
      break;
  }
}

std::shared_ptr<KLWebsocketsService> KLWebsocketsService::sharedInstance() {
  static std::shared_ptr<KLWebsocketsService> instance = std::make_shared<KLWebsocketsService>();
  return instance;
}

}  // namespace dk

#include "foundation/kl_wifi_helper.h"

#include "platform/net/captive_network.h"
#include "platform/net/reachability.h"

namespace dk {
namespace {

bool networkNameContains(std::string_view needle) {
  auto name = KLWiFiHelper::fetchSSIDInfo();
  return name && name->find(needle) != std::string::npos;
}

}  // namespace

std::optional<std::string> KLWiFiHelper::fetchSSIDInfo() {
  using platform::NetworkReachabilityStatus;
  NetworkReachabilityStatus status = platform::NetworkReachability::sharedManager().status();
  if (status == NetworkReachabilityStatus::ReachableViaWWAN) return std::string("Mobile_Network");
  if (status != NetworkReachabilityStatus::ReachableViaWiFi) return std::nullopt;
  for (const std::string& interfaceName : platform::CaptiveNetwork::copySupportedInterfaces()) {
    platform::ValueDictionary info = platform::CaptiveNetwork::copyCurrentNetworkInfo(interfaceName);
    if (info.empty()) continue;
    auto ssid = info.find(platform::kCaptiveNetworkInfoKeySSID);
    if (ssid != info.end() && ssid->second.isString()) return ssid->second.stringValue();
    break;
  }
  return std::string("WiFi_Network");
}

bool KLWiFiHelper::isConnectedToKeloAP() { return networkNameContains("KELO"); }

bool KLWiFiHelper::isConnectedToDoorbellAP() { return networkNameContains("Doorbell"); }

bool KLWiFiHelper::isConnectedToCameraAP() { return isConnectedToKeloAP() || isConnectedToDoorbellAP(); }

}  // namespace dk

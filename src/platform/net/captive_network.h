// CaptiveNetwork: the Wi-Fi interfaces and the network each is joined to (the platform's
// captive-network queries), for the helpers that tell whether the phone is on a camera's own
// access point.
//
// By default the answers come from the system (wireless interfaces under /sys/class/net, the
// network name through the wireless-extensions ioctl); tests and hosts install a provider.
// Thread-safe.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace dk::platform {

// Keys of a network-info dictionary.
inline constexpr const char* kCaptiveNetworkInfoKeySSID = "SSID";
inline constexpr const char* kCaptiveNetworkInfoKeyBSSID = "BSSID";

struct CaptiveNetworkProvider {
  std::function<std::vector<std::string>()> supportedInterfaces;
  // The info of the network the interface is joined to; empty when none.
  std::function<ValueDictionary(const std::string& interfaceName)> currentNetworkInfo;
};

class CaptiveNetwork {
 public:
  static std::vector<std::string> copySupportedInterfaces();
  static ValueDictionary copyCurrentNetworkInfo(const std::string& interfaceName);
  // An empty provider restores the system's answers.
  static void setProvider(CaptiveNetworkProvider provider);
};

}  // namespace dk::platform

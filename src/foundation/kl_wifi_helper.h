// KLWiFiHelper: the name of the Wi-Fi network the device is on, and whether that network is a
// camera's own access point (the live feed stays off the cloud there).
//
// Reads the platform's reachability monitor and captive-network queries at each call (tests set
// their providers). Stateless; safe from any thread.
#pragma once

#include <optional>
#include <string>

namespace dk {

class KLWiFiHelper {
 public:
  // "Mobile_Network" on mobile data; nil when not on Wi-Fi; on Wi-Fi, the "SSID" of the first
  // interface with network info, or "WiFi_Network" when no interface names one.
  static std::optional<std::string> fetchSSIDInfo();
  // The network name contains "KELO" (case-sensitive).
  static bool isConnectedToKeloAP();
  // The network name contains "Doorbell".
  static bool isConnectedToDoorbellAP();
  // Either of the two.
  static bool isConnectedToCameraAP();
};

}  // namespace dk

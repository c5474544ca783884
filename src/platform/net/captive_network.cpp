#include "platform/net/captive_network.h"

#include <linux/wireless.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/dispatch/guarded.h"

namespace dk::platform {

namespace {
Guarded<CaptiveNetworkProvider>& provider() {
  static auto* slot = new Guarded<CaptiveNetworkProvider>;
  return *slot;
}
CaptiveNetworkProvider currentProvider() { return provider().get(); }

std::vector<std::string> systemWirelessInterfaces() {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/sys/class/net", ec), end; !ec && it != end; it.increment(ec)) {
    if (std::filesystem::exists(it->path() / "wireless", ec)) names.push_back(it->path().filename().string());
  }
  return names;
}

ValueDictionary systemNetworkInfo(const std::string& name) {
  ValueDictionary info;
  if (name.empty() || name.size() >= IFNAMSIZ) return info;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return info;
  iwreq request{};
  std::strncpy(request.ifr_ifrn.ifrn_name, name.c_str(), IFNAMSIZ - 1);
  char essid[IW_ESSID_MAX_SIZE + 1] = {};
  request.u.essid.pointer = essid;
  request.u.essid.length = IW_ESSID_MAX_SIZE;
  if (::ioctl(fd, SIOCGIWESSID, &request) == 0 && request.u.essid.length > 0) {
    info.emplace(kCaptiveNetworkInfoKeySSID, Value(std::string(essid, request.u.essid.length)));
    iwreq ap{};
    std::strncpy(ap.ifr_ifrn.ifrn_name, name.c_str(), IFNAMSIZ - 1);
    if (::ioctl(fd, SIOCGIWAP, &ap) == 0) {
      const auto* mac = reinterpret_cast<const unsigned char*>(ap.u.ap_addr.sa_data);
      char text[18];
      std::snprintf(text, sizeof text, "%x:%x:%x:%x:%x:%x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
      info.emplace(kCaptiveNetworkInfoKeyBSSID, Value(std::string(text)));
    }
  }
  ::close(fd);
  return info;
}
}  // namespace

std::vector<std::string> CaptiveNetwork::copySupportedInterfaces() {
  auto provider = currentProvider();
  return provider.supportedInterfaces ? provider.supportedInterfaces() : systemWirelessInterfaces();
}

ValueDictionary CaptiveNetwork::copyCurrentNetworkInfo(const std::string& interfaceName) {
  auto provider = currentProvider();
  return provider.currentNetworkInfo ? provider.currentNetworkInfo(interfaceName) : systemNetworkInfo(interfaceName);
}

void CaptiveNetwork::setProvider(CaptiveNetworkProvider newProvider) { provider().set(std::move(newProvider)); }

}  // namespace dk::platform

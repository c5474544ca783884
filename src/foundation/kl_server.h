// KLServer: the cloud server's address — scheme, host and port — from which the REST base URL
// and the live feed's WebSocket URL are formed.
//
// Its defaults are three process-wide values (the facade replaces the host, tests and the demo
// host the port too). The shared instance fixes each of its values at its first read and keeps
// it for its life, so a host replaced after the first request changes nothing.
// sharedInstance() is created once, thread-safely; resetForTesting() drops it so a
// test can start again (the framework never calls it). Every method is thread-safe: the first
// fill of a value is made under the instance's lock.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace dk {

// The default REST host: a placeholder of our own, replaced by the host application.
inline constexpr std::string_view kDefaultServerHost = "api.devicekeeper.example";

class KLServer {
 public:
  static std::shared_ptr<KLServer> sharedInstance();
  static void resetForTesting();

  // The process-wide values an instance reads at first use ("https", the default host, "443").
  static std::string processProtocol();
  static void setProcessProtocol(std::string protocol);
  static std::string processIpAddress();
  static void setProcessIpAddress(std::string host);
  static std::string processHttpPort();
  static void setProcessHttpPort(std::string port);
  static void resetProcessValuesForTesting();

  // Each is filled from the process-wide value at its first read, then kept.
  std::string protocol();
  std::string ipAddress();
  std::string httpPort();
  // "<protocol>://<ipAddress>:<httpPort>", the port always included.
  std::string baseURL();
  std::optional<std::string> scope();

  void setProtocol(std::string protocol);
  void setIpAddress(std::string host);
  void setHttpPort(std::string port);
  // Stored but never read: baseURL() is always computed.
  void setBaseURL(std::string url);
  void setScope(std::string scope);

 private:
  std::string fill(std::optional<std::string>& field, std::string (*processValue)());

  std::mutex mutex_;
  std::optional<std::string> baseURL_;
  std::optional<std::string> ipAddress_;
  std::optional<std::string> httpPort_;
  std::optional<std::string> protocol_;
  std::optional<std::string> scope_;
};

}  // namespace dk

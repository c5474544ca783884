#include "foundation/kl_server.h"

#include "platform/dispatch/once.h"

namespace dk {
namespace {

struct ProcessValues {
  std::mutex mutex;
  std::string protocol = "https";
  std::string ipAddress = std::string(kDefaultServerHost);
  std::string httpPort = "443";
};

ProcessValues& processValues() {
  static ProcessValues* v = new ProcessValues;
  return *v;
}

platform::SharedInstance<KLServer>& shared() {
  static auto* instance = new platform::SharedInstance<KLServer>;
  return *instance;
}

std::string read(std::string ProcessValues::*field) {
  auto& v = processValues();
  std::lock_guard<std::mutex> lock(v.mutex);
  return v.*field;
}

void write(std::string ProcessValues::*field, std::string value) {
  auto& v = processValues();
  std::lock_guard<std::mutex> lock(v.mutex);
  v.*field = std::move(value);
}

}  // namespace

std::shared_ptr<KLServer> KLServer::sharedInstance() { return shared().get(); }
void KLServer::resetForTesting() { shared().reset(); }

std::string KLServer::processProtocol() { return read(&ProcessValues::protocol); }
void KLServer::setProcessProtocol(std::string protocol) { write(&ProcessValues::protocol, std::move(protocol)); }
std::string KLServer::processIpAddress() { return read(&ProcessValues::ipAddress); }
void KLServer::setProcessIpAddress(std::string host) { write(&ProcessValues::ipAddress, std::move(host)); }
std::string KLServer::processHttpPort() { return read(&ProcessValues::httpPort); }
void KLServer::setProcessHttpPort(std::string port) { write(&ProcessValues::httpPort, std::move(port)); }

void KLServer::resetProcessValuesForTesting() {
  setProcessProtocol("https");
  setProcessIpAddress(std::string(kDefaultServerHost));
  setProcessHttpPort("443");
}

std::string KLServer::fill(std::optional<std::string>& field, std::string (*processValue)()) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!field) field = processValue();
  return *field;
}

std::string KLServer::protocol() { return fill(protocol_, &KLServer::processProtocol); }
std::string KLServer::ipAddress() { return fill(ipAddress_, &KLServer::processIpAddress); }
std::string KLServer::httpPort() { return fill(httpPort_, &KLServer::processHttpPort); }

std::string KLServer::baseURL() { return protocol() + "://" + ipAddress() + ":" + httpPort(); }

std::optional<std::string> KLServer::scope() {
  std::lock_guard<std::mutex> lock(mutex_);
  return scope_;
}

void KLServer::setProtocol(std::string protocol) {
  std::lock_guard<std::mutex> lock(mutex_);
  protocol_ = std::move(protocol);
}
void KLServer::setIpAddress(std::string host) {
  std::lock_guard<std::mutex> lock(mutex_);
  ipAddress_ = std::move(host);
}
void KLServer::setHttpPort(std::string port) {
  std::lock_guard<std::mutex> lock(mutex_);
  httpPort_ = std::move(port);
}
void KLServer::setBaseURL(std::string url) {
  std::lock_guard<std::mutex> lock(mutex_);
  baseURL_ = std::move(url);
}
void KLServer::setScope(std::string scope) {
  std::lock_guard<std::mutex> lock(mutex_);
  scope_ = std::move(scope);
}

}  // namespace dk

#include "platform/net/tls_policy.h"

#include <mutex>

namespace dk::platform {

namespace {
std::mutex& defaultsMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
std::string& defaultCA() {
  static std::string* path = new std::string;
  return *path;
}
}  // namespace

void TlsPolicy::setDefaultCAFile(std::string path) {
  std::lock_guard<std::mutex> lock(defaultsMutex());
  defaultCA() = std::move(path);
}

std::string TlsPolicy::defaultCAFile() {
  std::lock_guard<std::mutex> lock(defaultsMutex());
  return defaultCA();
}

std::string TlsPolicy::effectiveCAFile() const { return caFile.empty() ? defaultCAFile() : caFile; }

}  // namespace dk::platform

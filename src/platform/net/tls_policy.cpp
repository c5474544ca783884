#include "platform/net/tls_policy.h"

#include "platform/dispatch/guarded.h"

namespace dk::platform {

namespace {
Guarded<std::string>& defaultCA() {
  static auto* path = new Guarded<std::string>;
  return *path;
}
}  // namespace

void TlsPolicy::setDefaultCAFile(std::string path) { defaultCA().set(std::move(path)); }

std::string TlsPolicy::defaultCAFile() { return defaultCA().get(); }

std::string TlsPolicy::effectiveCAFile() const { return caFile.empty() ? defaultCAFile() : caFile; }

}  // namespace dk::platform

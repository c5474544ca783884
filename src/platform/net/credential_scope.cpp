#include "platform/net/credential_scope.h"

#include <string>

#include "platform/net/url_origin.h"

namespace dk::platform {

namespace {

bool isLoopback(const std::string& host) {
  return host == "localhost" || host == "[::1]" || host == "::1" || host.rfind("127.", 0) == 0;
}

}  // namespace

bool mayCarryCredential(std::string_view url, std::string_view serverBaseURL, LoopbackHttp loopbackHttp) {
  const auto target = urlOrigin(url);
  const auto server = urlOrigin(serverBaseURL);
  if (!target || !server || target->hasUser || !target->sameSchemeHostAndPort(*server)) return false;
  if (target->scheme == "https") return true;
  return loopbackHttp == LoopbackHttp::Allowed && target->scheme == "http" && isLoopback(target->host);
}

bool isOnServerOrigin(std::string_view url, std::string_view serverBaseURL) {
  const auto target = urlOrigin(url);
  const auto server = urlOrigin(serverBaseURL);
  return target && server && target->sameSchemeHostAndPort(*server);
}

bool maySendWithoutCredential(std::string_view url) {
  const auto target = urlOrigin(url);
  return target && !target->hasUser && target->scheme == "https" && !target->host.empty();
}

}  // namespace dk::platform

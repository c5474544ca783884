#include "platform/net/credential_scope.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/string_case.h"

namespace dk::platform {

namespace {

struct Origin {
  std::string scheme, host, port;
  bool hasUser = false;
};

std::optional<Origin> originOf(std::string_view url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), &curl_url_cleanup);
  if (!handle || url.empty()) return std::nullopt;
  // Only absolute URLs with a scheme of their own: nothing is guessed.
  if (curl_url_set(handle.get(), CURLUPART_URL, std::string(url).c_str(), 0) != CURLUE_OK) return std::nullopt;
  char *scheme = nullptr, *host = nullptr, *port = nullptr, *user = nullptr;
  std::optional<Origin> origin;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      curl_url_get(handle.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    origin = Origin{asciiLowercase(scheme), asciiLowercase(host), port ? port : "", false};
    origin->hasUser = curl_url_get(handle.get(), CURLUPART_USER, &user, 0) == CURLUE_OK;
  }
  curl_free(scheme);
  curl_free(host);
  curl_free(port);
  curl_free(user);
  return origin;
}

bool isLoopback(const std::string& host) {
  return host == "localhost" || host == "[::1]" || host == "::1" || host.rfind("127.", 0) == 0;
}

}  // namespace

bool mayCarryCredential(std::string_view url, std::string_view serverBaseURL, LoopbackHttp loopbackHttp) {
  const auto target = originOf(url);
  const auto server = originOf(serverBaseURL);
  if (!target || !server || target->hasUser) return false;
  if (target->scheme != server->scheme || target->host != server->host || target->port != server->port) return false;
  if (target->scheme == "https") return true;
  return loopbackHttp == LoopbackHttp::Allowed && target->scheme == "http" && isLoopback(target->host);
}

}  // namespace dk::platform

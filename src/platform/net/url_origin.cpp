#include "platform/net/url_origin.h"

#include <curl/curl.h>

#include <memory>

#include "platform/foundation/string_case.h"

namespace dk::platform {

std::optional<URLOrigin> urlOrigin(std::string_view url) { return urlOrigin({}, url); }

std::optional<URLOrigin> urlOrigin(std::string_view base, std::string_view reference) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), &curl_url_cleanup);
  if (!handle || reference.empty()) return std::nullopt;
  if (!base.empty() && curl_url_set(handle.get(), CURLUPART_URL, std::string(base).c_str(), 0) != CURLUE_OK) {
    return std::nullopt;
  }
  // With a base set, curl resolves a relative reference against it; without, only absolute URLs.
  if (curl_url_set(handle.get(), CURLUPART_URL, std::string(reference).c_str(), 0) != CURLUE_OK) return std::nullopt;
  char *scheme = nullptr, *host = nullptr, *port = nullptr, *user = nullptr;
  std::optional<URLOrigin> origin;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      curl_url_get(handle.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    origin = URLOrigin{asciiLowercase(scheme), asciiLowercase(host), port, false};
    origin->hasUser = curl_url_get(handle.get(), CURLUPART_USER, &user, 0) == CURLUE_OK;
  }
  curl_free(scheme);
  curl_free(host);
  curl_free(port);
  curl_free(user);
  return origin;
}

}  // namespace dk::platform

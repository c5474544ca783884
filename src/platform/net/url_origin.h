// The origin of a URL (scheme, host, port) as curl reads it: the parser that sends the request,
// so that no spelling can make a check and the transfer disagree about where a call goes. Scheme
// and host are lower-cased and the port carries the scheme's default. Used wherever the HTTP
// layer decides what may go where (the credential, redirects). Pure; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dk::platform {

struct URLOrigin {
  std::string scheme, host, port;
  bool hasUser = false;  // the URL names a user ("https://name@host/")

  bool sameSchemeHostAndPort(const URLOrigin& other) const {
    return scheme == other.scheme && host == other.host && port == other.port;
  }
};

// The origin of the absolute `url`; nullopt when it has no scheme or host of its own (nothing is
// guessed) or does not parse.
std::optional<URLOrigin> urlOrigin(std::string_view url);
// The origin of `reference` resolved against the absolute `base`, as a redirect's Location is.
std::optional<URLOrigin> urlOrigin(std::string_view base, std::string_view reference);

}  // namespace dk::platform

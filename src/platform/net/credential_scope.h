// Where the bearer credential may go: to the cloud's own server and nowhere else.
//
// mayCarryCredential(url, serverBaseURL, loopbackHttp) is the one rule every sender of the token
// asks (REST calls, clip downloads, image loads, the streamer's recording reads, the live stream
// and talk): true only when `url` has the server's scheme, host and port, and the scheme is https.
// Plain http is accepted only when the caller allows it and the server is on loopback (the local
// cloud of tests and the demo host). URLs are read by the same parser that sends them, so no
// spelling can make the two disagree. Pure; any thread.
#pragma once

#include <string_view>

namespace dk::platform {

// Whether a plain-http server on loopback may have the token. The HTTP layer allows it for the
// local cloud; the streamer never sends the token in the clear, not even to loopback.
enum class LoopbackHttp { Allowed, Refused };

bool mayCarryCredential(std::string_view url, std::string_view serverBaseURL, LoopbackHttp loopbackHttp);

// Whether the absolute `url` is on the server's own scheme, host and port: a call to the cloud's
// API, which may be redirected only there (RequestConfiguration::sameOriginRedirectsOnly).
bool isOnServerOrigin(std::string_view url, std::string_view serverBaseURL);

// Whether `url` may be fetched at all once it has been refused the token: an absolute https URL
// naming no user (a media host or CDN the cloud hands out). Plain http elsewhere would expose
// what is fetched and what comes back to anyone on the path.
bool maySendWithoutCredential(std::string_view url);

}  // namespace dk::platform

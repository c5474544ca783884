// Where the bearer credential may go: to the REST server itself and nowhere else.
//
// mayCarryCredential(url, serverBaseURL) is the one rule every sender of the token asks (REST
// calls, clip downloads, image loads, the streamer's recording downloads): true only when `url`
// has the server's scheme, host and port, and the scheme is https. A plain-http server is
// accepted only on loopback (the local cloud of tests and the demo host). URLs are read by the
// same parser that sends them, so no spelling can make the two disagree. Pure; any thread.
#pragma once

#include <string_view>

namespace dk::platform {

bool mayCarryCredential(std::string_view url, std::string_view serverBaseURL);

}  // namespace dk::platform

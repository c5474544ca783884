// Where the bearer token may go, for every sender of it: the REST layer, clip downloads and image
// loads (plain http allowed to a loopback cloud) and the streamer (https only).
#include <gtest/gtest.h>

#include "platform/net/credential_scope.h"

namespace dk::platform {
namespace {

TEST(CredentialScope, TheTokenGoesOnlyToTheServersSecureSchemeHostAndPort) {
  for (const LoopbackHttp loopback : {LoopbackHttp::Allowed, LoopbackHttp::Refused}) {
    SCOPED_TRACE(loopback == LoopbackHttp::Allowed ? "loopback http allowed" : "loopback http refused");
    const auto may = [loopback](std::string_view url, std::string_view server) {
      return mayCarryCredential(url, server, loopback);
    };
    const std::string server = "https://api.cloud.example:443";
    EXPECT_TRUE(may("https://api.cloud.example:443/media/clips/1.mp4", server));
    EXPECT_TRUE(may("https://API.Cloud.Example/media/clips/1.mp4", server)) << "default port, any case";
    EXPECT_TRUE(may("https://cloud.example:8443/media/x.mp4", "https://cloud.example:8443"));
    EXPECT_FALSE(may("http://api.cloud.example:443/media/clips/1.mp4", server)) << "plain http";
    EXPECT_FALSE(may("http://api.cloud.example/media/clips/1.mp4", server));
    EXPECT_FALSE(may("https://api.cloud.example:8443/clip.mp4", server)) << "another port";
    EXPECT_FALSE(may("https://api.cloud.example.evil.test/clip.mp4", server)) << "another host";
    EXPECT_FALSE(may("https://api.cloud.example@evil.test/clip.mp4", server)) << "user part";
    EXPECT_FALSE(may("https://evil.test/?https://api.cloud.example:443/", server));
    EXPECT_FALSE(may("https://cloud.example:8443/x", "http://cloud.example:8443")) << "a plain-http server";
    EXPECT_FALSE(may("/media/clips/1.mp4", server)) << "relative: resolve it first";
    EXPECT_FALSE(may("not a url", server));
    EXPECT_FALSE(may("", server));
    EXPECT_FALSE(may("https://api.cloud.example/x", "")) << "no server, no token";
  }
}

TEST(CredentialScope, PlainHttpOnlyToALoopbackServerItselfAndNeverForTheStreamer) {
  const std::string local = "http://127.0.0.1:8080";
  EXPECT_TRUE(mayCarryCredential("http://127.0.0.1:8080/rest/v2.4/events", local, LoopbackHttp::Allowed));
  EXPECT_TRUE(mayCarryCredential("http://localhost:8080/x", "http://localhost:8080", LoopbackHttp::Allowed));
  EXPECT_FALSE(mayCarryCredential("http://127.0.0.1:8081/clip.mp4", local, LoopbackHttp::Allowed));
  EXPECT_FALSE(mayCarryCredential("http://cloud.example:80/x", "http://cloud.example:80", LoopbackHttp::Allowed));
  // The streamer's reads, live stream and talk never send the token in the clear.
  EXPECT_FALSE(mayCarryCredential("http://127.0.0.1:8080/media/x.mp4", local, LoopbackHttp::Refused));
  EXPECT_TRUE(mayCarryCredential("https://127.0.0.1:8443/media/x.mp4", "https://127.0.0.1:8443",
                                 LoopbackHttp::Refused));
}

// A call to the cloud's API is one on the server's own scheme, host and port, whatever the
// spelling; it may be redirected only there.
TEST(CredentialScope, CallsOnTheServersOriginAreTheOnesToItsSchemeHostAndPort) {
  const std::string server = "https://api.cloud.example";
  const struct {
    const char* url;
    bool onOrigin;
  } cases[] = {
      {"https://api.cloud.example/rest/v2.4/events?cameraIds=1", true},
      {"https://API.cloud.example:443/rest/v2.4/events", true},
      {"https://media.cloud.example/clip.mp4", false},
      {"https://api.cloud.example:8443/rest", false},
      {"http://api.cloud.example/rest", false},
      {"/rest/v2.4/events", false},  // resolve it first
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isOnServerOrigin(c.url, server), c.onOrigin) << c.url;
  EXPECT_TRUE(isOnServerOrigin("http://127.0.0.1:8080/rest", "http://127.0.0.1:8080"));
  EXPECT_FALSE(isOnServerOrigin("https://api.cloud.example/rest", "")) << "no server, no origin";
}

}  // namespace
}  // namespace dk::platform

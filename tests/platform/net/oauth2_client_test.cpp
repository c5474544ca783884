#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <optional>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/run_loop.h"
#include "platform/net/oauth2_client.h"
#include "support/manual_clock.h"
#include "platform/net/test_http_server.h"

namespace dk::platform {
namespace {

using test::CannedResponse;
using test::RecordedRequest;
using test::TestHttpServer;

class OAuth2ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HttpSession::Options options;
    options.baseURL = server.baseURL();
    client = std::make_unique<OAuth2Client>(HttpSession::create(options), "tag-1234", "QXT");
  }

  void grant(std::function<void(OAuth2Client::Success, OAuth2Client::Failure)> start) {
    start([this](const OAuthToken& t) { token = t; calls++; },
          [this](const ErrorPtr& e) { error = e; calls++; });
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
  }

  TestHttpServer server;
  std::unique_ptr<OAuth2Client> client;
  std::optional<OAuthToken> token;
  ErrorPtr error;
  int calls = 0;
};

TEST_F(OAuth2ClientTest, PasswordGrantPostsAFormWithBasicClientAuthentication) {
  test::ManualClockScope clock(1000.0);
  server.route("/oauth/token", CannedResponse::json(
                                   "{\"access_token\":\"A\",\"token_type\":\"bearer\",\"refresh_token\":\"R\",\"expires_in\":3600}"));
  grant([&](auto s, auto f) { client->authenticateUsingOAuthWithURLString("oauth/token", "me@x.y", "p&w", "write", s, f); });
  ASSERT_EQ(calls, 1);
  ASSERT_TRUE(token);
  EXPECT_EQ(token->accessToken, "A");
  EXPECT_EQ(token->tokenType, "bearer");
  EXPECT_EQ(token->refreshToken, "R");
  EXPECT_EQ(token->expiration, 4600.0);

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/oauth/token");
  EXPECT_EQ(requests[0].body, "grant_type=password&password=p%26w&scope=write&username=me%40x.y");
  EXPECT_EQ(requests[0].headers["Content-Type"], "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].headers["Accept"], "application/json");
  EXPECT_EQ(requests[0].headers["Authorization"], basicAuthorizationHeader("tag-1234", "QXT"));
  EXPECT_EQ(basicAuthorizationHeader("tag-1234", "QXT"), "Basic dGFnLTEyMzQ6UVhU");
}

TEST_F(OAuth2ClientTest, ClientCredentialsAndRefreshGrantsAndChangedClientIdentity) {
  server.route("/oauth/token", CannedResponse::json("{\"access_token\":\"B\",\"token_type\":\"bearer\"}"));
  grant([&](auto s, auto f) { client->authenticateUsingOAuthWithURLStringScope("oauth/token", "write", s, f); });
  ASSERT_TRUE(token);
  EXPECT_FALSE(token->refreshToken);
  EXPECT_FALSE(token->expiration);

  client->setClientCredentials("user@x", "QXT");
  grant([&](auto s, auto f) { client->authenticateUsingOAuthWithURLStringRefreshToken("oauth/token", "R0", s, f); });
  // A reply without refresh token keeps the one the grant used.
  EXPECT_EQ(token->refreshToken, "R0");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].body, "grant_type=client_credentials&scope=write");
  EXPECT_EQ(requests[1].body, "grant_type=refresh_token&refresh_token=R0");
  EXPECT_EQ(requests[1].headers["Authorization"], basicAuthorizationHeader("user@x", "QXT"));
}

TEST_F(OAuth2ClientTest, RefusalsReachTheFailureCallbackOnce) {
  server.route("/oauth/token", CannedResponse::json("{\"error\":\"invalid_grant\"}", 400));
  grant([&](auto s, auto f) { client->authenticateUsingOAuthWithURLStringRefreshToken("oauth/token", "R0", s, f); });
  ASSERT_EQ(calls, 1);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1011);
  EXPECT_EQ(error->responseBody(), "{\"error\":\"invalid_grant\"}");

  // An error named in a 2xx reply, and a reply without token, are failures too.
  calls = 0;
  server.route("/oauth/token", CannedResponse::json("{\"error\":\"invalid_client\",\"error_description\":\"who?\"}"));
  grant([&](auto s, auto f) { client->authenticateUsingOAuthWithURLStringScope("oauth/token", "write", s, f); });
  ASSERT_EQ(calls, 1);
  EXPECT_EQ(error->domain(), kOAuth2ErrorDomain);
  EXPECT_EQ(error->code(), 2);
  EXPECT_EQ(error->localizedDescription(), "who?");

  calls = 0;
  server.route("/oauth/token", CannedResponse::json("{\"token_type\":\"bearer\"}"));
  grant([&](auto s, auto f) { client->authenticateUsingOAuthWithURLStringScope("oauth/token", "write", s, f); });
  ASSERT_EQ(calls, 1);
  EXPECT_EQ(error->domain(), kOAuth2ErrorDomain);
}


// A grant's body holds a password or a refresh token: a redirect is followed only within the
// token server's own origin. Off it, even to another https host the client would otherwise
// follow, the grant fails and nothing reaches that host; within it, the grant is made there.
TEST(OAuth2ClientRedirectTest, GrantsFollowARedirectOnlyWithinTheTokenServersOrigin) {
  cloudsim::CloudSimOptions options;
  options.https = true;
  cloudsim::CloudSim sim(cloudsim::World::generate(cloudsim::GenerateOptions{}), options);
  ASSERT_NE(sim.start(), 0) << sim.lastError();
  const std::string caFile =
      (std::filesystem::temp_directory_path() / ("dk-oauth-ca-" + std::to_string(::getpid()) + ".pem")).string();
  ASSERT_TRUE(sim.writeCaCertificate(caFile));
  HttpSession::Options session;
  session.baseURL = sim.baseUrl();  // https://127.0.0.1:<port>
  session.tls.caFile = caFile;
  OAuth2Client client(HttpSession::create(session), "tag-1234", options.clientSecret);
  const std::string port = std::to_string(sim.port());
  const std::string email = sim.world().user.email, password = sim.world().user.password;

  struct Case {
    const char* what;
    std::string location;
    bool granted;
  };
  const std::vector<Case> cases = {
      {"another https host", "https://localhost:" + port + "/oauth/token", false},
      {"the token server's own origin", "https://127.0.0.1:" + port + "/oauth/token", true},
  };
  using Grant = std::function<void(OAuth2Client::Success, OAuth2Client::Failure)>;
  const std::vector<std::pair<const char*, Grant>> grants = {
      {"password", [&](auto s, auto f) { client.authenticateUsingOAuthWithURLString("oauth/token", email, password, "write", s, f); }},
      {"refresh token", [&](auto s, auto f) {
         client.authenticateUsingOAuthWithURLStringRefreshToken("oauth/token", "R-not-known", s, f);
       }},
  };
  for (const Case& c : cases) {
    for (const auto& [kind, start] : grants) {
      SCOPED_TRACE(std::string(c.what) + ", " + kind + " grant");
      sim.clearRequests();
      auto redirect = cloudsim::FaultRule::failWith("/oauth/token", 307);
      redirect.headers = {{"Location", c.location}};
      const int rule = sim.addFault(redirect);
      int calls = 0;
      std::optional<OAuthToken> token;
      ErrorPtr error;
      start([&](const OAuthToken& t) { token = t; calls++; }, [&](const ErrorPtr& e) { error = e; calls++; });
      ASSERT_TRUE(MainRunLoop::runUntilIdle());
      sim.removeFault(rule);
      ASSERT_EQ(calls, 1);
      const auto posts = sim.requestsTo("/oauth/token");
      ASSERT_FALSE(posts.empty());
      EXPECT_EQ(posts[0].header("Host"), "127.0.0.1:" + port);
      if (!c.granted) {
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), kURLErrorAppTransportSecurityRequiresSecureConnection) << error->description();
        EXPECT_EQ(posts.size(), 1u) << "the grant's body went on to " << posts.back().header("Host");
      } else {
        ASSERT_EQ(posts.size(), 2u) << "followed once";
        EXPECT_EQ(posts[1].body, posts[0].body);
        // The password grant is made there; the unknown refresh token is refused there.
        EXPECT_EQ(token.has_value(), std::string(kind) == "password") << (error ? error->description() : "");
      }
    }
  }
  std::filesystem::remove(caFile);
}

}  // namespace
}  // namespace dk::platform

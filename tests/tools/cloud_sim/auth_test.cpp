// OAuth2 grants at "oauth/token" and bearer checks on the REST endpoints.
#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

using Json = nlohmann::json;

constexpr const char* kCameras = "/rest/v2.0/cameras/";

// "Basic " + base64("<id>:<secret>")
std::string basic(const std::string& id, const std::string& secret) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string in = id + ":" + secret;
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t n = static_cast<uint8_t>(in[i]) << 16;
    if (i + 1 < in.size()) n |= static_cast<uint8_t>(in[i + 1]) << 8;
    if (i + 2 < in.size()) n |= static_cast<uint8_t>(in[i + 2]);
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += i + 1 < in.size() ? alphabet[(n >> 6) & 63] : '=';
    out += i + 2 < in.size() ? alphabet[n & 63] : '=';
  }
  return "Basic " + out;
}

class Auth : public SimTest {
 protected:
  void SetUp() override { start(smallWorld(2, 1)); }

  ClientResponse grant(const std::string& form, const std::string& authorization) {
    SimClient::Headers headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    if (!authorization.empty()) headers.emplace_back("Authorization", authorization);
    return client->request("POST", "/oauth/token", headers, form);
  }
};

TEST_F(Auth, RestEndpointsWantAValidBearerToken) {
  ClientResponse response = client->get(kCameras, "");
  EXPECT_EQ(response.status, 401);
  EXPECT_EQ(response.json()["error"], "unauthorized");

  response = client->get(kCameras, "not-a-token");
  EXPECT_EQ(response.status, 401);
  EXPECT_EQ(response.json(), Json({{"error", "invalid_token"},
                                   {"error_description", "Invalid access token: not-a-token"}}));
  EXPECT_NE(response.header("WWW-Authenticate").find("invalid_token"), std::string::npos);

  response = client->request("GET", kCameras, {{"Authorization", "bearer " + token()}});
  EXPECT_EQ(response.status, 200) << "the scheme is case-insensitive";
  EXPECT_EQ(response.json().size(), 2u);

  sim->setRequireAuth(false);
  EXPECT_EQ(client->get(kCameras, "").status, 200);
}

TEST_F(Auth, PasswordGrantWithBasicClientAuthentication) {
  const std::string credentials = basic("sim-8F2C", "QXT");
  ClientResponse response =
      grant("grant_type=password&username=user%40example.com&password=password1&scope=write", credentials);
  ASSERT_EQ(response.status, 200) << response.body;
  const Json body = response.json();
  EXPECT_EQ(body["token_type"], "bearer");
  EXPECT_EQ(body["scope"], "write");
  EXPECT_EQ(body["expires_in"], 3600);
  ASSERT_TRUE(body["refresh_token"].is_string());
  const std::string access = body["access_token"];
  EXPECT_EQ(client->get(kCameras, access).status, 200);

  response = grant("grant_type=password&username=user%40example.com&password=wrong", credentials);
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.json()["error"], "invalid_grant");
  EXPECT_EQ(response.json()["error_description"], "Invalid credentials for user user@example.com");

  response = grant("grant_type=password&username=user%40example.com&password=password1",
                   basic("sim-8F2C", "nope"));
  EXPECT_EQ(response.status, 401);
  EXPECT_EQ(response.json()["error"], "invalid_client");

  response = grant("grant_type=password&username=user%40example.com&password=password1", "");
  EXPECT_EQ(response.status, 401);

  response = grant("grant_type=authorization_code&code=x", credentials);
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.json()["error"], "unsupported_grant_type");
}

TEST_F(Auth, ClientCredentialsGiveNoRefreshToken) {
  const ClientResponse response = grant("grant_type=client_credentials&scope=write", basic("sim-1", "QXT"));
  ASSERT_EQ(response.status, 200);
  EXPECT_FALSE(response.json().contains("refresh_token"));
  EXPECT_EQ(client->get(kCameras, response.json()["access_token"]).status, 200);
}

TEST_F(Auth, RefreshGrantRotatesTheRefreshToken) {
  const std::string credentials = basic("user@example.com", "QXT");
  ClientResponse response = grant("grant_type=refresh_token&refresh_token=" + sim->refreshToken(), credentials);
  ASSERT_EQ(response.status, 200) << response.body;
  const std::string access = response.json()["access_token"];
  const std::string refresh = response.json()["refresh_token"];
  EXPECT_NE(access, token());
  EXPECT_NE(refresh, sim->refreshToken());
  EXPECT_EQ(client->get(kCameras, access).status, 200);

  response = grant("grant_type=refresh_token&refresh_token=" + sim->refreshToken(), credentials);
  EXPECT_EQ(response.status, 400) << "a spent refresh token is refused";
  EXPECT_EQ(response.json()["error_description"], "Invalid refresh token: " + sim->refreshToken());
  EXPECT_EQ(grant("grant_type=refresh_token&refresh_token=" + refresh, credentials).status, 200);
}

TEST_F(Auth, ScriptedExpiryRotationAndRevocation) {
  const TokenGrant grant = sim->issueToken();
  sim->expireTokenAfter(grant.accessToken, 2);
  EXPECT_EQ(client->get(kCameras, grant.accessToken).status, 200);
  EXPECT_EQ(client->get(kCameras, grant.accessToken).status, 200);
  const ClientResponse expired = client->get(kCameras, grant.accessToken);
  EXPECT_EQ(expired.status, 401);
  EXPECT_EQ(expired.json()["error_description"], "Invalid access token: " + grant.accessToken);
  EXPECT_FALSE(sim->isTokenValid(grant.accessToken));

  const TokenGrant rotated = sim->rotateToken(token());
  EXPECT_EQ(client->get(kCameras, token()).status, 401);
  EXPECT_EQ(client->get(kCameras, rotated.accessToken).status, 200);

  // The client's logout revokes the token it presents.
  EXPECT_EQ(client->request("DELETE", "/rest/v2.0/users/self/tokens/current",
                            {{"Authorization", "Bearer " + rotated.accessToken}})
                .status,
            204);
  EXPECT_EQ(client->get(kCameras, rotated.accessToken).status, 401);
}

TEST_F(Auth, DemoUserMayReadButNotChange) {
  sim->updateWorld([](World& w) { w.rights.demoUser = true; });
  const std::string camera = std::to_string(firstCamera());
  EXPECT_EQ(client->get("/rest/v2.0/users/self/rights", token()).json()["demoUser"], true);
  EXPECT_EQ(client->get("/rest/v2.1/cameras/" + camera, token()).status, 200);
  const ClientResponse response =
      client->request("PATCH", "/rest/v2.0/cameras/" + camera,
                      {{"Authorization", "Bearer " + token()}, {"Content-Type", "application/json"}},
                      R"({"name":"Renamed"})");
  EXPECT_EQ(response.status, 403);
  EXPECT_EQ(response.json()["error_description"], "Access is denied");
  EXPECT_NE(sim->world().cameras[0].name, "Renamed");
}

}  // namespace
}  // namespace dk::cloudsim::test

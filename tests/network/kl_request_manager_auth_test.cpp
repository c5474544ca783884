#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "network/executor_fixture.h"
#include "foundation/kl_authentication_identifier.h"
#include "foundation/framework_errors.h"
#include "network/kl_camera_requests.h"
#include "network/kl_single_requests.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "support/manual_clock.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using platform::MainRunLoop;

class ExecutorAuthTest : public ExecutorTest {
 protected:
  // A signed-in user whose access token the cloud no longer accepts but whose refresh token it
  // does; the OAuth2 session knows the client identifier the refresh authenticates with.
  void signInWithExpiredToken() {
    const auto grant = sim.issueToken(true);
    ASSERT_TRUE(KLAuthenticationIdentifier::saveAuthenticationIdentifier("user@example.com"));
    storeCredential(grant.accessToken, grant.refreshToken);
    sim.revokeToken(grant.accessToken);
    manager = std::make_shared<KLRequestManager>(sim.baseUrl());
    expiredToken = grant.accessToken;
  }
  std::string expiredToken;
  size_t tokenRequests() const { return sim.requestsTo("/oauth/token").size(); }
  // What the cloud saw of the grants, for failure messages.
  std::string tokenLog() const {
    std::string out;
    for (const auto& r : sim.requestsTo("/oauth/token")) {
      out += "#" + std::to_string(r.sequence) + " conn " + std::to_string(r.connection) + " status " +
             std::to_string(r.status) + " " + r.body + "\n";
    }
    return out;
  }
};

TEST_F(ExecutorAuthTest, A401WithoutStoredCredentialCompletesWithThe401) {
  Outcome outcome;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.count(), 1);
  EXPECT_TRUE(outcome.onMain);
  EXPECT_EQ(outcome.error->code(), -1011);
  EXPECT_EQ(outcome.error->localizedDescription(), "Request failed: unauthorized (401)");
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 1u);
  EXPECT_EQ(tokenRequests(), 0u);
}

TEST_F(ExecutorAuthTest, TheHostsTokenWithoutRefreshTokenEndsWith101002) {
  const std::string token = sim.accessToken();
  storeCredential(token);  // as the facade stores the host's token: no refresh token
  sim.revokeToken(token);
  Outcome outcome;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.count(), 1);
  EXPECT_TRUE(outcome.onMain);
  EXPECT_EQ(outcome.error->domain(), "DKErrorDomain");
  EXPECT_EQ(outcome.error->code(), 101002);
  EXPECT_EQ(outcome.error->localizedDescription(), "Request failed: unable to retrieve refresh token (101002)");
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 1u);
  EXPECT_EQ(tokenRequests(), 0u);
}

TEST_F(ExecutorAuthTest, TheHostsTokenIsRefusedAtOnceWhileAnotherRefreshRuns) {
  ManualClockScope clock;
  signInWithExpiredToken();
  auto oauth = manager->oauthManager();
  const int held = sim.addFault(FaultRule::hold("/oauth/token"));
  platform::OAuthCredentialPtr renewed;
  oauth->refreshTokenWithCompletionBlock([&](const platform::OAuthCredentialPtr& c, const auto&) { renewed = c; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return sim.heldCount() == 1; }));
  ASSERT_TRUE(oauth->isRefreshingToken());
  // The host hands over its own token meanwhile: it has no refresh token, so it cannot wait for one.
  storeCredential("host-token");
  std::atomic<int64_t> code{0};
  oauth->refreshTokenReplacingAccessToken("host-token", [&](const auto&, const platform::ErrorPtr& e) {
    code = e ? e->code() : -1;
  });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return code.load() != 0; }));
  EXPECT_EQ(code.load(), 101002);
  sim.release(held);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  clock.advance(1.0);
  EXPECT_TRUE(renewed);
}

TEST_F(ExecutorAuthTest, ConcurrentCallsWithTheHostsTokenAllEndWith101002AtOnce) {
  ManualClockScope clock;
  const std::string token = sim.accessToken();
  storeCredential(token);
  sim.revokeToken(token);
  std::vector<std::unique_ptr<Outcome>> outcomes;
  for (int i = 0; i < 24; ++i) {
    outcomes.push_back(std::make_unique<Outcome>());
    manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcomes.back()->recorder());
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  // No clock advance: nobody may be parked on the 2 s "refresh in progress" re-check.
  for (const auto& outcome : outcomes) {
    ASSERT_EQ(outcome->count(), 1);
    EXPECT_EQ(outcome->errorCode(), 101002);
  }
  EXPECT_EQ(tokenRequests(), 0u);
}

TEST_F(ExecutorAuthTest, A401NamingAnotherTokenIsSentAgainOnceWithTheStoredOne) {
  storeCredential(sim.accessToken());
  sim.addFault(FaultRule::failWith("/rest/v2.0/cameras/", 401,
                                   "{\"error\":\"invalid_token\",\"error_description\":\"Invalid access token: OLD\"}"));
  Outcome outcome;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.count(), 1);
  EXPECT_FALSE(outcome.error);
  const auto sent = sim.requestsTo("/rest/v2.0/cameras/");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].header("Authorization"), "Bearer " + sim.accessToken());
  EXPECT_EQ(tokenRequests(), 0u);
}

TEST_F(ExecutorAuthTest, A401ThatNeverNamesTheStoredTokenIsNotSentForEver) {
  storeCredential(sim.accessToken());
  FaultRule rule = FaultRule::failWith("/rest/v2.0/cameras/", 401, "{\"error\":\"invalid_token\"}");
  rule.times = -1;
  sim.addFault(rule);
  Outcome outcome;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.count(), 1);
  EXPECT_EQ(outcome.error->response()->statusCode, 401);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 4u);  // the call and three re-sends
}

TEST_F(ExecutorAuthTest, ARefreshStoresTheNewCredentialBeforeTheCallIsSentAgain) {
  ManualClockScope clock;
  signInWithExpiredToken();
  const std::string old = expiredToken;
  Outcome outcome;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(tokenRequests(), 1u);
  const auto grant = sim.requestsTo("/oauth/token")[0];
  EXPECT_EQ(grant.queryParams.count("grant_type"), 0u);
  EXPECT_NE(grant.body.find("grant_type=refresh_token"), std::string::npos);
  EXPECT_EQ(grant.header("Authorization"), platform::basicAuthorizationHeader("user@example.com", "QXT"));
  const std::string fresh = storedAccessToken();
  EXPECT_NE(fresh, old);
  EXPECT_TRUE(sim.isTokenValid(fresh));
  EXPECT_EQ(outcome.count(), 0);

  clock.advance(1.0);
  ASSERT_EQ(outcome.count(), 1);
  EXPECT_FALSE(outcome.error);
  const auto sent = sim.requestsTo("/rest/v2.0/cameras/");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].header("Authorization"), "Bearer " + fresh);
}

TEST_F(ExecutorAuthTest, ConcurrentRefreshesSendOneGrantAndTheOtherCallWaitsForIt) {
  ManualClockScope clock;
  signInWithExpiredToken();
  Outcome first, second;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), first.recorder());
  manager->requestWithRequest(std::make_shared<KLUserRequest>(), second.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(tokenRequests(), 1u) << tokenLog();
  clock.advance(1.0);  // the refreshed caller goes again
  clock.advance(1.0);  // the other one looks again after 2 s and finds the new token
  EXPECT_EQ(first.count(), 1);
  EXPECT_EQ(second.count(), 1);
  EXPECT_FALSE(first.error);
  EXPECT_FALSE(second.error);
  EXPECT_EQ(tokenRequests(), 1u);
}

// The pauses of a refresh, to the tenth of a second: the refreshed call goes again 1.0 s after its
// grant; a call refused while that grant ran looks again 2.0 s after it was told so.
TEST_F(ExecutorAuthTest, ARefreshedCallWaitsOneSecondAndAParkedOneLooksAgainAfterTwo) {
  ManualClockScope clock;
  signInWithExpiredToken();
  const int held = sim.addFault(FaultRule::hold("/oauth/token"));
  Outcome first, second;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), first.recorder());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return sim.heldCount() == 1; }));
  manager->requestWithRequest(std::make_shared<KLUserRequest>(), second.recorder());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return manager->callsWaitingForRefresh() == 1; }));
  sim.release(held);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return storedAccessToken() != expiredToken; }));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());

  clock.advance(0.9);
  EXPECT_EQ(first.count(), 0) << "sent again before its 1.0 s pause ended";
  clock.advance(0.1);
  EXPECT_EQ(first.count(), 1) << "still paused 1.0 s after the grant";
  EXPECT_FALSE(first.error);
  clock.advance(0.9);
  EXPECT_EQ(manager->callsWaitingForRefresh(), 1) << "looked again before 2.0 s";
  EXPECT_EQ(second.count(), 0);
  clock.advance(0.1);
  EXPECT_EQ(manager->callsWaitingForRefresh(), 0) << "still waiting 2.0 s after the refusal";
  EXPECT_EQ(second.count(), 1);
  EXPECT_FALSE(second.error);
  EXPECT_EQ(tokenRequests(), 1u) << tokenLog();
}

TEST_F(ExecutorAuthTest, WaitingUntilIdleCoversACallParkedBehindAnotherRefresh) {
  // The system clock: the executor's own pauses (1 s after a grant, 2 s before a parked call looks
  // again) are real timers here, and "idle" must wait for them rather than return with a call open.
  signInWithExpiredToken();
  const int held = sim.addFault(FaultRule::hold("/oauth/token"));
  Outcome first, second;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), first.recorder());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return sim.heldCount() == 1; }));
  manager->requestWithRequest(std::make_shared<KLUserRequest>(), second.recorder());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return manager->callsWaitingForRefresh() == 1; }))
      << "the second call is refused with the expired token while the grant is held";
  sim.release(held);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(first.count(), 1);
  EXPECT_EQ(second.count(), 1) << "idle was reported while the parked call was still open";
  EXPECT_FALSE(second.error);
  EXPECT_EQ(tokenRequests(), 1u) << tokenLog();
}

TEST_F(ExecutorAuthTest, DownloadsRejectedWith401GoBackThroughTheDownloadWithTheirProgress) {
  ManualClockScope clock;
  signInWithExpiredToken();
  const int64_t event = sim.world().events.front().eventId;
  const std::string path = "/media/clips/" + std::to_string(event) + ".mp4";
  auto clip = std::make_shared<KLDownloadVideoRequest>();
  clip->downloadVideoURL = sim.baseUrl() + path;
  int progressCalls = 0;
  double lastFraction = 0;
  Outcome outcome;
  manager->downloadRequestWithRequest(
      clip,
      [&](int64_t, int64_t, double fraction) {
        progressCalls++;
        lastFraction = fraction;
      },
      outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  // A 4xx ends a download's retries at once: the 401 goes straight to the token refresh.
  EXPECT_EQ(sim.requestsTo(path).size(), 1u);
  EXPECT_EQ(tokenRequests(), 1u);
  EXPECT_EQ(outcome.count(), 0);
  clock.advance(1.0);
  ASSERT_EQ(outcome.count(), 1);
  EXPECT_FALSE(outcome.error);
  EXPECT_TRUE(outcome.onMain);
  EXPECT_EQ(sim.requestsTo(path).size(), 2u);
  EXPECT_GT(progressCalls, 0);
  EXPECT_DOUBLE_EQ(lastFraction, 1.0);
}

TEST_F(ExecutorAuthTest, A403PostsTheDemoUserNotificationOnceAndFails) {
  storeCredential(sim.accessToken());
  sim.addFault(FaultRule::failWith("/rest/v2.0/cameras/", 403, "{\"error\":\"access_denied\"}"));
  int posted = 0;
  auto observer = platform::NotificationCenter::defaultCenter().addObserver(
      kShowDemoUserErrorNotification, [&](const platform::Notification& n) {
        posted++;
        EXPECT_FALSE(n.object);
        EXPECT_TRUE(n.userInfo.empty());
      });
  Outcome outcome;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(posted, 1);
  ASSERT_EQ(outcome.count(), 1);
  EXPECT_EQ(outcome.error->response()->statusCode, 403);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 1u);
}

TEST_F(ExecutorAuthTest, RefreshAnswersAtOnceWithoutCredentialOrRefreshToken) {
  auto oauth = manager->oauthManager();
  int64_t code = 0;
  oauth->refreshTokenWithCompletionBlock([&](const auto&, const platform::ErrorPtr& e) { code = e ? e->code() : 0; });
  EXPECT_EQ(code, 101001);  // before the call returned
  storeCredential("host-token");
  oauth->refreshTokenWithCompletionBlock([&](const auto&, const platform::ErrorPtr& e) { code = e ? e->code() : 0; });
  EXPECT_EQ(code, 101002);
  EXPECT_FALSE(oauth->isRefreshingToken());
  EXPECT_EQ(oauth->accessToken(), "host-token");
  platform::OAuthCredential::deleteCredentialWithIdentifier(kCredentialIdentifier);
  EXPECT_EQ(oauth->accessToken(), "undefined");
}

TEST_F(ExecutorAuthTest, TheStreamerAsksTheSessionForTheStoredToken) {
  EXPECT_EQ(platform::DKAccessTokenProvider::delegate().get(),
            static_cast<platform::DKAccessTokenProviderDelegate*>(manager->oauthManager().get()));
  EXPECT_EQ(platform::DKAccessTokenProvider::accessToken(), "undefined");
  storeCredential("streaming-token");
  EXPECT_EQ(platform::DKAccessTokenProvider::accessToken(), "streaming-token");
  storeCredential("rotated-token");  // read at every call, never kept
  EXPECT_EQ(platform::DKAccessTokenProvider::accessToken(), "rotated-token");
}

TEST_F(ExecutorAuthTest, TwoRefreshesStartedTogetherSendOneGrant) {
  ManualClockScope clock;
  signInWithExpiredToken();
  auto oauth = manager->oauthManager();
  std::atomic<int> inProgress{0}, succeeded{0};
  auto completion = [&](const platform::OAuthCredentialPtr& credential, const platform::ErrorPtr& error) {
    if (error && error->code() == KLCustomErrorRefreshTokenInProgress) inProgress++;
    if (credential && !error) succeeded++;
  };
  // Two callers refreshing the token they both saw refused.
  oauth->refreshTokenReplacingAccessToken(expiredToken, completion);
  oauth->refreshTokenReplacingAccessToken(expiredToken, completion);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  clock.advance(1.0);
  // The second is told a refresh is running, or, when it starts after the first has finished,
  // handed the credential the first one stored; either way there is one grant.
  EXPECT_EQ(inProgress.load() + succeeded.load(), 2);
  EXPECT_GE(succeeded.load(), 1);
  EXPECT_EQ(tokenRequests(), 1u) << tokenLog();
  EXPECT_FALSE(oauth->isRefreshingToken());
}

TEST_F(ExecutorAuthTest, ARefreshForATokenAlreadyReplacedSendsNoGrant) {
  ManualClockScope clock;
  signInWithExpiredToken();
  // Another refresh finished after this caller looked at the store: its refresh token is spent.
  const auto fresh = sim.issueToken(true);
  storeCredential(fresh.accessToken, fresh.refreshToken);
  platform::OAuthCredentialPtr handedOn;
  platform::ErrorPtr failure;
  manager->oauthManager()->refreshTokenReplacingAccessToken(
      expiredToken, [&](const platform::OAuthCredentialPtr& c, const platform::ErrorPtr& e) {
        handedOn = c;
        failure = e;
      });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  clock.advance(1.0);
  EXPECT_FALSE(failure);
  ASSERT_TRUE(handedOn);
  EXPECT_EQ(handedOn->accessToken(), fresh.accessToken);
  EXPECT_EQ(tokenRequests(), 0u);
  EXPECT_FALSE(manager->oauthManager()->isRefreshingToken());
}

TEST_F(ExecutorAuthTest, ARefusedRefreshClearsTheFlagForTheNextOne) {
  ManualClockScope clock;
  signInWithExpiredToken();
  sim.addFault(FaultRule::failWith("/oauth/token", 400, "{\"error\":\"invalid_grant\"}"));
  auto oauth = manager->oauthManager();
  platform::ErrorPtr refused;
  oauth->refreshTokenWithCompletionBlock([&](const auto&, const platform::ErrorPtr& e) { refused = e; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->code(), -1011);
  EXPECT_FALSE(oauth->isRefreshingToken());
  platform::OAuthCredentialPtr renewed;
  oauth->refreshTokenWithCompletionBlock([&](const platform::OAuthCredentialPtr& c, const auto&) { renewed = c; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  clock.advance(1.0);
  ASSERT_TRUE(renewed);
  EXPECT_EQ(renewed->accessToken(), storedAccessToken());
}

TEST_F(ExecutorAuthTest, PasswordAndClientCredentialGrantsStoreTheirCredentials) {
  auto oauth = manager->oauthManager();
  platform::OAuthCredentialPtr login;
  oauth->loginUserWithUsername("user@example.com", "password1",
                               [&](const platform::OAuthCredentialPtr& c, const auto&) { login = c; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_TRUE(login);
  EXPECT_TRUE(login->refreshToken().has_value());
  EXPECT_EQ(storedAccessToken(), login->accessToken());
  EXPECT_EQ(oauth->username(), "user@example.com");
  auto grant = sim.requestsTo("/oauth/token").at(0);
  EXPECT_NE(grant.body.find("scope=write"), std::string::npos);
  EXPECT_NE(grant.body.find("grant_type=password"), std::string::npos);

  // Name 4 takes a client-credentials grant, then posts with the token it got.
  auto recover = std::make_shared<KLRequest>();
  recover->setRequestName(RECOVER_PASSWORD_REQUEST_CLOUD);
  Outcome outcome;
  manager->requestWithRequest(recover, outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(tokenRequests(), 2u);
  EXPECT_NE(sim.requestsTo("/oauth/token")[1].body.find("grant_type=client_credentials"), std::string::npos);
  const auto posted = sim.requestsTo("/rest/v2.0/passwordResets");
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].method, "POST");
  EXPECT_EQ(posted[0].header("Authorization"), "Bearer " + storedAccessToken());
  EXPECT_NE(storedAccessToken(), login->accessToken());
  EXPECT_EQ(outcome.count(), 1);
}

TEST(KLOAuth2Manager, EveryGrantGetsANewClientIdentifierWithTheFixedTag) {
  const std::string a = KLOAuth2Manager::newClientID(), b = KLOAuth2Manager::newClientID();
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(std::string(kOAuthClientTag) + "-", 0), 0u);
  EXPECT_EQ(a.size(), std::string(kOAuthClientTag).size() + 1 + 36);
}

}  // namespace
}  // namespace dk::test

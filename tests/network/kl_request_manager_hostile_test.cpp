// The executor against a cloud that misbehaves: clip addresses that lead elsewhere, clips that are
// not there, replies too long to hold.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "network/executor_fixture.h"
#include "foundation/kl_authentication_identifier.h"
#include "network/kl_camera_requests.h"
#include "network/kl_single_requests.h"
#include "platform/foundation/data.h"
#include "platform/net/http_errors.h"
#include "platform/net/tls_policy.h"
#include "platform/net/test_http_server.h"
#include "support/manual_clock.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using platform::MainRunLoop;

// Lets a dripping reply's first byte go once the server has started dripping (a drip asked for
// before the reply's header block went out is not counted); false when it never starts.
bool primeDrip(TestHttpServer& server) {
  for (int tries = 0; tries < 100 && server.bytesDripped() == 0; ++tries) {
    server.dripOne();
    MainRunLoop::runUntil([&] { return server.bytesDripped() > 0; }, 0.2);
  }
  return server.bytesDripped() > 0;
}

class HostileCloudTest : public ExecutorTest {
 protected:
  std::shared_ptr<KLDownloadVideoRequest> clipAt(const std::string& url) {
    auto clip = std::make_shared<KLDownloadVideoRequest>();
    clip->downloadVideoURL = url;
    return clip;
  }
  std::string clipPath() const { return "/media/clips/" + std::to_string(sim.world().events.front().eventId) + ".mp4"; }

  // Another host over https (a media host, or wherever a redirect leads), whose certificate the
  // process trusts until the test ends.
  std::unique_ptr<cloudsim::CloudSim> startHttpsHost() {
    cloudsim::CloudSimOptions secure;
    secure.https = true;
    auto host = std::make_unique<cloudsim::CloudSim>(cloudsim::World::generate(cloudsim::GenerateOptions{}), secure);
    EXPECT_NE(host->start(), 0) << host->lastError();
    host->setRequireAuth(false);
    caFile = ::testing::TempDir() + "dk-https-host-ca-" + std::to_string(host->port()) + ".pem";
    EXPECT_TRUE(host->writeCaCertificate(caFile));
    platform::TlsPolicy::setDefaultCAFile(caFile);
    return host;
  }
  void TearDown() override {
    ExecutorTest::TearDown();
    if (caFile.empty()) return;
    platform::TlsPolicy::setDefaultCAFile("");
    std::remove(caFile.c_str());
  }

  TestHttpServer elsewhere;  // a second host that records whatever reaches it
  std::string caFile;
};

// Where a clip address may lead: the REST server gets the token; a media host over https (as
// large clouds serve their clips) gets the request without it; plain http elsewhere, or an
// address naming a user, gets nothing at all.
TEST_F(HostileCloudTest, ClipsComeFromTheCloudWithTheTokenFromAnHttpsMediaHostWithoutItAndFromNowhereElse) {
  ManualClockScope clock;
  storeCredential(sim.accessToken());
  const auto host = startHttpsHost();
  cloudsim::CloudSim& media = *host;

  enum class Expect { Refused, WithToken, WithoutToken };
  const std::string port = std::to_string(sim.port());
  const std::string mediaPort = std::to_string(media.port());
  const struct {
    std::string address;
    Expect expect;
  } cases[] = {
      {elsewhere.baseURL() + "/clip.mp4", Expect::Refused},                       // plain http, another port
      {"http://localhost:" + port + clipPath(), Expect::Refused},                 // plain http, another host name
      {"http://user@127.0.0.1:" + port + clipPath(), Expect::Refused},            // a user in the address
      {"https://user@localhost:" + mediaPort + clipPath(), Expect::Refused},      // the same over https
      {"ftp://localhost:" + mediaPort + clipPath(), Expect::Refused},             // not the web
      {"https://localhost:" + mediaPort + clipPath(), Expect::WithoutToken},      // a media host
      {"https://127.0.0.1:" + mediaPort + clipPath() + "?sig=1", Expect::WithoutToken},
      {sim.baseUrl() + clipPath(), Expect::WithToken},                            // the cloud itself
      {clipPath(), Expect::WithToken},                                            // relative to it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    const size_t cloudBefore = sim.requestsTo(clipPath()).size();
    const size_t mediaBefore = media.requestsTo(clipPath()).size();
    Outcome outcome;
    manager->downloadRequestWithRequest(clipAt(c.address), nullptr, outcome.recorder());
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(outcome.count(), 1);
    EXPECT_TRUE(outcome.onMain);
    const auto cloudSent = sim.requestsTo(clipPath());
    const auto mediaSent = media.requestsTo(clipPath());
    switch (c.expect) {
      case Expect::Refused:
        EXPECT_EQ(outcome.errorCode(), platform::kURLErrorUnsupportedURL);
        EXPECT_EQ(cloudSent.size(), cloudBefore);
        EXPECT_EQ(mediaSent.size(), mediaBefore);
        break;
      case Expect::WithToken:
        EXPECT_FALSE(outcome.error);
        ASSERT_EQ(cloudSent.size(), cloudBefore + 1);
        EXPECT_EQ(cloudSent.back().header("Authorization"), "Bearer " + sim.accessToken());
        break;
      case Expect::WithoutToken:
        EXPECT_FALSE(outcome.error) << (outcome.error ? outcome.error->description() : "");
        EXPECT_TRUE(outcome.result.objectAs<platform::Data>());
        ASSERT_EQ(mediaSent.size(), mediaBefore + 1);
        EXPECT_EQ(mediaSent.back().header("Authorization"), "") << "the token stays with the cloud";
        break;
    }
  }
  EXPECT_EQ(elsewhere.requestCount(), 0u);

  // A media host that answers 401 is not asking for the cloud's token: no refresh, no re-send.
  FaultRule refused = FaultRule::failWith(clipPath(), 401,
                                          "{\"error\":\"invalid_token\",\"error_description\":\"Invalid access token: " +
                                              sim.accessToken() + "\"}");
  media.addFault(refused);
  const size_t before = media.requestsTo(clipPath()).size();
  Outcome unauthorized;
  manager->downloadRequestWithRequest(clipAt("https://localhost:" + mediaPort + clipPath()), nullptr,
                                      unauthorized.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(unauthorized.count(), 1);
  ASSERT_TRUE(unauthorized.error);
  EXPECT_EQ(unauthorized.error->response()->statusCode, 401);
  EXPECT_EQ(media.requestsTo(clipPath()).size(), before + 1);
  EXPECT_EQ(sim.requestsTo("/oauth/token").size(), 0u);
}

TEST_F(HostileCloudTest, AClipTheCloudRefusesIsAskedForOnceButA401StillGetsTheStoredToken) {
  ManualClockScope clock;
  storeCredential(sim.accessToken());
  FaultRule missing = FaultRule::failWith(clipPath(), 404);
  missing.times = -1;
  const int fault = sim.addFault(missing);
  Outcome gone;
  manager->downloadRequestWithRequest(clipAt(sim.baseUrl() + clipPath()), nullptr, gone.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(gone.count(), 1) << "a 4xx is not retried";
  EXPECT_EQ(gone.error->response()->statusCode, 404);
  EXPECT_EQ(sim.requestsTo(clipPath()).size(), 1u);
  sim.removeFault(fault);

  // A 401 naming another token is still sent again at once with the stored one.
  sim.addFault(FaultRule::failWith(clipPath(), 401,
                                   "{\"error\":\"invalid_token\",\"error_description\":\"Invalid access token: OLD\"}"));
  Outcome renewed;
  manager->downloadRequestWithRequest(clipAt(sim.baseUrl() + clipPath()), nullptr, renewed.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(renewed.count(), 1);
  EXPECT_FALSE(renewed.error);
  const auto sent = sim.requestsTo(clipPath());
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[2].header("Authorization"), "Bearer " + sim.accessToken());
}

// A clip the cloud fails to serve is asked for again ten times, two seconds apart (a 4xx is not:
// the address will not get better).
TEST_F(HostileCloudTest, AFailingClipIsAskedForTenMoreTimesTwoSecondsApart) {
  ManualClockScope clock;
  storeCredential(sim.accessToken());
  const struct {
    const char* what;
    FaultRule fault;
  } failures[] = {
      {"the cloud answers 503", FaultRule::failWith(clipPath(), 503)},
      {"the cloud answers 500", FaultRule::failWith(clipPath(), 500, "{\"message\":\"boom\"}")},
  };
  for (auto failure : failures) {
    SCOPED_TRACE(failure.what);
    failure.fault.times = -1;
    const int fault = sim.addFault(failure.fault);
    const size_t before = sim.requestsTo(clipPath()).size();
    const auto sent = [&] { return sim.requestsTo(clipPath()).size() - before; };
    Outcome outcome;
    manager->downloadRequestWithRequest(clipAt(sim.baseUrl() + clipPath()), nullptr, outcome.recorder());
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(sent(), 1u);
    for (size_t retry = 1; retry <= 10; ++retry) {
      clock.advance(1.9);
      EXPECT_EQ(sent(), retry) << "retry " << retry << " came early";
      clock.advance(0.1);
      EXPECT_EQ(sent(), retry + 1) << "retry " << retry << " is due";
      EXPECT_EQ(outcome.count(), retry == 10 ? 1 : 0);
    }
    clock.advance(60);
    EXPECT_EQ(sent(), 11u) << "ten retries, no more";
    ASSERT_EQ(outcome.count(), 1);
    EXPECT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.onMain);
    sim.removeFault(fault);
  }
}

// A clip may take 180 s plus its size at 32 KiB/s, however slowly its bytes trickle in; then the
// attempt ends (and the retries above take over).
TEST_F(HostileCloudTest, AClipThatTricklesEndsAt180SecondsPlusItsSizeAt32KiBPerSecond) {
  ManualClockScope clock;
  storeCredential(sim.accessToken());
  auto executor = std::make_shared<KLRequestManager>(elsewhere.baseURL());
  const size_t bytes = 100 * 32 * 1024;  // 100 s at 32 KiB/s: 280 s in all
  CannedResponse clip{200, {{"Content-Type", "video/mp4"}}, std::string(bytes, 'v')};
  clip.drip = true;
  elsewhere.route("/clip.mp4", clip);
  std::atomic<int64_t> received{0};
  Outcome outcome;
  executor->downloadRequestWithRequest(
      clipAt("/clip.mp4"), [&received](int64_t completed, int64_t, double) { received = completed; },
      outcome.recorder());
  ASSERT_TRUE(primeDrip(elsewhere));
  // Every byte the server sent has reached the download.
  const auto caughtUp = [&] { return received == static_cast<int64_t>(elsewhere.bytesDripped()); };
  ASSERT_TRUE(MainRunLoop::runUntil(caughtUp));
  const auto tasks = executor->httpSessionManager()->session->tasks();
  ASSERT_EQ(tasks.size(), 1u);
  const platform::HttpTaskPtr task = tasks[0];
  // A byte now and then keeps the call from going idle (180 s): it lives until its deadline. The
  // second byte of each pair can only arrive if the network thread, having seen the first after
  // the clock moved, did not end the call.
  for (const double step : {100.0, 100.0, 79.0}) {
    clock.clock().advance(step);
    for (int i = 0; i < 2; ++i) {
      const size_t sent = elsewhere.bytesDripped();
      elsewhere.dripOne();
      ASSERT_TRUE(MainRunLoop::runUntil([&] { return elsewhere.bytesDripped() > sent && caughtUp(); }))
          << "ended before 280 s";
    }
  }
  EXPECT_EQ(task->retriesDone(), 0);
  clock.clock().advance(2);  // 281 s
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return task->retriesDone() == 1; })) << "still running past 280 s";
  EXPECT_EQ(outcome.count(), 0) << "the retries go on";
  task->cancel();
  elsewhere.releaseHeld();
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return outcome.count() == 1; }));
}

// Whatever address a request names, the token goes with it only to the REST server itself.
TEST_F(HostileCloudTest, RestCallsCarryTheTokenOnlyToTheRestServer) {
  storeCredential(sim.accessToken());
  sim.setRequireAuth(false);
  const std::string path = "/rest/v2.4/events";
  elsewhere.route(path, CannedResponse::json("[]"));
  const std::string port = std::to_string(sim.port());
  const struct {
    std::string url;
    bool toCloud;  // else to the other server
    bool withToken;
  } cases[] = {
      {elsewhere.baseURL() + path, false, false},            // another port
      {"http://localhost:" + port + path, true, false},      // the cloud's port under another host name
      {sim.baseUrl() + path + "?limit=1", true, true},       // the cloud
      {path, true, true},                                    // relative to it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    Outcome outcome;
    manager->requestWithRequest(std::make_shared<MappedRequest>(OLD_EVENTS_GET_REQUEST_CLOUD, c.url),
                                outcome.recorder());
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(outcome.count(), 1);
    std::string authorization;
    if (c.toCloud) {
      const auto sent = sim.requestsTo(path);
      ASSERT_FALSE(sent.empty());
      authorization = sent.back().header("Authorization");
    } else {
      const auto sent = elsewhere.requests();
      ASSERT_FALSE(sent.empty());
      const auto it = sent.back().headers.find("Authorization");
      authorization = it == sent.back().headers.end() ? "" : it->second;
    }
    EXPECT_EQ(authorization, c.withToken ? "Bearer " + sim.accessToken() : "");
  }
}

// A call to the cloud's API, and the token grant a refused token leads to, follows a redirect only
// within the cloud's origin. A 307 to another host, https as it may be, fails the call once as a
// refused redirect before anything (the camera, the event types, the refresh token) reaches that
// host; the caller is told, on the main thread.
TEST_F(HostileCloudTest, ApiCallsAndTheTokenRefreshFollowRedirectsOnlyWithinTheCloudsOrigin) {
  const auto other = startHttpsHost();
  const std::string events = "/rest/v2.4/events", token = "/oauth/token";
  const std::string otherHost = "https://localhost:" + std::to_string(other->port());
  const struct {
    const char* what;
    std::string redirected;  // the path the cloud answers with a 307
    std::string location;
    bool followed;
  } cases[] = {
      {"events list to another host", events, otherHost + events + "?cameraIds=1", false},
      {"token refresh to another host", token, otherHost + token, false},
      {"events list within the origin", events, events + "?again=1", true},
      {"events list to the origin named in full", events, sim.baseUrl() + events + "?again=1", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // A signed-in user whose token the cloud refuses, so that a call goes through the refresh.
    const auto grant = sim.issueToken(true);
    ASSERT_TRUE(KLAuthenticationIdentifier::saveAuthenticationIdentifier("user@example.com"));
    storeCredential(grant.accessToken, grant.refreshToken);
    if (c.redirected == token) sim.revokeToken(grant.accessToken);
    manager = std::make_shared<KLRequestManager>(sim.baseUrl());
    FaultRule redirect = FaultRule::failWith(c.redirected, 307);
    redirect.headers = {{"Location", c.location}};
    sim.addFault(redirect);
    sim.clearRequests();
    const size_t otherBefore = other->requestCount();
    Outcome outcome;
    manager->requestWithRequest(std::make_shared<MappedRequest>(OLD_EVENTS_GET_REQUEST_CLOUD, events),
                                outcome.recorder());
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(outcome.count(), 1);
    EXPECT_EQ(other->requestCount(), otherBefore) << "nothing reaches the other host";
    if (c.followed) {
      EXPECT_FALSE(outcome.error) << outcome.error->description();
      const auto sent = sim.requestsTo(events);
      ASSERT_EQ(sent.size(), 2u);
      EXPECT_EQ(sent[1].queryParams.count("again"), 1u);
      EXPECT_EQ(sent[1].header("Authorization"), "Bearer " + grant.accessToken);
    } else {
      EXPECT_TRUE(outcome.onMain);
      EXPECT_EQ(outcome.errorCode(), platform::kURLErrorAppTransportSecurityRequiresSecureConnection);
      EXPECT_TRUE(outcome.result.isNil());
      EXPECT_EQ(sim.requestsTo(c.redirected).size(), 1u) << "refused once, not asked again";
    }
    sim.clearFaults();
  }
}

TEST_F(HostileCloudTest, AReplyLongerThanAnyPageFailsClearlyAndMapsNothing) {
  storeCredential(sim.accessToken());
  auto executor = std::make_shared<KLRequestManager>(elsewhere.baseURL());
  elsewhere.route("/rest/v2.4/events", CannedResponse::json("[" + std::string(platform::kDefaultMaxReplyBytes, ' ') + "]"));
  Outcome outcome;
  executor->requestWithRequest(std::make_shared<MappedRequest>(OLD_EVENTS_GET_REQUEST_CLOUD, "/rest/v2.4/events"),
                               outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.count(), 1);
  EXPECT_EQ(outcome.errorCode(), platform::kURLErrorDataLengthExceedsMaximum);
  EXPECT_TRUE(outcome.result.isNil());
  EXPECT_TRUE(outcome.onMain);
  // The token went with it: this executor's server is that host.
  EXPECT_EQ(elsewhere.requests().at(0).headers.at("Authorization"), "Bearer " + sim.accessToken());
}

}  // namespace
}  // namespace dk::test

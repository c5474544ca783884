// The executor against a cloud that misbehaves: clip addresses that lead elsewhere, clips that are
// not there, replies too long to hold.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "network/executor_fixture.h"
#include "network/kl_camera_requests.h"
#include "network/kl_single_requests.h"
#include "platform/net/http_errors.h"
#include "platform/net/test_http_server.h"
#include "support/manual_clock.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using platform::MainRunLoop;

class HostileCloudTest : public ExecutorTest {
 protected:
  std::shared_ptr<KLDownloadVideoRequest> clipAt(const std::string& url) {
    auto clip = std::make_shared<KLDownloadVideoRequest>();
    clip->downloadVideoURL = url;
    return clip;
  }
  std::string clipPath() const { return "/media/clips/" + std::to_string(sim.world().events.front().eventId) + ".mp4"; }

  TestHttpServer elsewhere;  // a second host that records whatever reaches it
};

TEST_F(HostileCloudTest, ClipAddressesOffTheRestServerAreRefusedWithoutSendingAnything) {
  ManualClockScope clock;
  storeCredential(sim.accessToken());
  const std::string port = std::to_string(sim.port());
  const std::vector<std::string> addresses = {
      elsewhere.baseURL() + "/clip.mp4",                   // another port
      "http://localhost:" + port + clipPath(),             // another host name
      "https://127.0.0.1:" + port + clipPath(),            // another scheme
      "http://user@127.0.0.1:" + port + clipPath(),        // credentials in the address
  };
  std::vector<std::unique_ptr<Outcome>> outcomes;
  for (const auto& address : addresses) {
    outcomes.push_back(std::make_unique<Outcome>());
    manager->downloadRequestWithRequest(clipAt(address), nullptr, outcomes.back()->recorder());
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  for (size_t i = 0; i < addresses.size(); ++i) {
    EXPECT_EQ(outcomes[i]->count(), 1) << addresses[i];
    EXPECT_EQ(outcomes[i]->errorCode(), platform::kURLErrorUnsupportedURL) << addresses[i];
    EXPECT_TRUE(outcomes[i]->onMain);
  }
  EXPECT_EQ(elsewhere.requestCount(), 0u);
  EXPECT_EQ(sim.requestCount(), 0u);

  // The cloud's own address still downloads, with the token.
  Outcome own;
  manager->downloadRequestWithRequest(clipAt(sim.baseUrl() + clipPath()), nullptr, own.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(own.count(), 1);
  EXPECT_FALSE(own.error);
  ASSERT_EQ(sim.requestsTo(clipPath()).size(), 1u);
  EXPECT_EQ(sim.requestsTo(clipPath())[0].header("Authorization"), "Bearer " + sim.accessToken());
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

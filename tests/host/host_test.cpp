// The demo host: its command line, and its session against a cloud that never finishes a reply.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cloud-sim/cloud_sim.h"
#include "foundation/kl_server.h"
#include "host_options.h"
#include "host_run.h"
#include "live/kl_data_manager.h"
#include "network/kl_request_manager.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/secure_store.h"
#include "platform/net/test_http_server.h"
#include "platform/net/tls_policy.h"
#include "support/temp_directory.h"

namespace {

constexpr double kRealNow = 1796000000;  // a Thursday in December 2026

TEST(HostOptions, TheSessionStartsAtTheFixedDayOnlyWithTheEmbeddedCloud) {
  struct Case {
    std::vector<std::string> args;
    double start;
    std::string error;
  } cases[] = {
      {{}, HostOptions::kFixedStart, ""},
      {{"--start", "1700000000"}, 1700000000, ""},
      {{"--start", "now"}, kRealNow, ""},
      // Another cloud's recordings and events are today's.
      {{"--cloud", "https://cloud.example", "--token", "t"}, kRealNow, ""},
      {{"--cloud", "https://cloud.example", "--token", "t", "--start", "1781530200"}, 1781530200, ""},
      {{"--start", "yesterday"}, 0, "--start takes seconds since 1970 or \"now\""},
      {{"--cloud", "https://cloud.example"}, 0, "--cloud needs --token"},
      {{"--cloud", "ftp://cloud.example", "--token", "t"}, 0, "--cloud takes an http or https URL, not \"ftp://cloud.example\""},
      {{"--days", "0"}, 0, "--days takes a number from 1 to 365"},
      {{"--camera"}, 0, "--camera needs a value (see --help)"},
      {{"--colour", "red"}, 0, "unknown option --colour (see --help)"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const auto parsed = parseHostOptions(c.args, kRealNow);
    EXPECT_EQ(parsed.error, c.error);
    if (c.error.empty()) {
      EXPECT_EQ(parsed.options.start, c.start);
    }
  }
  EXPECT_TRUE(parseHostOptions({"--days", "2", "--help"}, kRealNow).help);
}

// The host's whole run against a cloud of the test's own; the process-wide state it sets up is
// taken down again, so that the next run reads the next cloud's address.
class HostRunTest : public ::testing::Test {
 protected:
  void TearDown() override {
    dk::platform::MainRunLoop::runUntilIdle();
    dk::KLDataManager::resetSharedInstance();
    dk::KLRequestManager::resetSharedInstance();
    dk::KLServer::resetForTesting();
    dk::platform::MainRunLoop::setClockStepWhileWaiting(0);
    dk::platform::TlsPolicy::setDefaultCAFile("");
    dk::platform::SecureStore::setShared(nullptr);
    dk::platform::setClock(nullptr);
  }

  // Moves virtual time a second per wait from the first wait on: how fast real time goes plays
  // no part.
  HostOutcome run(const std::string& cloud, const std::string& token, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--cloud", cloud, "--token", token, "--pictures", pictures_.string()};
    args.insert(args.end(), more.begin(), more.end());
    auto parsed = parseHostOptions(args, kRealNow);
    EXPECT_EQ(parsed.error, "");
    parsed.options.stalledAfterWallSeconds = 0;
    parsed.options.stalledStep = 1.0;
    return runHost(parsed.options);
  }

  dk::test::TemporaryDirectory dir_;
  std::filesystem::path pictures_ = dir_.path() / "pictures";
};

// The cloud takes every call and never answers: the first call's deadline ends the run, and the
// last picture shows why.
TEST_F(HostRunTest, ACloudThatNeverAnswersEndsTheRunWithTheFailureShownAndPrinted) {
  struct Case {
    std::vector<std::string> more;
    std::string failure;
  } cases[] = {
      {{}, "cannot load the cameras from http://127.0.0.1:"},  // the host's own call
      {{"--camera", "1"}, "the timeline of camera #1 did not fill from http://127.0.0.1:"},  // the timeline's
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    dk::cloudsim::CloudSim cloud;
    ASSERT_NE(cloud.start(), 0) << cloud.lastError();
    auto never = dk::cloudsim::FaultRule::hold("/");
    never.prefix = true;
    never.times = 1 << 30;
    cloud.addFault(never);
    const auto outcome = run(cloud.baseUrl(), cloud.accessToken(), c.more);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.failure.find(c.failure), std::string::npos) << outcome.failure;
    if (c.more.empty()) {
      EXPECT_NE(outcome.failure.find("The request timed out."), std::string::npos) << outcome.failure;
    }
    EXPECT_GE(outcome.pictures, 1);
    char last[32];
    std::snprintf(last, sizeof last, "%02d_failed.png", outcome.pictures);
    EXPECT_TRUE(std::filesystem::is_regular_file(pictures_ / last));
    TearDown();
  }
}

// The cameras' reply drips a byte for every half second of the session's clock: never idle, it
// still ends at its deadline.
TEST_F(HostRunTest, ACloudThatDripsItsReplyEndsTheRunAtTheCallsDeadline) {
  dk::test::TestHttpServer server;
  dk::test::CannedResponse dripping = dk::test::CannedResponse::json(std::string(1 << 20, ' '));
  dripping.drip = true;
  server.route("/rest/v2.0/cameras/", dripping);
  std::atomic<bool> done{false};
  std::thread dripper([&] {
    double last = 0;
    while (!done.load()) {
      const double now = dk::platform::now();
      if (now - last >= 0.5) {
        last = now;
        server.dripOne();
      }
      std::this_thread::yield();
    }
  });
  const auto outcome = run(server.baseURL(), "token");
  done = true;
  dripper.join();
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.failure.find("cannot load the cameras"), std::string::npos) << outcome.failure;
  EXPECT_NE(outcome.failure.find("The request timed out."), std::string::npos) << outcome.failure;
  // How many bytes got through before the deadline depends on how the threads were scheduled, so
  // only the end is asserted: before the clock moved while calls were in flight, it never came.
}

}  // namespace

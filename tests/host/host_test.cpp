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
#include "platform/media/sound/audio_output.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/test_http_server.h"
#include "platform/net/tls_policy.h"
#include "support/temp_directory.h"
#include "timeline/dk_chrono_kit.h"

namespace {

constexpr double kRealNow = 1796000000;  // a Thursday in December 2026

TEST(HostOptions, TheSessionStartsAtTheFixedDayOnlyWithTheEmbeddedCloud) {
  struct Case {
    std::vector<std::string> args;
    double start;
    bool realClock;
    std::string error;
  } cases[] = {
      {{}, HostOptions::kFixedStart, false, ""},
      {{"--start", "1700000000"}, 1700000000, false, ""},
      {{"--start", "now"}, kRealNow, false, ""},
      // Another cloud's recordings and events are today's, its live video and heart-beats come in
      // real time.
      {{"--cloud", "https://cloud.example", "--token", "t"}, kRealNow, true, ""},
      {{"--cloud", "https://cloud.example", "--token", "t", "--start", "now"}, kRealNow, true, ""},
      {{"--cloud", "https://cloud.example", "--token", "t", "--start", "1781530200"}, 1781530200, false, ""},
      {{"--start", "yesterday"}, 0, false, "--start takes seconds since 1970 or \"now\""},
      {{"--cloud", "https://cloud.example"}, 0, false, "--cloud needs --token"},
      {{"--cloud", "ftp://cloud.example", "--token", "t"}, 0, false,
       "--cloud takes an http or https URL, not \"ftp://cloud.example\""},
      {{"--days", "0"}, 0, false, "--days takes a number from 1 to 365"},
      {{"--camera"}, 0, false, "--camera needs a value (see --help)"},
      {{"--colour", "red"}, 0, false, "unknown option --colour (see --help)"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const auto parsed = parseHostOptions(c.args, kRealNow);
    EXPECT_EQ(parsed.error, c.error);
    if (c.error.empty()) {
      EXPECT_EQ(parsed.options.start, c.start);
      EXPECT_EQ(parsed.options.realClock, c.realClock);
    }
  }
  EXPECT_TRUE(parseHostOptions({"--days", "2", "--help"}, kRealNow).help);
}

// The host's whole run against a cloud of the test's own; the process-wide state it sets up is
// taken down again, so that the next run reads the next cloud's address.
class HostRunTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // The facade keeps the timeline it presented for the life of the process: let it go.
    if (auto screen = dk::DKChronoKit::presentedTimeline()) {
      dk::DKChronoKit::create(std::nullopt, std::nullopt, nullptr)->didDismissTimeline(screen);
    }
    dk::platform::MainRunLoop::runUntilIdle();
    dk::KLDataManager::resetSharedInstance();
    dk::KLRequestManager::resetSharedInstance();
    dk::KLServer::resetForTesting();
    dk::platform::MainRunLoop::setClockStepWhileWaiting(0);
    dk::platform::MainRunLoop::setWallTimeForClockStep(nullptr);
    dk::platform::TlsPolicy::setDefaultCAFile("");
    dk::platform::SecureStore::setShared(nullptr);
    dk::platform::StreamerEnvironment::install({});
    dk::platform::setClock(nullptr);
  }

  // In virtual time (on the real clock a stalled cloud ends only by its real deadlines, minutes),
  // the run loop's step fed a hundredth of a second of real time per reading: a second of virtual
  // time per wait from the first wait on, however fast the machine runs.
  HostOutcome run(const std::string& cloud, const std::string& token, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--cloud", cloud, "--token", token, "--pictures", pictures_.string()};
    args.insert(args.end(), more.begin(), more.end());
    auto parsed = parseHostOptions(args, kRealNow);
    EXPECT_EQ(parsed.error, "");
    parsed.options.realClock = false;
    parsed.options.stalledAfterWallSeconds = 0;
    parsed.options.stalledRate = 100;
    auto wall = std::make_shared<double>(0);
    dk::platform::MainRunLoop::setWallTimeForClockStep([wall] { return *wall += 0.01; });
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
    } else {
      // The facade started: the sound still goes where the host chose (the session's WAV file),
      // and the player fetches from the cloud the host named.
      const auto environment = dk::platform::StreamerEnvironment::current();
      EXPECT_EQ(environment.baseURL, cloud.baseUrl());
      ASSERT_TRUE(environment.audioOutput);
      auto file = std::dynamic_pointer_cast<dk::platform::FileAudioOutput>(environment.audioOutput());
      ASSERT_TRUE(file);
      EXPECT_EQ(std::filesystem::path(file->path()), pictures_ / "sound.wav");
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

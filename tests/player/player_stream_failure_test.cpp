// What the player shows when a recording's video stops arriving, or a live view shows nothing new:
// one silent retry, then the error toast, in bounded virtual time. (A recording that arrives broken is followed through the
// timeline screen, which hands recordings to the player: tests/timeline, TimelineVideo.)
#include <algorithm>

#include "cloud-sim/recording_video.h"
#include "player_fixture.h"

namespace dk::test {
namespace {

using Events = std::vector<std::string>;

class PlayerStreamFailureTest : public PlayerTest {
 protected:
  std::string firstPath() const {
    return "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(firstId) + ".mp4";
  }
  // A 30 s recording read whole, its index at the end, with noise over the second half of the
  // media before the index.
  void damagedRecording(std::string& damaged) const {
    cloudsim::detail::VideoSpec spec;
    spec.startTime = kStart;
    spec.duration = 30;
    const auto video = cloudsim::detail::cachedLabelledVideo(spec);
    ASSERT_TRUE(video);
    damaged = *video;
    const size_t index = damaged.rfind("moov");
    ASSERT_NE(index, std::string::npos);
    uint32_t noise = 0x2545f491u;
    for (size_t i = index / 2; i + 8 < index; ++i) {
      noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
      damaged[i] = static_cast<char>(noise);
    }
  }
};

TEST_F(PlayerStreamFailureTest, ARecordingThatStopsArrivingShowsTheErrorWithinAMinute) {
  cloudsim::FaultRule stall = cloudsim::FaultRule::hold(firstPath());
  stall.times = -1;
  const int rule = sim->addFault(stall);
  model->setRecording(first);
  model->seekToTime(2.0);
  ASSERT_TRUE(sim->waitForHeld(1));

  clock.clock().advance(21);  // nothing arrived for 21 s: retried silently
  ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return model->numberOfRetriesOnError() == 1; }));
  ASSERT_TRUE(sim->waitForHeld(2));
  EXPECT_TRUE(screen->errorToasts.empty());

  clock.clock().advance(21);  // 42 s after the first request
  ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return !screen->errorToasts.empty(); }));
  EXPECT_EQ(screen->errorToasts, (Events{"The video is not available"}));
  EXPECT_EQ(sim->faultHits(rule), 2);
  sim->release();
}

// A recording read whole whose second half is damaged: it plays what it can, then fails. The
// player stops playing when it fails (the screen hears of the pause, the tick stops), and the
// silent retry, which finds the recording whole again, plays on from where it failed.
TEST_F(PlayerStreamFailureTest, ARecordingThatFailsWhilePlayingStopsPlayingThenTheRetryPlaysOn) {
  std::string damaged;
  ASSERT_NO_FATAL_FAILURE(damagedRecording(damaged));
  auto rule = cloudsim::FaultRule::failWith(firstPath(), 200, damaged);
  rule.contentType = "video/mp4";
  const int served = sim->addFault(rule);  // one reply holds it all
  playFirstAt(2.0);
  ASSERT_EQ(sim->faultHits(served), 1);
  screen->events.clear();

  double waited = 0;
  while (screen->count("pauseStreaming") == 0 && waited < 30) {
    clock.advance(0.5);
    waited += 0.5;
  }
  EXPECT_GT(waited, 5.0) << "the good first half played";
  const std::vector<std::string> played = screen->events;
  const auto paused = std::find(played.begin(), played.end(), "pauseStreaming");
  ASSERT_NE(paused, played.end()) << "the screen was not told playback stopped";
  EXPECT_NE(std::find(paused, played.end(), "startLoading"), played.end()) << "the retry loads";
  EXPECT_NE(std::find(paused, played.end(), "startStreaming"), played.end()) << "the retry plays";
  EXPECT_TRUE(screen->errorToasts.empty());
  EXPECT_TRUE(model->isPlaying());
  EXPECT_NEAR(model->cameraStreamer()->currentTime(), 2.0 + waited, 6.0) << "plays on near where it failed";
}

// The same recording damaged on every fetch: the silent retry, played where the first one
// failed, fails before it shows anything, so it never reaches "playing" (which would start the
// failure run afresh); the error ends it after two fetches, instead of retrying without end.
TEST_F(PlayerStreamFailureTest, ARecordingDamagedOnEveryFetchIsRetriedOnceThenShowsTheError) {
  std::string damaged;
  ASSERT_NO_FATAL_FAILURE(damagedRecording(damaged));
  auto rule = cloudsim::FaultRule::failWith(firstPath(), 200, damaged);
  rule.contentType = "video/mp4";
  rule.times = -1;
  const int served = sim->addFault(rule);
  playFirstAt(2.0);
  ASSERT_EQ(sim->faultHits(served), 1);

  // Pumped only until the fetches pass a bound, so that endless retries fail the test quickly.
  constexpr int kAtMostFetches = 10;
  double waited = 0;
  while (screen->errorToasts.empty() && sim->faultHits(served) <= kAtMostFetches && waited < 30) {
    clock.clock().advance(0.5);
    waited += 0.5;
    platform::MainRunLoop::runUntil([&] { return sim->faultHits(served) > kAtMostFetches; });
  }
  EXPECT_EQ(sim->faultHits(served), 2) << "one silent retry";
  EXPECT_EQ(screen->errorToasts, (Events{"The video is not available"}));
  EXPECT_FALSE(model->isPlaying());
  EXPECT_EQ(model->numberOfRetriesOnError(), 0);
}

TEST_F(PlayerStreamFailureTest, ALiveViewThatShowsNothingNewShowsTheErrorWithinAMinute) {
  auto live = KLPlayerViewModel::initWithCamera(camera, layer, screen);
  live->didTapPlayButton();
  pump();
  ASSERT_TRUE(live->isPlaying());

  // The camera's stream stands still (the cloud's clock does not move): the view plays what it
  // has, fails, retries silently without showing the same segment as live again, then explains.
  double waited = 0;
  while (screen->errorToasts.empty() && waited < 120) {
    clock.advance(1.0);
    waited += 1.0;
  }
  EXPECT_EQ(screen->errorToasts, (Events{"The video is not available"}));
  EXPECT_LE(waited, 60);
  EXPECT_FALSE(live->isPlaying());
}

}  // namespace
}  // namespace dk::test

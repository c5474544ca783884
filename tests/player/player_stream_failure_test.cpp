// What the player shows when a recording's video stops arriving, or a live view shows nothing new:
// one silent retry, then the error toast, in bounded virtual time. (A recording that arrives broken is followed through the
// timeline screen, which hands recordings to the player: tests/timeline, TimelineVideo.)
#include "player_fixture.h"

namespace dk::test {
namespace {

using Events = std::vector<std::string>;

class PlayerStreamFailureTest : public PlayerTest {
 protected:
  std::string firstPath() const {
    return "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(firstId) + ".mp4";
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

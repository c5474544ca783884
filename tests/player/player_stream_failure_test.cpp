// What the player shows when a recording's video is broken or stops arriving: one silent retry,
// then the error toast, in bounded virtual time, and no further transfers of that recording
// until someone asks for it again.
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
  // Serves `body` as the first recording for every request from now on.
  int serveFirstAs(std::string body, std::string contentType) {
    cloudsim::FaultRule rule = cloudsim::FaultRule::failWith(firstPath(), 200, std::move(body));
    rule.contentType = std::move(contentType);
    rule.times = -1;
    return sim->addFault(rule);
  }
  // The timeline keeps positioning the player on the recording under the scroll position.
  void timelineRepositionsFor(double seconds) {
    for (double t = 0; t < seconds; t += 1.0) {
      model->setRecording(first);
      model->seekToTime(2.0);
      clock.advance(1.0);
    }
  }
};

TEST_F(PlayerStreamFailureTest, ARecordingThatCannotBeDecodedFailsOnceAndIsNotFetchedAgainUntilAskedFor) {
  cloudsim::detail::VideoSpec spec;
  spec.label = "Garden";
  spec.startTime = kStart;
  spec.duration = 30;
  const auto video = cloudsim::detail::cachedLabelledVideo(spec);
  ASSERT_TRUE(video && video->size() > 1000);
  const std::vector<std::pair<std::string, std::string>> broken = {
      {video->substr(0, video->size() / 2), "video/mp4"},               // cut short
      {"<!DOCTYPE html><html><body>Sign in</body></html>", "video/mp4"},  // a web page
  };
  for (const auto& [body, type] : broken) {
    SCOPED_TRACE(type + ", " + std::to_string(body.size()) + " bytes");
    const int rule = serveFirstAs(body, type);
    screen->errorToasts.clear();
    model->setRecording(first);
    model->seekToTime(2.0);
    pump();
    EXPECT_EQ(screen->errorToasts, (Events{"The video is not available"}));
    EXPECT_EQ(sim->faultHits(rule), 2);  // the first attempt and the silent retry

    timelineRepositionsFor(60);
    EXPECT_EQ(sim->faultHits(rule), 2);
    EXPECT_EQ(screen->errorToasts.size(), 1u);

    // Asked again by the user: play ends the failed attempt, the next play starts over.
    model->didTapPlayButton();
    model->didTapPlayButton();
    pump();
    EXPECT_GT(sim->faultHits(rule), 2);
    sim->removeFault(rule);
    model->setRecording(second);  // leaves the broken one behind
    pump();
  }
}

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

}  // namespace
}  // namespace dk::test

// The timeline screen playing the local cloud's real videos: a scroll into a recording plays it
// from that second, the strip follows the playing time, a frame step shows another frame, the
// speed menu's 5x plays five seconds of video per second, the end of a recording moves on to
// the next one, and a recording that cannot be played is not taken for one that ended.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "cloud-sim/recording_video.h"
#include "platform/graphics/image_compare.h"
#include "platform/ui/label.h"
#include "platform/ui/toast.h"
#include "platform/ui/ui_test_driver.h"
#include "timeline_video_fixture.h"

namespace dk {
namespace {

using platform::MainRunLoop;

class TimelineVideo : public test::TimelineVideoTest {
 protected:
  std::string recordingPath(int64_t id) const {
    return "/media/cameras/" + std::to_string(camera_) + "/recordings/" + std::to_string(id) + ".mp4";
  }
  // Every request for the recording gets `body` from now on (a broken upload, a proxy's page).
  int serveAs(int64_t id, const std::string& body) {
    auto rule = cloudsim::FaultRule::failWith(recordingPath(id), 200, body);
    rule.contentType = "video/mp4";
    rule.times = -1;
    return sim_->addFault(rule);
  }
  std::vector<std::string> toastTexts() const {
    std::vector<std::string> texts;
    for (const auto& toast : playerScreen()->toastView()->subviews()) {
      if (toast->accessibilityIdentifier() != platform::kToastIdentifier) continue;
      for (const auto& v : toast->subviews())
        if (auto label = std::dynamic_pointer_cast<platform::Label>(v)) texts.push_back(label->text());
    }
    return texts;
  }
};

TEST_F(TimelineVideo, AScrollIntoARecordingPlaysItFromThereAndTheStripFollows) {
  auto screen = shownScreen();
  playAt(kFirstStart + 30);
  auto player = playerScreen();
  ASSERT_TRUE(player->recording());
  EXPECT_EQ(player->recording()->playerRecordingID(), firstId_);
  EXPECT_EQ(player->view()->superview(), screen->playerContainer());
  EXPECT_NEAR(streamer()->currentTime(), 30.0, 0.5);
  ASSERT_TRUE(streamer()->currentFrame()) << "a decoded frame is on screen";
  EXPECT_FALSE(player->renderImageView()->isHidden());
  // Loaded: the stand-in picture goes and the player buttons wake up.
  EXPECT_TRUE(screen->snapshotImageView()->isHidden());
  EXPECT_TRUE(screen->noVideoInfoLabel()->isHidden());
  EXPECT_TRUE(screen->snapshotButton()->isEnabled());
  EXPECT_TRUE(screen->nextFrameButton()->isEnabled());

  const double before = screen->adapter()->scrollTime();
  driver().advance(4.0);
  const double playing = kFirstStart + streamer()->currentTime();
  EXPECT_NEAR(streamer()->currentTime(), 34.0, 1.0);
  EXPECT_GT(screen->adapter()->scrollTime(), before + 2.5);
  EXPECT_NEAR(screen->adapter()->scrollTime(), playing, 1.0) << "the strip stands at the playing second";
  EXPECT_EQ(screen->timelineLabel()->text(), hourMinutesSecondsFromTimestamp(screen->adapter()->scrollTime()));
}

TEST_F(TimelineVideo, AFrameStepShowsTheNextFrameOfThePausedVideo) {
  shownScreen();
  playAt(kFirstStart + 50);
  tapOn("more_button");
  screen_->pausePlayer();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_FALSE(playerScreen()->playerViewModel()->isPlaying());
  const double paused = streamer()->currentTime();
  auto frame = streamer()->currentFrame();
  ASSERT_TRUE(frame);

  // Two frames a second: the frame after the one on screen.
  const double nextFrameTime = std::floor(paused * 2) / 2 + 0.5;
  tapOn("next_frame_button");
  EXPECT_DOUBLE_EQ(streamer()->currentTime(), nextFrameTime);
  auto next = streamer()->currentFrame();
  ASSERT_TRUE(next);
  EXPECT_GT(platform::compareImages(*frame, *next, 24).differingPixels, 0u) << "the picture changed";
  EXPECT_NEAR(screen_->adapter()->scrollTime(), kFirstStart + nextFrameTime, 1.0) << "the strip follows the step";

  tapOn("previous_frame_button");
  tapOn("previous_frame_button");
  EXPECT_DOUBLE_EQ(streamer()->currentTime(), nextFrameTime - 1.0);
  EXPECT_FALSE(playerScreen()->playerViewModel()->isPlaying()) << "stepping does not resume";
}

TEST_F(TimelineVideo, FiveTimesSpeedPlaysFiveSecondsOfVideoPerSecond) {
  shownScreen();
  playAt(kFirstStart + 10);
  tapOn("more_button");
  tapOn("speed_button");
  tapOn("speed_option_1003");
  EXPECT_EQ(streamer()->rate(), 5.0f);
  EXPECT_EQ(screen_->speedTitle().substr(0, 3), "5X\n");

  const double from = streamer()->currentTime();
  const double stripFrom = screen_->adapter()->scrollTime();
  driver().advance(2.0);
  EXPECT_NEAR(streamer()->currentTime() - from, 10.0, 0.6);
  EXPECT_NEAR(screen_->adapter()->scrollTime() - stripFrom, 10.0, 1.5);

  // Back to 1x: one second of video per second again.
  tapOn("speed_button");
  tapOn("speed_option_1001");
  const double at = streamer()->currentTime();
  driver().advance(2.0);
  EXPECT_NEAR(streamer()->currentTime() - at, 2.0, 0.6);
}

TEST_F(TimelineVideo, TheEndOfARecordingMovesOnToTheNextAndPlaysIt) {
  auto screen = shownScreen();
  playAt(kFirstEnd - 3);
  ASSERT_EQ(playerScreen()->recording()->playerRecordingID(), firstId_);
  auto player = playerScreen();
  driver().advance(4.0);
  driver().settle();
  ASSERT_TRUE(MainRunLoop::runUntil([&] {
    auto r = playerScreen() ? playerScreen()->recording() : nullptr;
    return r && r->playerRecordingID() == secondId_ && playerScreen()->playerViewModel()->isPlaying();
  })) << "the next recording never played";
  EXPECT_EQ(playerScreen(), player) << "the same player is re-targeted";
  EXPECT_NEAR(screen->adapter()->scrollTime(), kSecondStart, 2.0);
  EXPECT_LT(streamer()->currentTime(), 2.0);
}

// A failure ends playback too, but it is no end of the recording: the strip stays on it rather
// than handing the next recording to the player, which, when every recording arrives broken,
// fetched the whole history one recording after the other.
TEST_F(TimelineVideo, ARecordingThatCannotBePlayedIsTriedTwiceThenTheToastAndTheStripStaysOnIt) {
  auto screen = shownScreen();
  cloudsim::detail::VideoSpec spec;
  spec.startTime = kFirstStart;
  spec.duration = kFirstEnd - kFirstStart;
  const auto video = cloudsim::detail::cachedLabelledVideo(spec);
  ASSERT_TRUE(video && video->size() > 1000);
  const std::vector<std::pair<std::string, std::string>> broken = {
      {"cut short", video->substr(0, video->size() / 2)},
      {"a web page", "<!DOCTYPE html><html><body>Sign in</body></html>"},
      {"noise", std::string(20000, 'x')},
  };
  for (const auto& [what, body] : broken) {
    SCOPED_TRACE(what);
    const int first = serveAs(firstId_, body), second = serveAs(secondId_, body);
    screen->scrollTableViewToTime(kFirstStart + 30, false, true);
    ASSERT_TRUE(playerScreen());
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return !toastTexts().empty(); })) << "no error toast";
    EXPECT_EQ(toastTexts(), std::vector<std::string>{"The video is not available"});
    EXPECT_EQ(sim_->faultHits(first), 2) << "the first attempt and the silent retry";

    // A minute on, with the recordings list refreshed on the way (as the live feed does).
    driver().advance(30.0);
    recordings()->notifyObserversForCameraID(camera_);
    driver().advance(30.0);
    driver().settle();
    EXPECT_EQ(sim_->faultHits(first), 2);
    EXPECT_EQ(sim_->faultHits(second), 0) << "the next recording was fetched unasked";
    EXPECT_NEAR(screen->adapter()->scrollTime(), kFirstStart + 30, 1.0) << "the strip left the failed recording";
    ASSERT_TRUE(playerScreen());
    EXPECT_EQ(playerScreen()->recording()->playerRecordingID(), firstId_);
    EXPECT_TRUE(toastTexts().empty()) << "the toast went after its five seconds and came no more";

    // Asked again: the first play ends the failed attempt, the second starts over.
    playerScreen()->playerViewModel()->didTapPlayButton();
    playerScreen()->playerViewModel()->didTapPlayButton();
    driver().advance(1.0);
    EXPECT_EQ(sim_->faultHits(first), 4);
    EXPECT_EQ(sim_->faultHits(second), 0);
    EXPECT_NEAR(screen->adapter()->scrollTime(), kFirstStart + 30, 1.0);

    sim_->removeFault(first);
    sim_->removeFault(second);
    screen->scrollTableViewToTime(kFirstEnd + 60, false, true);  // into the gap: the player goes
    driver().advance(6.0);
    ASSERT_FALSE(screen->player());
  }
}

TEST_F(TimelineVideo, TheSpeedButtonTellsTheRateOfThePlayerThatPlays) {
  auto screen = shownScreen();
  playAt(kFirstStart + 10);
  tapOn("more_button");
  tapOn("speed_button");
  tapOn("speed_option_1003");
  ASSERT_EQ(screen->speedTitle().substr(0, 3), "5X\n");

  // Another recording in the same player keeps its rate, and the title with it.
  playAt(kSecondStart + 10);
  EXPECT_EQ(streamer()->rate(), 5.0f);
  EXPECT_EQ(screen->speedTitle().substr(0, 3), "5X\n");

  // Through a gap the player goes; the one made on the way back plays at 1x, and says so.
  screen->scrollTableViewToTime(kFirstEnd + 60, false, true);
  ASSERT_FALSE(screen->player());
  playAt(kFirstStart + 10);
  EXPECT_EQ(streamer()->rate(), 1.0f);
  EXPECT_EQ(screen->speedTitle().substr(0, 3), "1X\n");
}

}  // namespace
}  // namespace dk

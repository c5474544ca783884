// The control overlays as a person uses them: taps on the buttons through the UI driver, the
// auto-hide, the speed menu, event buttons that come and go, and the play button's morph.
#include <gtest/gtest.h>

#include "platform/ui/application.h"
#include "platform/ui/image_view.h"
#include "platform/ui/system_sound.h"
#include "platform/ui/ui_test_driver.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"
#include "player/kl_player_recordings_landscape_controls.h"
#include "player/kl_player_recordings_portrait_controls.h"
#include "support/manual_clock.h"
#include "ui/view_extensions.h"

namespace dk::test {
namespace {

using Calls = std::vector<std::string>;

struct Playback : PlayerControlsActionsDelegate {
  Calls calls;
  void didTapPlayButton() override { calls.push_back("play"); }
  void didTapPreviousFrameButton() override { calls.push_back("previousFrame"); }
  void didTapNextFrameButton() override { calls.push_back("nextFrame"); }
  void didTapSpeedButtonWithRate(double rate) override { calls.push_back("speed:" + std::to_string(int(rate))); }
  void didTapTakeSnapshotButton() override { calls.push_back("snapshot"); }
  void didTapPushToTalkButtonIsSelected(bool) override { calls.push_back("talk"); }
};

struct Screen : PlayerControlsExternalActionsDelegate {
  Calls calls;
  bool previous = true, next = true;
  void didTapSwitchOrientationButton() override { calls.push_back("switch"); }
  void didTapPreviousEventButton() override { calls.push_back("previousEvent"); }
  void didTapNextEventButton() override { calls.push_back("nextEvent"); }
  void didTapPtzButtonForDirection(uint64_t) override { calls.push_back("ptz"); }
  bool shouldDisplayButtonForPlaybackCapability(int c) override {
    return c == PlayerPlaybackCapabilityPreviousEvent ? previous : c == PlayerPlaybackCapabilityNextEvent ? next : false;
  }
  bool shouldEnableButtonForPlaybackCapability(int) override { return false; }
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::resetUiForTesting();
    window = std::make_shared<platform::Window>();
    window->setRootViewController(std::make_shared<platform::ViewController>());
    window->makeKeyAndVisible();
    platform::MainRunLoop::runUntilIdle();
  }
  void TearDown() override {
    platform::MainRunLoop::runUntilIdle();
    platform::resetUiForTesting();
  }
  template <class Overlay>
  std::shared_ptr<Overlay> show(platform::Rect frame) {
    window->setFrame(frame);  // a phone held the way the overlay is laid out
    window->rootViewController()->view()->setFrame(frame);
    auto overlay = std::make_shared<Overlay>(frame, playback, screen);
    overlay->setUpSubviews();
    window->rootViewController()->view()->addSubview(overlay);
    return overlay;
  }
  platform::UiTestDriver driver() { return platform::UiTestDriver(window); }

  ManualClockScope clock;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<Playback> playback = std::make_shared<Playback>();
  std::shared_ptr<Screen> screen = std::make_shared<Screen>();
};

TEST_F(ControlsTest, ThePlayButtonMorphsAtOnceAndAsksForPlay) {
  auto overlay = show<KLPlayerRecordingsPortraitControls>({0, 0, 375, 211});
  driver().tap(*overlay->playButton());
  EXPECT_EQ(playback->calls, (Calls{"play"}));
  EXPECT_TRUE(overlay->playButton()->isPlaying());
  EXPECT_EQ(overlay->playButton()->currentImage(), platform::Image::named("Pause"));
  EXPECT_TRUE(overlay->playButton()->imageView()->isAnimating());

  // The same value again changes nothing.
  overlay->playButton()->imageView()->stopAnimating();
  overlay->playButton()->setIsPlaying(true);
  EXPECT_FALSE(overlay->playButton()->imageView()->isAnimating());
}

TEST_F(ControlsTest, OneTapOnTheFullScreenButtonSwitchesOnce) {
  auto overlay = show<KLPlayerRecordingsPortraitControls>({0, 0, 375, 211});
  driver().tap(*overlay->switchOrientationButton());
  EXPECT_EQ(screen->calls, (Calls{"switch"}));
  driver().tap(*overlay->nextEventButton());
  EXPECT_EQ(screen->calls, (Calls{"switch", "nextEvent"}));
}

TEST_F(ControlsTest, AMissingEventHidesItsButtonThroughShowAndHide) {
  screen->previous = false;
  auto overlay = show<KLPlayerRecordingsPortraitControls>({0, 0, 375, 211});
  EXPECT_TRUE(overlay->previousEventButton()->isHidden());
  EXPECT_FALSE(overlay->nextEventButton()->isHidden());
  overlay->hideControlsAnimated(false);
  overlay->showControlsAnimated(false);
  driver().pump();
  EXPECT_TRUE(overlay->previousEventButton()->isHidden());
  driver().tap(platform::UiTestDriver::centerOf(*overlay->previousEventButton()));
  EXPECT_TRUE(screen->calls.empty());
  screen->previous = true;  // the timeline found an earlier event
  overlay->updateSubviews();
  EXPECT_FALSE(overlay->previousEventButton()->isHidden());
}

TEST_F(ControlsTest, WhilePlayingATapShowsAtOnceASecondFadesAndTheyHideThreeSecondsAfterTheLastTap) {
  auto overlay = show<KLPlayerRecordingsPortraitControls>({0, 0, 375, 211});
  overlay->setPlayButtonIsPlaying(true);
  overlay->hideControlsAnimated(false);
  driver().pump();
  auto& controls = *overlay->controlsView();
  EXPECT_EQ(overlay->playButton()->alpha(), 0.0);

  overlay->showHideControls();  // shows at once
  EXPECT_FALSE(controls.areSubviewsHidden());
  EXPECT_EQ(overlay->playButton()->alpha(), 1.0);
  driver().advance(2.0);
  overlay->showHideControls();  // fades out over 0.5 s
  overlay->showHideControls();  // and back at once; the timer restarts
  driver().advance(2.9);
  EXPECT_FALSE(controls.areSubviewsHidden());
  driver().advance(0.2);
  EXPECT_TRUE(controls.areSubviewsHidden());
  driver().advance(0.6);
  EXPECT_EQ(overlay->playButton()->alpha(), 0.0);
}

TEST_F(ControlsTest, ATimedHideAfterPlaybackPausedLeavesTheControlsShown) {
  auto overlay = show<KLPlayerRecordingsPortraitControls>({0, 0, 375, 211});
  overlay->setPlayButtonIsPlaying(true);
  overlay->showHideControls();  // shown -> fade; then show again
  overlay->showHideControls();
  overlay->setPlayButtonIsPlaying(false);
  driver().advance(3.5);
  EXPECT_FALSE(overlay->controlsView()->areSubviewsHidden());
  EXPECT_EQ(overlay->playButton()->alpha(), 1.0);
}

TEST_F(ControlsTest, TheSpeedMenuOpensAndAnOptionSetsTheTitleAndTheRate) {
  auto overlay = show<KLPlayerRecordingsLandscapeControls>({0, 0, 812, 375});
  EXPECT_EQ(overlay->speedButton()->titleForState(platform::kControlStateNormal), "1X\nSPEED");
  auto tenX = overlay->speedOptions()[3];
  ASSERT_EQ(tenX->tag(), 104);
  overlay->speedOptionButtonTapped(*tenX);  // the menu is closed: nothing
  EXPECT_TRUE(playback->calls.empty());

  driver().tap(*overlay->speedButton());
  driver().advance(0.5);
  EXPECT_EQ(overlay->speedOptionsView()->alpha(), 1.0);
  driver().tap(*tenX);
  EXPECT_EQ(playback->calls, (Calls{"speed:10"}));
  EXPECT_EQ(overlay->speedButton()->titleForState(platform::kControlStateNormal), "10X\nSPEED");
  driver().advance(0.5);
  EXPECT_EQ(overlay->speedOptionsView()->alpha(), 0.0);

  overlay->updateSpeedButtonWithRate(0.0);  // paused: the title stays
  EXPECT_EQ(overlay->speedButton()->titleForState(platform::kControlStateNormal), "10X\nSPEED");
  overlay->updateSpeedButtonWithRate(2.0);
  EXPECT_EQ(overlay->speedButton()->titleForState(platform::kControlStateNormal), "2X\nSPEED");
}

TEST_F(ControlsTest, FrameStepsEventJumpsAndTheSnapshotGoWhereTheyBelong) {
  auto overlay = show<KLPlayerRecordingsLandscapeControls>({0, 0, 812, 375});
  for (auto button : {overlay->previousFrameButton(), overlay->nextFrameButton(), overlay->previousEventButton()}) {
    driver().tap(*button);
    driver().advance(0.5);
  }
  overlay->takeSnapshotButtonTapped();
  EXPECT_EQ(playback->calls, (Calls{"previousFrame", "nextFrame", "snapshot"}));
  EXPECT_EQ(screen->calls, (Calls{"previousEvent"}));
  EXPECT_NEAR(overlay->snapshotView()->alpha(), 0.4, 1e-6);  // flashing up
  EXPECT_DOUBLE_EQ(overlay->snapshotView()->transform().a, 1.3);
  driver().advance(1.2);
  EXPECT_EQ(overlay->snapshotView()->alpha(), 0.0);
  EXPECT_EQ(overlay->subviews().size(), 1u);  // the white flash is gone again
}

TEST_F(ControlsTest, TheTimeLabelShowsTheDayAndTimeOfTheFrame) {
  auto overlay = show<KLPlayerRecordingsLandscapeControls>({0, 0, 812, 375});
  overlay->updateTimeLabelWithTime(1700000000.0 - 3600);
  EXPECT_FALSE(overlay->timeLabel()->text().empty());
  EXPECT_NE(overlay->timeLabel()->text().find(", "), std::string::npos);
}

TEST_F(ControlsTest, PushToTalkOnlyVibratesAndOnlyWhilePlaying) {
  auto overlay = show<KLPlayerRecordingsPortraitControls>({0, 0, 375, 211});
  platform::SystemSound::resetForTesting();
  overlay->pushToTalkButtonTapped();
  EXPECT_TRUE(platform::SystemSound::played().empty()) << "paused: nothing";
  overlay->setPlayButtonIsPlaying(true);
  overlay->pushToTalkButtonTapped();
  const std::vector<platform::PlayedSystemSound> vibration{{platform::kSystemSoundID_Vibrate, true}};
  EXPECT_EQ(platform::SystemSound::played(), vibration);
  EXPECT_TRUE(playback->calls.empty());
}

}  // namespace
}  // namespace dk::test

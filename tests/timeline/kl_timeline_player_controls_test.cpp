// The timeline screen's player row as a user works it, by tapping what the accessibility
// identifiers name: the "more" button shows and hides the row, the speed button opens its menu,
// an option sets the player's rate and the button's title, and the frame steps follow loading
// and gaps.
#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/ui/ui_test_driver.h"
#include "platform/ui/window.h"
#include "player/player_interfaces.h"
#include "timeline/kl_timeline_view_controller.h"
#include "timeline_screen_fixture.h"

namespace dk {
namespace {

using test::restRecording;

std::string controlsTestUpper(const char* key) {
  std::string text = platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(key, key);
  for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class TimelineControls : public test::TimelineScreenTest {
 protected:
  void SetUp() override {
    TimelineScreenTest::SetUp();
    KLTimelineViewController::setPlayerFactory([this](KLCameraPtr, const KLTimelineRecordingPtr&) {
      player_ = std::make_shared<test::RecordingPlayer>();
      return player_;
    });
    start_ = now() - 7200;
    setRecordings({restRecording(2, now() - 3000, now() - 60), restRecording(1, start_, now() - 5400)});
    screen_ = showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes));
    screen_->scrollTableViewToTime(start_ + 600, false, true);
    ASSERT_TRUE(player_);
    player_->actions.clear();  // the pause of the scroll's start
  }
  void TearDown() override {
    screen_.reset();
    player_.reset();
    TimelineScreenTest::TearDown();
  }

  std::shared_ptr<platform::View> named(const std::string& id) { return window_->viewWithAccessibilityIdentifier(id); }
  std::shared_ptr<platform::Button> button(const std::string& id) {
    return std::dynamic_pointer_cast<platform::Button>(named(id));
  }
  // A tap on the view's centre, as a finger would (whatever is on top there receives it).
  void tapOn(const std::string& id) {
    auto view = named(id);
    ASSERT_TRUE(view) << id;
    driver().tap(*view);
    driver().advance(0.6);
  }
  bool rowShown() { return named("player_bottom_controls_container")->alpha() == 1.0; }
  bool menuShown() { return named("speed_options_view")->alpha() == 1.0; }

  std::shared_ptr<KLTimelineViewController> screen_;
  std::shared_ptr<test::RecordingPlayer> player_;
  double start_ = 0;
};

TEST_F(TimelineControls, TheMoreButtonShowsAndHidesThePlayerRow) {
  EXPECT_FALSE(rowShown());
  EXPECT_EQ(button("more_button")->currentTitle(), controlsTestUpper("More"));
  // The row is faded out: a tap where the speed button lies does not open the menu.
  tapOn("speed_button");
  EXPECT_FALSE(menuShown());

  auto arrow = named("previous_event_button");
  auto row = named("player_bottom_controls_container");
  const auto arrowFrame = arrow->frame();
  tapOn("more_button");
  EXPECT_TRUE(rowShown());
  EXPECT_TRUE(screen_->moreButton()->active());
  EXPECT_EQ(button("more_button")->currentTitle(), controlsTestUpper("Less"));
  EXPECT_LE(arrow->frame().maxY(), row->frame().minY()) << "the strip's down arrow stays clear of the row";

  tapOn("more_button");
  EXPECT_FALSE(rowShown());
  EXPECT_FALSE(screen_->moreButton()->active());
  EXPECT_EQ(button("more_button")->currentTitle(), controlsTestUpper("More"));
  EXPECT_EQ(arrow->frame(), arrowFrame);
}

TEST_F(TimelineControls, HidingTheRowClosesAnOpenSpeedMenuAtOnce) {
  tapOn("more_button");
  tapOn("speed_button");
  ASSERT_TRUE(menuShown());
  driver().tap(*named("more_button"));
  EXPECT_EQ(named("speed_options_view")->alpha(), 0.0) << "before the row's fade has run";
  driver().advance(0.6);
  EXPECT_FALSE(rowShown());
  // Shown again, the row comes back with its menu closed.
  tapOn("more_button");
  EXPECT_FALSE(menuShown());
}

TEST_F(TimelineControls, ASpeedOptionSetsThePlayersRateAndTheButtonsTitle) {
  const std::string speed = controlsTestUpper("Speed");
  tapOn("more_button");
  EXPECT_EQ(screen_->speedTitle(), "1X\n" + speed);
  EXPECT_FALSE(menuShown());
  tapOn("speed_button");
  EXPECT_TRUE(menuShown());
  tapOn("speed_button");
  EXPECT_FALSE(menuShown()) << "a second tap closes the menu";

  tapOn("speed_button");
  tapOn("speed_option_1003");
  EXPECT_EQ(player_->rates, std::vector<double>{5.0});
  EXPECT_EQ(screen_->speedTitle(), "5X\n" + speed);
  EXPECT_EQ(button("speed_button")->currentTitle(), "5X\n" + speed);
  EXPECT_FALSE(menuShown());
  // The menu is closed: its options take no taps.
  driver().tap(*named("speed_option_1004"));
  EXPECT_EQ(player_->rates.size(), 1u);

  // The player's own reports: rates of 1x and above retitle the button, slower ones do not.
  screen_->playerSpeedWasUpdatedWithRate(0.5);
  EXPECT_EQ(screen_->speedTitle(), "5X\n" + speed);
  screen_->playerSpeedWasUpdatedWithRate(2.0);
  EXPECT_EQ(screen_->speedTitle(), "2X\n" + speed);

  for (const char* option : {"speed_option_1004", "speed_option_1002", "speed_option_1001"}) {
    tapOn("speed_button");
    tapOn(option);
  }
  EXPECT_EQ(player_->rates, (std::vector<double>{5.0, 10.0, 2.0, 1.0}));
  EXPECT_EQ(screen_->speedTitle(), "1X\n" + speed);
}

TEST_F(TimelineControls, FrameStepsWaitForThePlayerToLoadAndStopInAGap) {
  tapOn("more_button");
  for (const char* id : {"previous_frame_button", "next_frame_button"}) EXPECT_FALSE(button(id)->isEnabled()) << id;
  tapOn("next_frame_button");
  EXPECT_TRUE(player_->actions.empty()) << "a disabled frame step reaches no player";

  screen_->playerDidStartLoading();
  EXPECT_FALSE(button("next_frame_button")->isEnabled());
  screen_->playerDidEndLoading();
  for (const char* id : {"previous_frame_button", "next_frame_button", "snapshot_button"}) {
    EXPECT_TRUE(button(id)->isEnabled()) << id;
  }
  tapOn("previous_frame_button");
  tapOn("next_frame_button");
  tapOn("next_frame_button");
  EXPECT_EQ(player_->actions, (std::vector<int>{PlayerExternalActionPreviousFrame, PlayerExternalActionNextFrame,
                                                PlayerExternalActionNextFrame}));

  // A scroll into the gap between the recordings takes the player away and the steps with it.
  screen_->scrollTableViewToTime(now() - 4000, false, true);
  EXPECT_FALSE(screen_->player());
  for (const char* id : {"previous_frame_button", "next_frame_button", "snapshot_button"}) {
    EXPECT_FALSE(button(id)->isEnabled()) << id;
  }
}

}  // namespace
}  // namespace dk

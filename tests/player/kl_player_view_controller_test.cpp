// The portrait player embedded in a client screen and its landscape screen: turning the phone,
// the full-screen button, the shared playback, updates reaching the landscape overlay, the
// quarter-turn pictures, and screens that let each other go.
#include "platform/ui/device.h"
#include "platform/ui/ui_test_driver.h"
#include "platform/ui/window.h"
#include "player/kl_player_landscape_view_controller.h"
#include "player/kl_player_recordings_landscape_controls.h"
#include "player/kl_player_view_controller.h"
#include "player/live_player_controls.h"
#include "player_fixture.h"

namespace dk::test {
namespace {

struct Timeline : platform::ViewController, PlayerViewControllerDelegate {
  int previous = 0, next = 0;
  void playerPreviousEventWasUpdated() override { ++previous; }
  void playerNextEventWasUpdated() override { ++next; }
};

class RotationTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    platform::resetUiForTesting();
    timeline = std::make_shared<Timeline>();
    window = std::make_shared<platform::Window>();
    window->setRootViewController(timeline);
    window->makeKeyAndVisible();
    pump();
    player = std::make_shared<KLPlayerViewController>();
    player->initWithCamera(camera, first, std::static_pointer_cast<PlayerViewControllerDelegate>(timeline));
    timeline->addChildViewController(player);
    // Like the timeline, the player sits in a container view of the screen.
    auto container = std::make_shared<platform::View>(platform::Rect{0, 100, 375, 211});
    timeline->view()->addSubview(container);
    container->addSubview(player->view());
    player->didMoveToParentViewController(timeline.get());
    player->viewWillAppear(false);
    player->viewDidAppear(false);
    pump();
  }
  void TearDown() override {
    player.reset();
    timeline.reset();
    window.reset();
    pump();
    platform::resetUiForTesting();
    PlayerTest::TearDown();
  }
  platform::UiTestDriver driver() { return platform::UiTestDriver(window); }
  std::shared_ptr<KLPlayerLandscapeViewController> landscape() const {
    return std::dynamic_pointer_cast<KLPlayerLandscapeViewController>(player->landscapeViewController());
  }

  std::shared_ptr<Timeline> timeline;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<KLPlayerViewController> player;
};

TEST_F(RotationTest, TurningSidewaysWhilePausedStaysAndPlayingThenSwitchesAtOnce) {
  ASSERT_TRUE(player->playerViewModel()->isPlaying());
  player->playerViewModel()->didTapPlayButton();
  pump();
  driver().rotate(platform::DeviceOrientation::LandscapeRight);
  driver().advance(1.0);
  EXPECT_FALSE(player->landscapeViewController());

  player->playerViewModel()->didTapPlayButton();
  driver().advance(1.0);
  ASSERT_TRUE(landscape());
  EXPECT_EQ(timeline->presentedViewController(), player->landscapeViewController());
  EXPECT_TRUE(player->playerViewModel()->isInLandscape());
  EXPECT_EQ(landscape()->playerViewModel(), player->playerViewModel());  // shared, not restarted
  EXPECT_EQ(landscape()->orientation(), 4);
  EXPECT_FALSE(landscape()->view()->isHidden());
  EXPECT_TRUE(std::dynamic_pointer_cast<KLPlayerRecordingsLandscapeControls>(landscape()->playerControls()));
}

TEST_F(RotationTest, ReturningKeepsTheSameViewModelPositionAndSpeedAndLetsTheLandscapeScreenGo) {
  player->playerViewModel()->setRate(5.0);
  player->switchOrientationAnimated(true);
  driver().advance(1.0);
  ASSERT_TRUE(landscape());
  auto model = player->playerViewModel();
  std::weak_ptr<PlayerViewController> gone = player->landscapeViewController();
  driver().advance(1.0);
  const double position = model->cameraStreamer()->currentTime();

  driver().rotate(platform::DeviceOrientation::LandscapeLeft);  // still sideways: stays
  driver().advance(0.5);
  ASSERT_TRUE(landscape());
  driver().rotate(platform::DeviceOrientation::Portrait);
  driver().advance(1.0);
  player->viewDidAppear(false);  // the embedding screen shows it again
  EXPECT_FALSE(timeline->presentedViewController());
  EXPECT_FALSE(player->landscapeViewController());
  EXPECT_EQ(player->playerViewModel(), model);
  EXPECT_FALSE(model->isInLandscape());
  EXPECT_EQ(model->delegate().get(), static_cast<PlayerViewModelDelegate*>(player.get()));
  EXPECT_DOUBLE_EQ(model->speedRate(), 5.0);
  EXPECT_GE(model->cameraStreamer()->currentTime(), position);
  pump();
  EXPECT_TRUE(gone.expired()) << "the two screens must not keep each other";
}

TEST_F(RotationTest, EventUpdatesWhileInLandscapeReachTheLandscapeOverlay) {
  player->switchOrientationAnimated(true);
  driver().advance(1.0);
  ASSERT_TRUE(landscape());
  auto overlay = std::dynamic_pointer_cast<KLPlayerRecordingsLandscapeControls>(landscape()->playerControls());
  ASSERT_TRUE(overlay);
  EXPECT_TRUE(overlay->nextEventButton()->isHidden());
  player->setHasNextEvent(true);
  EXPECT_FALSE(overlay->nextEventButton()->isHidden());
  overlay->nextEventButtonTapped();
  EXPECT_EQ(timeline->next, 1);  // the client still hears everything
}

TEST_F(RotationTest, TheLandscapeSnapshotTurnsAgainstTheWayThePhoneTurned) {
  driver().rotate(platform::DeviceOrientation::LandscapeRight);  // playing: switches at once
  driver().advance(1.0);
  ASSERT_TRUE(landscape());
  auto right = landscape()->snapshotViewForTransitionAnimation();  // orientation 4
  EXPECT_NEAR(right->transform().b, -1.0, 1e-9);                   // sin(-pi/2)
  platform::Device::current().setOrientation(platform::DeviceOrientation::LandscapeLeft);
  landscape()->viewDidAppear(false);
  auto left = landscape()->snapshotViewForTransitionAnimation();
  EXPECT_NEAR(left->transform().b, 1.0, 1e-9);
}

TEST_F(RotationTest, APictureWithoutSizeFallsBackToThePlatformsAnimation) {
  player->playerViewModel()->cameraStreamer()->setCurrentItem(nullptr);
  auto presented = std::make_shared<platform::ViewController>();
  // No frame yet and no poster: the picture has no size, so no custom turn.
  EXPECT_EQ(player->animationControllerForPresented(presented, timeline, timeline), nullptr);
}

TEST_F(RotationTest, NothingSwitchesWhileAnotherScreenIsOverTheClient) {
  timeline->presentViewController(std::make_shared<platform::ViewController>(), false);
  pump();
  player->switchOrientationAnimated(true);
  driver().advance(1.0);
  EXPECT_FALSE(player->landscapeViewController());
}

TEST_F(RotationTest, ALivePlayerStartsFromItsOverlayAndItsLiveIndicatorFollowsTheStream) {
  auto live = std::make_shared<KLPlayerViewController>();
  live->initWithCamera(camera, std::static_pointer_cast<PlayerViewControllerDelegate>(timeline));
  timeline->addChildViewController(live);
  auto container = std::make_shared<platform::View>(platform::Rect{0, 400, 375, 211});
  timeline->view()->addSubview(container);
  container->addSubview(live->view());
  live->didMoveToParentViewController(timeline.get());
  live->viewWillAppear(false);
  live->viewDidAppear(false);
  pump();
  auto overlay = std::dynamic_pointer_cast<LivePlayerControls>(live->playerControls());
  ASSERT_TRUE(overlay);
  EXPECT_FALSE(overlay->liveIndicatorShowsPlaying());
  EXPECT_EQ(overlay->cameraNameLabel()->text(), camera->cameraName());

  // Play (a tap on the video while nothing plays) goes through the overlay to the live stream.
  live->handleExternalAction(PlayerExternalActionPlay);
  pump();
  ASSERT_TRUE(live->playerViewModel()->isPlaying());
  EXPECT_TRUE(live->playerViewModel()->cameraStreamer()->currentFrame());
  EXPECT_TRUE(overlay->liveIndicatorShowsPlaying());
  EXPECT_FALSE(overlay->liveIndicatorLabel()->isHidden());

  // Pausing ends the live stream and the indicator says so.
  live->handleExternalAction(PlayerExternalActionPause);
  pump();
  EXPECT_FALSE(live->playerViewModel()->isPlaying());
  EXPECT_FALSE(live->playerViewModel()->cameraStreamer()->currentItem());
  EXPECT_FALSE(overlay->liveIndicatorShowsPlaying());
  live->removeFromParentViewController();
}

}  // namespace
}  // namespace dk::test

// Pictures of the player screens over a real frame of a recording from the local cloud,
// compared with the project's stored pictures (tests/data/player/). On a mismatch the picture
// drawn now is written to the working directory; DK_UPDATE_PICTURES=1 rewrites the stored one.
#include <cstdlib>
#include <filesystem>

#include "foundation/color_manager.h"
#include "platform/graphics/image_compare.h"
#include "platform/ui/render.h"
#include "platform/ui/stored_picture.h"
#include "platform/ui/view.h"
#include "platform/ui/device.h"
#include "platform/ui/ui_test_driver.h"
#include "platform/ui/window.h"
#include "player/kl_player_landscape_view_controller.h"
#include "player/kl_player_recordings_landscape_controls.h"
#include "player/kl_player_view_controller.h"
#include "player/kl_player_recordings_portrait_controls.h"
#include "player_fixture.h"
#include "ui/fonts.h"

namespace dk::test {
namespace {

class PlayerPictures : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    setFontEnvironment({[] { return 1L; }, [] { return 0; }, [] { return 0; }});
    ColorManager::setPrimaryColors("#0c94c8");
    ColorManager::setSecondaryColors("#333333");
  }
  void TearDown() override {
    setFontEnvironment({});
    PlayerTest::TearDown();
  }

  void expectLooksAsStored(platform::View& view, const std::string& name) {
    platform::renderViewToImage(view, 2);
    test::expectLooksAsStored(platform::renderViewToImage(view, 2), "player", name);
  }
};

struct Host : platform::ViewController, PlayerViewControllerDelegate {
  void playerPreviousEventWasUpdated() override {}
  void playerNextEventWasUpdated() override {}
};

// The player screens themselves, embedded in a host screen as the timeline embeds them.
class PlayerScreenPictures : public PlayerPictures {
 protected:
  void SetUp() override {
    PlayerPictures::SetUp();
    platform::resetUiForTesting();
    camera->name = sim->world().cameras.front().name;
    host = std::make_shared<Host>();
    window = std::make_shared<platform::Window>();
    window->setRootViewController(host);
    window->makeKeyAndVisible();
    pump();
    player = std::make_shared<KLPlayerViewController>();
    player->initWithCamera(camera, first, std::static_pointer_cast<PlayerViewControllerDelegate>(host));
    host->addChildViewController(player);
    auto container = std::make_shared<platform::View>(platform::Rect{0, 100, 375, 211});
    host->view()->addSubview(container);
    container->addSubview(player->view());
    player->didMoveToParentViewController(host.get());
    player->viewWillAppear(false);
    player->viewDidAppear(false);
    player->setHasPreviousEvent(true);
    pump();
  }
  void TearDown() override {
    player.reset();
    host.reset();
    window.reset();
    pump();
    platform::resetUiForTesting();
    PlayerPictures::TearDown();
  }
  std::shared_ptr<Host> host;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<KLPlayerViewController> player;
};

TEST_F(PlayerScreenPictures, ThePortraitPlayerPausedOverARealFrame) {
  player->seekToTime(12.0);
  pump();
  player->playerViewModel()->didTapPlayButton();  // pause there
  pump();
  clock.advance(1.0);  // the play button's morph has played
  ASSERT_FALSE(player->playerViewModel()->isPlaying());
  expectLooksAsStored(*player->view(), "portrait_player");
}

TEST_F(PlayerScreenPictures, TheLandscapePlayerWithItsSpeedMenuOpen) {
  player->seekToTime(21.0);
  pump();
  platform::UiTestDriver(window).rotate(platform::DeviceOrientation::LandscapeRight);
  clock.advance(1.0);
  auto landscape = std::dynamic_pointer_cast<KLPlayerLandscapeViewController>(player->landscapeViewController());
  ASSERT_TRUE(landscape);
  landscape->playerViewModel()->didTapPlayButton();  // pause: the controls show
  pump();
  auto overlay = std::dynamic_pointer_cast<KLPlayerRecordingsLandscapeControls>(landscape->playerControls());
  ASSERT_TRUE(overlay);
  overlay->speedButtonTapped();
  clock.advance(1.0);
  expectLooksAsStored(*landscape->view(), "landscape_player_speed_menu");
}

}  // namespace
}  // namespace dk::test

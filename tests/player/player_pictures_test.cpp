// Pictures of the player's overlays over a real frame of a recording from the local cloud,
// compared with the project's stored pictures (tests/data/player/). On a mismatch the picture
// drawn now is written to the working directory; DK_UPDATE_PICTURES=1 rewrites the stored one.
#include <cstdlib>
#include <filesystem>

#include "foundation/color_manager.h"
#include "platform/graphics/image_compare.h"
#include "platform/ui/render.h"
#include "platform/ui/view.h"
#include "player/kl_player_recordings_landscape_controls.h"
#include "player/kl_player_recordings_portrait_controls.h"
#include "player_fixture.h"
#include "ui/fonts.h"

namespace dk::test {
namespace {

struct NoEvents : PlayerControlsExternalActionsDelegate {
  bool previous = true, next = false;
  void didTapSwitchOrientationButton() override {}
  void didTapPreviousEventButton() override {}
  void didTapNextEventButton() override {}
  void didTapPtzButtonForDirection(uint64_t) override {}
  bool shouldDisplayButtonForPlaybackCapability(int c) override {
    return c == PlayerPlaybackCapabilityPreviousEvent ? previous : c == PlayerPlaybackCapabilityNextEvent && next;
  }
  bool shouldEnableButtonForPlaybackCapability(int) override { return false; }
};

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

  // The video view (its layer is the streamer's) under an overlay, paused at `seconds`.
  template <class Overlay>
  std::shared_ptr<platform::View> playerAt(platform::Size size, double seconds, std::shared_ptr<Overlay>& overlay) {
    auto root = std::make_shared<platform::View>(platform::Rect{0, 0, size.width, size.height});
    root->setBackgroundColor(platform::Color{0, 0, 0, 1});
    auto video = std::make_shared<platform::View>(root->bounds());
    root->addSubview(video);
    auto viewModel = KLPlayerViewModel::initWithCamera(camera, first, video->layerPtr(), screen);
    viewModel->setRecording(first);
    viewModel->seekToTime(seconds);
    pump();
    viewModel->didTapPlayButton();  // pause on that frame
    pump();
    keep = viewModel;
    overlay = std::make_shared<Overlay>(root->bounds(), viewModel, events);
    overlay->setUpSubviews();
    overlay->updateCameraNameLabelWithText(sim->world().cameras.front().name);
    root->addSubview(overlay);
    return root;
  }

  void expectLooksAsStored(platform::View& view, const std::string& name) {
    platform::renderViewToImage(view, 2);
    auto actual = platform::renderViewToImage(view, 2);
    ASSERT_TRUE(actual);
    const char* dataDir = std::getenv("DK_TEST_DATA");
    if (!dataDir) dataDir = DK_TEST_DATA_DIR;
    const std::string stored = std::string(dataDir) + "/player/" + name + ".png";
    if (std::getenv("DK_UPDATE_PICTURES")) {
      std::filesystem::create_directories(std::filesystem::path(stored).parent_path());
      ASSERT_TRUE(actual->writePNG(stored));
      GTEST_SKIP() << "stored picture rewritten";
    }
    std::string error;
    auto expected = platform::Image::fromFile(stored, 2, &error);
    ASSERT_TRUE(expected) << error;
    const auto difference = platform::compareImages(*actual, *expected, 24);
    const bool close = difference.sameSize && difference.meanAbsolute <= 1.5 &&
                       difference.differingPixels <= static_cast<size_t>(actual->pixelWidth() * actual->pixelHeight() / 100);
    if (!close) {
      const auto written = std::filesystem::current_path() / (name + ".actual.png");
      actual->writePNG(written.string());
      ADD_FAILURE() << difference.describe() << "; the picture drawn now is " << written;
    }
  }

  std::shared_ptr<NoEvents> events = std::make_shared<NoEvents>();
  KLPlayerViewModelPtr keep;
};

TEST_F(PlayerPictures, PortraitControlsOverAPausedFrame) {
  std::shared_ptr<KLPlayerRecordingsPortraitControls> overlay;
  auto player = playerAt({375, 211}, 12.0, overlay);
  overlay->setPlayButtonIsPlaying(false);
  clock.advance(1.0);  // the morph has played
  expectLooksAsStored(*player, "portrait_paused");
}

TEST_F(PlayerPictures, LandscapeWithTheSpeedMenuOpen) {
  std::shared_ptr<KLPlayerRecordingsLandscapeControls> overlay;
  auto player = playerAt({812, 375}, 21.0, overlay);
  overlay->updateTimeLabelWithTime(kStart + 21.0);
  overlay->updateSpeedButtonWithRate(2.0);
  overlay->speedButtonTapped();
  clock.advance(1.0);
  ASSERT_EQ(overlay->speedOptionsView()->alpha(), 1.0);
  expectLooksAsStored(*player, "landscape_speed_menu");
}

}  // namespace
}  // namespace dk::test

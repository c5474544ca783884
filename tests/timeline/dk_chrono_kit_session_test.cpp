// A person's session on the timeline the facade presents, against the local cloud: the event
// sheet reached by tapping a card, the download into the documents folder and the album, the
// deletion through the pop-up, and playback of a real recording with a snapshot saved to the album.
// Also what the facade wires for the player: the streamer's cloud and the pan-tilt moves.
#include <gtest/gtest.h>

#include "facade_cloud_fixture.h"
#include "platform/foundation/bundle.h"
#include "platform/ui/alert_controller.h"
#include "player/kl_player_view_controller.h"
#include "services/kl_camera_roll_album_manager.h"
#include "services/kl_download_manager.h"
#include "timeline/dk_chrono_kit.h"
#include "timeline/embedded_player.h"
#include "timeline/kl_timeline_table_view_cell.h"

namespace dk {
namespace {

using platform::MainRunLoop;

std::string frameworkText(const char* key) {
  return platform::Bundle::withIdentifier("com.devicekeeper.DKChronoKit")->localizedString(key);
}

class FacadeSession : public test::FacadeCloudTest {
 protected:
  // One camera with three ten-minute recordings in the last hour, an event in each.
  void SetUp() override {
    FacadeCloudTest::SetUp();
    const double now = clock_.clock().now();
    cloudsim::GenerateOptions options;
    options.seed = 3;
    options.cameras = 2;
    options.days = 1;
    options.now = now;
    sim_.updateWorld([&](cloudsim::World& world) {
      world = cloudsim::World::generate(options);
      camera_ = world.cameras[0].cameraId;
      world.recordings.clear();
      world.events.clear();
      for (int i = 0; i < 3; ++i) {
        const double start = now - 3600 + i * 1200;
        world.recordings.push_back({5001 + i, camera_, start, start + 600, true});
        cloudsim::Event event;
        event.eventId = 100001 + i;
        event.cameraId = camera_;
        event.timestamp = start + 300;
        event.type = "vmdDetected";
        world.events.push_back(event);
      }
    });
  }

  // The facade presented at `time` with the three-minute strip, its history on screen.
  std::shared_ptr<KLTimelineViewController> present(double time) {
    showWindow();
    kit_ = DKChronoKit::create(sim_.accessToken(), camera_, time, window_->rootViewController());
    kit_->zoomLevel = KLTimelineZoomLevelThreeMinutes;
    kit_->present();
    auto screen = DKChronoKit::presentedTimeline();
    EXPECT_TRUE(waitUntil([&] {
      return screen->dataSource() && screen->dataSource()->allTimelineEvents().size() == 3 &&
             screen->dataSource()->allTimelineRecordings().size() == 3;
    }));
    driver().advance(2.0);
    return screen;
  }

  std::shared_ptr<KLTimelineTableViewCell> shownCard(KLTimelineViewController& screen) {
    for (const auto& c : screen.tableView()->visibleCells()) {
      auto cell = std::dynamic_pointer_cast<KLTimelineTableViewCell>(c);
      if (cell && !cell->eventContainer()->isHidden() && !cell->eventActionContainerView()->isHidden()) return cell;
    }
    return nullptr;
  }
  std::shared_ptr<platform::AlertController> shownSheet() {
    for (auto c = window_->rootViewController(); c; c = c->presentedViewController()) {
      if (auto sheet = std::dynamic_pointer_cast<platform::AlertController>(c)) return sheet;
    }
    return nullptr;
  }
  void tapSheetButton(const char* key) {
    auto sheet = shownSheet();
    ASSERT_TRUE(sheet);
    for (const auto& action : sheet->actions()) {
      if (action->title() == frameworkText(key)) {
        driver().tap(*sheet->buttonForAction(*action));
        driver().advance(1.0);
        return;
      }
    }
    FAIL() << "no " << key << " in the sheet";
  }
  std::vector<platform::PhotoAsset> album() {
    auto library = platform::PhotoLibrary::sharedPhotoLibrary();
    library->queue()->sync([] {});
    std::vector<platform::PhotoAsset> assets;
    for (const auto& a : library->fetchAlbumsWithTitle(KLCameraRollAlbumManager::albumName())) {
      for (auto& asset : library->fetchAssetsInAlbum(a)) assets.push_back(std::move(asset));
    }
    return assets;
  }
  KLPlayerViewModelPtr playerModel(const KLTimelineViewController& screen) {
    auto embedded = std::dynamic_pointer_cast<EmbeddedPlayer>(screen.player());
    return embedded && embedded->playerViewController() ? embedded->playerViewController()->playerViewModel() : nullptr;
  }

  std::shared_ptr<DKChronoKit> kit_;
  int64_t camera_ = 0;
};

TEST_F(FacadeSession, TheCardsActionOffersTheSheetThenTheClipIsSavedAndTheEventDeleted) {
  const double eventTime = clock_.clock().now() - 3600 + 1200 + 300;
  auto screen = present(eventTime);
  auto card = shownCard(*screen);
  ASSERT_TRUE(card) << "the event at the start time shows its card with an action";
  driver().tap(*card->eventAction());
  driver().advance(1.0);
  auto sheet = shownSheet();
  ASSERT_TRUE(sheet);
  std::vector<std::string> titles;
  for (const auto& a : sheet->actions()) titles.push_back(a->title());
  EXPECT_EQ(titles, (std::vector<std::string>{frameworkText("Share"), frameworkText("Download"),
                                               frameworkText("Delete"), frameworkText("Cancel")}))
      << "the cloud's user may delete footage";

  tapSheetButton("Download");
  auto events = KLDataManager::sharedInstance()->eventManager();
  KLEventPtr event;
  for (const auto& e : events->eventsForCameraIDs({camera_})) {
    if (e->eventID() == 100002) event = e;
  }
  ASSERT_TRUE(event);
  ASSERT_TRUE(waitUntil([&] { return KLDownloadManager::isVideoDownloadedForEvent(event); }));
  const auto clip = KLDownloadManager::getURLForEvent(event);
  ASSERT_TRUE(clip);
  EXPECT_TRUE(std::filesystem::is_regular_file(*clip));
  const auto saved = album();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].file.extension(), ".mp4");
  EXPECT_EQ(std::filesystem::file_size(saved[0].file), std::filesystem::file_size(*clip));

  card = shownCard(*screen);
  ASSERT_TRUE(card);
  driver().tap(*card->eventAction());
  driver().advance(1.0);
  tapSheetButton("Delete");
  auto confirm = window_->viewWithAccessibilityIdentifier("pop_up_view_button_1");
  ASSERT_TRUE(confirm) << "the deletion is asked first";
  driver().tap(*confirm);
  ASSERT_TRUE(waitUntil([&] { return screen->dataSource()->allTimelineEvents().size() == 2; }));
  EXPECT_EQ(sim_.requestsTo("/rest/v2.3/events/100002").size(), 1u);
  for (const auto& e : sim_.world().events) EXPECT_NE(e.eventId, 100002);
}

TEST_F(FacadeSession, ARecordingPlaysFromTheConfiguredCloudAndASnapshotReachesTheAlbum) {
  const double start = clock_.clock().now() - 3600 + 2400;
  auto screen = present(start + 60);
  EXPECT_EQ(platform::StreamerEnvironment::current().baseURL, sim_.baseUrl());
  ASSERT_TRUE(waitUntil([&] {
    auto model = playerModel(*screen);
    return model && model->isReadyToPlay() && model->cameraStreamer()->currentFrame();
  }));
  for (const auto& r : sim_.requestsTo("/media/cameras/" + std::to_string(camera_) + "/recordings/5003.mp4")) {
    EXPECT_TRUE(r.tls);
    EXPECT_FALSE(r.header("Range").empty()) << "read by ranges, never whole";
  }
  auto streamer = playerModel(*screen)->cameraStreamer();
  const double before = streamer->currentTime();
  EXPECT_NEAR(before, 60, 3);

  screen->player()->updateSpeedWithRate(5.0);
  driver().advance(10.0);
  EXPECT_NEAR(streamer->currentTime() - before, 50, 5) << "5x for ten seconds";

  ASSERT_TRUE(screen->snapshotButton()->isEnabled());
  driver().tap(*screen->snapshotButton());
  ASSERT_TRUE(waitUntil([&] { return album().size() == 1; }, 5));
  const auto image = platform::Image::fromFile(album()[0].file.string());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size().width, streamer->currentFrame()->size().width);
}

TEST_F(FacadeSession, APanTiltTapReachesTheCloudThroughTheCameraService) {
  auto screen = present(0);
  auto keeper = KLDataManager::sharedInstance()->deviceKeeper();
  bool loaded = false;
  keeper->getCamerasWithSuccessBlock([&](const platform::Value&) { loaded = true; }, nullptr);
  ASSERT_TRUE(waitUntil([&] { return loaded; }));
  auto camera = keeper->cameraWithID(camera_);
  ASSERT_TRUE(camera);
  auto move = PlayerServices::current().moveCamera;
  ASSERT_TRUE(move);
  move(camera, 2);
  ASSERT_TRUE(waitUntil([&] { return !sim_.requestsTo("/rest/v2.1/cameras/" + std::to_string(camera_) + "/ptz").empty(); }));
  const auto sent = sim_.requestsTo("/rest/v2.1/cameras/" + std::to_string(camera_) + "/ptz");
  EXPECT_EQ(sent[0].method, "POST");
  EXPECT_NE(sent[0].body.find("Left"), std::string::npos) << sent[0].body;
}

}  // namespace
}  // namespace dk

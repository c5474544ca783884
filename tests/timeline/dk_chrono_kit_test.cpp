// The facade: its defaults, what present stores and hands to the timeline, the REST host, the
// base screens' rights seam, and the live feed following the application for every present.
#include "timeline/dk_chrono_kit.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "foundation/color_manager.h"
#include "foundation/credential_storage.h"
#include "foundation/data_handler.h"
#include "foundation/kl_server.h"
#include "network/kl_request_table.h"
#include "timeline_screen_fixture.h"

namespace dk {
namespace {

using test::kCamera;

// A facade outside a shared_ptr would fail only once present() has stored the credential: such a
// facade (or a copy of one) cannot be written.
static_assert(!std::is_constructible_v<DKChronoKit, std::optional<std::string>, std::optional<int64_t>, double,
                                       std::shared_ptr<platform::ViewController>>);
static_assert(!std::is_copy_constructible_v<DKChronoKit> && !std::is_move_constructible_v<DKChronoKit>);

class Facade : public test::TimelineScreenTest {
 protected:
  void TearDown() override {
    DataHandler::resetForTesting();
    KLServer::resetProcessValuesForTesting();
    TimelineScreenTest::TearDown();
  }
};

TEST_F(Facade, ItStartsWithTheDocumentedDefaults) {
  auto kit = DKChronoKit::create(std::string("token"), kCamera, nullptr);
  EXPECT_DOUBLE_EQ(kit->time, 0.0);
  EXPECT_TRUE(kit->isVerticalRecordingsVisible);
  EXPECT_TRUE(kit->isTimelineControlsVisible);
  EXPECT_TRUE(kit->isCameraNameVisible);
  EXPECT_EQ(kit->customFont, 1);
  EXPECT_EQ(kit->zoomLevel, 0);
  EXPECT_EQ(kit->hideEventTypes, std::vector<std::string>{""});
  EXPECT_FALSE(kit->primaryColor);
}

TEST_F(Facade, PresentStoresTheTokenAndShowsTheConfiguredTimeline) {
  showWindow();
  auto root = window_->rootViewController();
  auto kit = DKChronoKit::create(std::string("host-token"), kCamera, clock_.clock().now() - 3600, root);
  kit->primaryColor = "#ff0000";
  kit->zoomLevel = KLTimelineZoomLevelFifteenMinutes;
  kit->isVerticalRecordingsVisible = false;
  kit->present();
  auto credential = retrieveCredential();
  ASSERT_TRUE(credential);
  EXPECT_EQ(credential->accessToken(), "host-token");
  EXPECT_EQ(credential->tokenType(), "bearer");
  EXPECT_EQ(ColorManager::getPrimaryColor(), "#ff0000");
  EXPECT_EQ(ColorManager::getSecondaryColor(), "#333333");
  EXPECT_EQ(DataHandler::getAlbumName(), "Timeline");

  auto screen = DKChronoKit::presentedTimeline();
  ASSERT_TRUE(screen);
  EXPECT_EQ(root->presentedViewController(), nullptr) << "presented on the next turn of the main queue";
  driver().advance(1.0);
  EXPECT_EQ(root->presentedViewController(), screen);
  EXPECT_EQ(screen->cameraID(), kCamera);
  EXPECT_EQ(screen->zoomlevel(), 1);
  EXPECT_EQ(screen->currentInterval(), 1u);
  EXPECT_FALSE(screen->isVerticalRecordingsVisible());
  EXPECT_EQ(screen->hideEventTypes(), std::vector<std::string>{""});
  EXPECT_EQ(screen->timelineDelegate(), kit);
}

TEST_F(Facade, TheHostsColoursReachTheColourStoreAndUnsetOnesTheirDefaults) {
  struct Row {
    std::optional<std::string> primary, secondary;
    const char *storedPrimary, *storedSecondary;
  };
  const Row rows[] = {
      {std::nullopt, std::nullopt, "#0c94c8", "#333333"},
      {"#ff0000", std::nullopt, "#ff0000", "#333333"},
      {std::nullopt, "#00ff00", "#0c94c8", "#00ff00"},
  };
  for (const Row& row : rows) {
    // Whatever the store held before, present replaces it.
    ColorManager::setPrimaryColors("#123456");
    ColorManager::setSecondaryColors("#654321");
    auto kit = DKChronoKit::create(std::string("t"), kCamera, nullptr);
    kit->primaryColor = row.primary;
    kit->secondaryColor = row.secondary;
    kit->present();
    EXPECT_EQ(ColorManager::getPrimaryColor(), row.storedPrimary) << row.primary.value_or("none");
    EXPECT_EQ(ColorManager::getSecondaryColor(), row.storedSecondary) << row.secondary.value_or("none");
    driver().advance(1.0);
    kit->didDismissTimeline(DKChronoKit::presentedTimeline());
  }
  ColorManager::resetForTesting();
}

TEST_F(Facade, AnEmptyHiddenTypesListLeavesTheScreensOwn) {
  showWindow();
  auto kit = DKChronoKit::create(std::string("t"), kCamera, window_->rootViewController());
  kit->hideEventTypes.clear();
  kit->present();
  EXPECT_TRUE(DKChronoKit::presentedTimeline()->hideEventTypes().empty());
  driver().advance(1.0);
}

TEST_F(Facade, WithoutATokenTheStoredCredentialStays) {
  storeCredential(platform::OAuthCredential("earlier", "bearer"));
  showWindow();
  auto kit = DKChronoKit::create(std::nullopt, kCamera, window_->rootViewController());
  kit->present();
  driver().advance(1.0);
  ASSERT_TRUE(retrieveCredential());
  EXPECT_EQ(retrieveCredential()->accessToken(), "earlier");
  EXPECT_TRUE(DKChronoKit::presentedTimeline());
}

TEST_F(Facade, TheBaseScreensReadTheDataManagersRights) {
  showWindow();
  auto kit = DKChronoKit::create(std::string("t"), kCamera, window_->rootViewController());
  kit->present();
  driver().advance(1.0);
  EXPECT_EQ(currentUserRights(), KLDataManager::sharedInstance()->userManager()->userRights());
}

TEST_F(Facade, TheHostNameFormsTheBaseURL) {
  DKChronoKit::setBaseURL("cloud.example.test");
  EXPECT_EQ(DKChronoKit::getBaseURL(), "https://cloud.example.test");
  EXPECT_EQ(KLServer::processIpAddress(), "cloud.example.test");
}

TEST_F(Facade, TheAppGroupReachesTheSettingsOnlyWhenAskedFor) {
  auto kit = DKChronoKit::create(std::string("t"), kCamera, nullptr);
  EXPECT_FALSE(DataHandler::getAppGroupName());
  kit->configureAppGroupName();
  EXPECT_EQ(DataHandler::getAppGroupName(), "group.com.devicekeeper.dk");
}

TEST_F(Facade, EveryPresentAddsTheFeedSwitchesUntilTheFacadeGoes) {
  showWindow();
  auto kit = DKChronoKit::create(std::string("t"), kCamera, window_->rootViewController());
  auto pings = [this] {
    size_t n = 0;
    for (const auto& r : executor_->requests()) n += r->requestName() == PING_REQUEST_CLOUD;
    return n;
  };
  // Each round trip to the background turns the feed on once per observing present.
  auto roundTrip = [&] {
    platform::MainRunLoop::runUntilIdle();
    const size_t before = pings();
    driver().enterBackground();
    driver().enterForeground();
    platform::MainRunLoop::runUntilIdle();
    return pings() - before;
  };
  auto close = [&] {
    std::weak_ptr<KLTimelineViewController> weak = DKChronoKit::presentedTimeline();
    driver().tap(*weak.lock()->closeButton());
    driver().advance(1.0);
    EXPECT_EQ(DKChronoKit::presentedTimeline(), nullptr);
    EXPECT_TRUE(weak.expired());
  };
  roundTrip();  // a reachability monitor started by an earlier test may report its first status here
  kit->present();
  driver().advance(1.0);
  EXPECT_EQ(roundTrip(), 1u);
  close();
  EXPECT_EQ(roundTrip(), 1u) << "closing keeps the observers: the feed comes back with the application";
  kit->present();
  driver().advance(1.0);
  EXPECT_EQ(roundTrip(), 2u) << "a second present observes again";
  close();
  kit.reset();
  EXPECT_EQ(roundTrip(), 0u) << "a released facade switches nothing";
}

}  // namespace
}  // namespace dk

// The facade against the local cloud: the host creates it with the cloud's token and a camera,
// presents it, and the timeline fills with that camera's recordings and events.
#include <gtest/gtest.h>

#include "facade_cloud_fixture.h"
#include "timeline/dk_chrono_kit.h"

namespace dk {
namespace {

using platform::MainRunLoop;

class FacadeCloud : public test::FacadeCloudTest {
 protected:
  void SetUp() override {
    FacadeCloudTest::SetUp();
    cloudsim::GenerateOptions options;
    options.seed = 5;
    options.cameras = 1;
    options.days = 2;
    options.recordingsPerCamera = 40;
    options.eventsPerCamera = 120;
    sim_.updateWorld([&](cloudsim::World& world) { world = cloudsim::World::generate(options); });
    camera_ = sim_.world().cameras[0].cameraId;
  }
  int64_t camera_ = 0;
};

TEST_F(FacadeCloud, ThePresentedTimelineFillsWithTheCamerasRecordingsAndEvents) {
  showWindow();
  auto kit = DKChronoKit::create(sim_.accessToken(), camera_, window_->rootViewController());
  kit->present();
  auto screen = DKChronoKit::presentedTimeline();
  ASSERT_TRUE(screen);
  driver().advance(1.0);
  ASSERT_EQ(window_->rootViewController()->presentedViewController(), screen);
  bool filled = MainRunLoop::runUntil([&] {
    return screen->dataSource() && screen->dataSource()->allTimelineRecordings().size() == 40 &&
           screen->dataSource()->allTimelineEvents().size() == 120;
  });
  EXPECT_TRUE(filled) << screen->dataSource()->allTimelineRecordings().size() << " recordings, "
                      << screen->dataSource()->allTimelineEvents().size() << " events";
  driver().advance(2.0);
  EXPECT_TRUE(screen->noEventsImageView()->isHidden());
  EXPECT_FALSE(sim_.requestsTo("/rest/v2.2/cameras/" + std::to_string(camera_) + "/recordings").empty());

  driver().tap(*screen->closeButton());
  driver().advance(1.0);
  EXPECT_EQ(DKChronoKit::presentedTimeline(), nullptr);
}

}  // namespace
}  // namespace dk

// The facade against the local cloud: the host creates it with the cloud's token and a camera,
// presents it, and the timeline fills with that camera's recordings and events.
#include <gtest/gtest.h>

#include "cloud-sim/cloud_sim.h"
#include "foundation/kl_server.h"
#include "live/kl_data_manager.h"
#include "network/kl_request_manager.h"
#include "platform/foundation/secure_store.h"
#include "services/request_executor.h"
#include "support/temp_directory.h"
#include "timeline/dk_chrono_kit.h"
#include "ui/screen_test_support.h"

namespace dk {
namespace {

using platform::MainRunLoop;

class FacadeCloud : public test::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    store_ = platform::InMemorySecureStore::create();
    platform::SecureStore::setShared(store_);
    ASSERT_NE(sim_.start(), 0) << sim_.lastError();
    // Everything the framework might reach stays on this machine.
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort(std::to_string(sim_.port()));
    KLServer::resetForTesting();
    cloudsim::GenerateOptions options;
    options.seed = 5;
    options.cameras = 1;
    options.days = 2;
    options.recordingsPerCamera = 40;
    options.eventsPerCamera = 120;
    sim_.updateWorld([&](cloudsim::World& world) { world = cloudsim::World::generate(options); });
    camera_ = sim_.world().cameras[0].cameraId;
    requests_ = std::make_shared<KLRequestManager>(sim_.baseUrl());
    KLServicesManager::setRequestExecutor(executorForRequestManager(requests_));
  }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    window_.reset();
    MainRunLoop::runUntilIdle();
    KLDataManager::resetSharedInstance();
    MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
    sim_.release();
    for (const auto& m : {requests_->httpSessionManager(), requests_->jsonSessionManager(),
                          requests_->jsonUpdateSessionManager(), requests_->imageSessionManager()}) {
      m->session->invalidateAndCancel();
    }
    MainRunLoop::runUntilIdle();
    KLServer::resetProcessValuesForTesting();
    KLServer::resetForTesting();
    platform::SecureStore::setShared(nullptr);
    ScreenTest::TearDown();
  }

  test::TemporaryHome home_;
  std::shared_ptr<platform::InMemorySecureStore> store_;
  cloudsim::CloudSim sim_;
  std::shared_ptr<KLRequestManager> requests_;
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

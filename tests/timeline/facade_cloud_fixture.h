// Shared set-up for the facade against the local cloud: a simulator on loopback that the server
// settings point at, the request executor over it, a secure store and a home (documents, photo
// album, settings) of the test's own. Everything the facade installs for the player (album,
// pan-tilt, streamer address) is removed again afterwards.
#pragma once

#include <functional>
#include <string>

#include "cloud-sim/cloud_sim.h"
#include "foundation/kl_server.h"
#include "live/kl_data_manager.h"
#include "network/kl_request_manager.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/tls_policy.h"
#include "platform/media/images/photo_library.h"
#include "platform/foundation/secure_store.h"
#include "player/kl_player_view_model.h"
#include "player/player_view_controller.h"
#include "services/request_executor.h"
#include "support/temp_directory.h"
#include "timeline_screen_fixture.h"
#include "ui/screen_test_support.h"

namespace dk::test {

class FacadeCloudTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    store_ = platform::InMemorySecureStore::create();
    platform::SecureStore::setShared(store_);
    platform::PhotoLibrary::setRootDirectory(home_.path() / "Photos");
    ASSERT_NE(sim_.start(), 0) << sim_.lastError();
    caFile_ = (home_.path() / "cloud-ca.pem").string();
    ASSERT_TRUE(sim_.writeCaCertificate(caFile_));
    platform::TlsPolicy::setDefaultCAFile(caFile_);
    // Everything the framework might reach stays on this machine, over https as in the field
    // (the player sends the token nowhere else).
    KLServer::setProcessProtocol("https");
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort(std::to_string(sim_.port()));
    KLServer::resetForTesting();
    requests_ = std::make_shared<KLRequestManager>(sim_.baseUrl());
    KLServicesManager::setRequestExecutor(executorForRequestManager(requests_));
  }
  void TearDown() override {
    platform::MainRunLoop::runUntilIdle();
    letGoOfThePresentedTimeline();
    window_.reset();
    platform::MainRunLoop::runUntilIdle();
    KLDataManager::resetSharedInstance();
    platform::MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
    KLPlayerViewModel::setAlbumSaver(nullptr);
    PlayerServices::install({});
    platform::StreamerEnvironment::install({});
    sim_.release();
    for (const auto& m : {requests_->httpSessionManager(), requests_->jsonSessionManager(),
                          requests_->jsonUpdateSessionManager(), requests_->imageSessionManager()}) {
      m->session->invalidateAndCancel();
    }
    platform::MainRunLoop::runUntilIdle();
    KLServer::resetProcessValuesForTesting();
    KLServer::resetForTesting();
    platform::PhotoLibrary::setRootDirectory({});
    platform::SecureStore::setShared(nullptr);
    platform::TlsPolicy::setDefaultCAFile("");
    ScreenTest::TearDown();
  }

  // Pumps the run loop and, while nothing is left to run, moves the clock a frame, until pred()
  // holds or `seconds` of virtual time passed.
  bool waitUntil(const std::function<bool()>& pred, double seconds = 30) {
    const double end = clock_.clock().now() + seconds;
    while (!platform::MainRunLoop::runUntil(pred)) {
      if (clock_.clock().now() >= end) return false;
      driver().advanceFrames(6);
    }
    return true;
  }

  TemporaryHome home_;
  std::shared_ptr<platform::InMemorySecureStore> store_;
  static cloudsim::CloudSimOptions secure() {
    cloudsim::CloudSimOptions options;
    options.https = true;
    return options;
  }
  cloudsim::CloudSim sim_{cloudsim::World::generate(cloudsim::GenerateOptions{}), secure()};
  std::string caFile_;
  std::shared_ptr<KLRequestManager> requests_;
};

}  // namespace dk::test

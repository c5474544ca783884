// The timeline screen with its real embedded player over the local cloud's videos: a camera with
// two closed two-minute recordings five minutes apart (two frames a second, each frame showing
// its time), the streamer pointed at the cloud over HTTPS with the cloud's token, the recordings
// in the manager's cache, and the manual clock at a fixed time in UTC.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "cloud-sim/cloud_sim.h"
#include "foundation/date_formatting.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/tls_policy.h"
#include "player/kl_player_view_controller.h"
#include "timeline/embedded_player.h"
#include "timeline_screen_fixture.h"

namespace dk::test {

class CloudToken : public platform::DKAccessTokenProviderDelegate {
 public:
  explicit CloudToken(std::string token) : token(std::move(token)) {}
  std::string accessToken() const override { return token; }
  std::string token;
};

class TimelineVideoTest : public TimelineScreenTest {
 protected:
  // 2023-11-14 12:05:00 UTC.
  static constexpr double kVideoNow = 1699963500;
  static constexpr double kFirstStart = kVideoNow - 900, kFirstEnd = kVideoNow - 780;
  static constexpr double kSecondStart = kVideoNow - 480, kSecondEnd = kVideoNow - 360;

  void SetUp() override {
    platform::TimeZone::setLocal(platform::TimeZone::gmt());
    platform::Locale::setCurrent("en_US");
    resetDateCachesForTesting();
    TimelineScreenTest::SetUp();
    clock_.clock().set(kVideoNow);
    KLTimelineViewController::setPlayerFactory(nullptr);  // the real player

    cloudsim::GenerateOptions generate;
    generate.cameras = 1;
    generate.days = 1;
    generate.utcOffsetSeconds = 0;
    auto world = cloudsim::World::generate(generate);
    camera_ = world.cameras.front().cameraId;
    firstId_ = world.startRecording(camera_, kFirstStart);
    world.closeRecording(firstId_, kFirstEnd);
    secondId_ = world.startRecording(camera_, kSecondStart);
    world.closeRecording(secondId_, kSecondEnd);
    cloudsim::CloudSimOptions options;
    options.https = true;
    sim_ = std::make_unique<cloudsim::CloudSim>(std::move(world), options);
    ASSERT_NE(sim_->start(), 0) << sim_->lastError();
    caFile_ = (std::filesystem::temp_directory_path() / ("dk-timeline-ca-" + std::to_string(::getpid()) + ".pem")).string();
    ASSERT_TRUE(sim_->writeCaCertificate(caFile_));
    platform::TlsPolicy::setDefaultCAFile(caFile_);
    platform::StreamerEnvironment::install({sim_->baseUrl()});
    token_ = std::make_shared<CloudToken>(sim_->accessToken());
    platform::DKAccessTokenProvider::setDelegate(token_);

    platform::ValueArray values;
    for (const auto& [id, start, end] : {std::tuple{secondId_, kSecondStart, kSecondEnd}, std::tuple{firstId_, kFirstStart, kFirstEnd}}) {
      auto recording = restRecording(id, start, end);
      recording->setCameraID(camera_);
      values.push_back(platform::Value(recording));
    }
    recordings()->recordingsForCameraID(camera_)->setValues(platform::Value(values));
    recordings()->notifyObserversForCameraID(camera_);
    driver().pump();
  }
  void TearDown() override {
    screen_.reset();
    TimelineScreenTest::TearDown();
    platform::MainRunLoop::runUntilIdle();
    platform::DKAccessTokenProvider::setDelegate({});
    platform::TlsPolicy::setDefaultCAFile("");
    if (!caFile_.empty()) std::filesystem::remove(caFile_);
    sim_.reset();
    resetDateCachesForTesting();
    platform::TimeZone::setLocal(std::nullopt);
    platform::Locale::setCurrent(std::nullopt);
  }

  // The screen of the cloud's camera at the 3-minute level, shown.
  std::shared_ptr<KLTimelineViewController> shownScreen() {
    auto screen = makeScreen(KLTimelineZoomLevelThreeMinutes);
    screen->setCameraID(camera_);
    screen_ = showScreen(screen);
    return screen_;
  }
  std::shared_ptr<KLPlayerViewController> playerScreen() const {
    auto embedded = screen_ ? std::dynamic_pointer_cast<EmbeddedPlayer>(screen_->player()) : nullptr;
    return embedded ? embedded->playerViewController() : nullptr;
  }
  std::shared_ptr<platform::DKCameraStreamer> streamer() const {
    auto player = playerScreen();
    auto model = player ? player->playerViewModel() : nullptr;
    return model ? model->cameraStreamer() : nullptr;
  }
  // Scrolls the strip to `time` as the end of a user's scroll would, and waits for the video.
  void playAt(double time) {
    screen_->scrollTableViewToTime(time, false, true);
    ASSERT_TRUE(playerScreen()) << "no recording was handed over";
    ASSERT_TRUE(platform::MainRunLoop::runUntil([this] { return playerScreen()->playerViewModel()->isPlaying(); }))
        << "the recording never started playing";
    ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  }
  std::shared_ptr<platform::View> named(const std::string& id) { return window_->viewWithAccessibilityIdentifier(id); }
  void tapOn(const std::string& id) {
    auto view = named(id);
    ASSERT_TRUE(view) << id;
    driver().tap(*view);
    driver().advance(0.6);
  }

  std::unique_ptr<cloudsim::CloudSim> sim_;
  std::string caFile_;
  std::shared_ptr<CloudToken> token_;
  int64_t camera_ = 0, firstId_ = 0, secondId_ = 0;
  std::shared_ptr<KLTimelineViewController> screen_;
};

}  // namespace dk::test

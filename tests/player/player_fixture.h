// The player against the local cloud: a camera with a closed 30 s recording (two frames a
// second of real video) and a second one, the streamer's environment and token, a screen
// stand-in that writes down every view-model event, and the manual clock.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/run_loop.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/tls_policy.h"
#include "platform/ui/layer.h"
#include "player/kl_player_view_model.h"
#include "support/manual_clock.h"

namespace dk::test {

struct TestCamera : PlayerCameraInterface {
  int64_t id = 0;
  bool microphone = true;
  std::string name = "Garden";
  platform::ObjectPtr underlyingObject() const override { return nullptr; }
  int64_t playerCameraID() const override { return id; }
  std::string cameraName() const override { return name; }
  bool microphoneEnabled() const override { return microphone; }
  bool isRecording() const override { return true; }
};

struct TestRecording : PlayerRecordingInterface {
  int64_t cameraId = 0, recordingId = 0;
  double start = 0, end = 0;
  platform::ObjectPtr underlyingObject() const override { return nullptr; }
  int64_t playerCameraID() const override { return cameraId; }
  int64_t playerRecordingID() const override { return recordingId; }
  double startTime() const override { return start; }
  double endTime() const override { return end; }
  double recordingDuration() const override { return end - start; }
};

// What the player screen would hear from the view model.
class ScreenRecorder : public PlayerViewModelDelegate {
 public:
  void streamerDidStartLoading() override { events.push_back("startLoading"); }
  void streamerDidEndLoading() override { events.push_back("endLoading"); }
  void streamerDidStartStreaming() override { events.push_back("startStreaming"); }
  void streamerDidPauseStreaming() override { events.push_back("pauseStreaming"); }
  void streamerDidEndStreaming() override { events.push_back("endStreaming"); }
  void streamerTimeDidChangeToTime(double time) override { times.push_back(time); }
  void streamerDidUpdateSpeedWithRate(double rate) override { events.push_back("speed:" + std::to_string(rate)); }
  void audioInputDidStartPushToTalk() override { events.push_back("talkStarted"); }
  void audioInputDidEndPushToTalk() override { events.push_back("talkEnded"); }
  void audioInputDidFailPushToTalkWithError(const platform::ErrorPtr&) override { events.push_back("talkFailed"); }
  void snapshotWasCreated(const platform::ImagePtr& image) override {
    snapshots.push_back(image);
    events.push_back("snapshot");
  }
  void playerShouldDisplayErrorToastWithText(const std::optional<std::string>& text) override {
    errorToasts.push_back(text.value_or("<none>"));
  }
  void playerShouldDisplayInfoToastWithText(const std::optional<std::string>& text, double duration) override {
    infoToasts.push_back(text.value_or("<none>"));
    infoDurations.push_back(duration);
  }
  size_t count(const std::string& event) const { return std::count(events.begin(), events.end(), event); }

  std::vector<std::string> events;
  std::vector<double> times;
  std::vector<platform::ImagePtr> snapshots;
  std::vector<std::string> errorToasts, infoToasts;
  std::vector<double> infoDurations;
};

class TokenFromSim : public platform::DKAccessTokenProviderDelegate {
 public:
  explicit TokenFromSim(std::string token) : token(std::move(token)) {}
  std::string accessToken() const override { return token; }
  std::string token;
};

class PlayerTest : public ::testing::Test {
 protected:
  static constexpr double kStart = 1699990000.0;

  void SetUp() override {
    platform::MainRunLoop::bindToCurrentThread();
    cloudsim::GenerateOptions generate;
    generate.cameras = 2;
    generate.days = 1;
    generate.utcOffsetSeconds = 0;  // frames show the time as the device does (UTC in tests)
    auto world = cloudsim::World::generate(generate);
    cameraId = world.cameras.front().cameraId;
    firstId = world.startRecording(cameraId, kStart);
    world.closeRecording(firstId, kStart + 30);
    secondId = world.startRecording(cameraId, kStart + 100);
    world.closeRecording(secondId, kStart + 120);
    cloudsim::CloudSimOptions options;
    options.https = true;
    sim = std::make_unique<cloudsim::CloudSim>(std::move(world), options);
    ASSERT_NE(sim->start(), 0) << sim->lastError();
    caFile = (std::filesystem::temp_directory_path() / ("dk-player-ca-" + std::to_string(::getpid()) + ".pem")).string();
    ASSERT_TRUE(sim->writeCaCertificate(caFile));
    platform::TlsPolicy::setDefaultCAFile(caFile);
    platform::StreamerEnvironment::install({sim->baseUrl()});
    token = std::make_shared<TokenFromSim>(sim->accessToken());
    platform::DKAccessTokenProvider::setDelegate(token);

    camera = std::make_shared<TestCamera>();
    camera->id = cameraId;
    first = recording(firstId, kStart, kStart + 30);
    second = recording(secondId, kStart + 100, kStart + 120);
    layer = std::make_shared<platform::Layer>();
    screen = std::make_shared<ScreenRecorder>();
    model = KLPlayerViewModel::initWithCamera(camera, nullptr, layer, screen);
  }
  void TearDown() override {
    model.reset();
    platform::MainRunLoop::runUntilIdle();
    KLPlayerViewModel::setAlbumSaver(nullptr);
    platform::StreamerEnvironment::clearScriptedFailures();
    platform::DKAccessTokenProvider::setDelegate({});
    platform::TlsPolicy::setDefaultCAFile("");
    std::filesystem::remove(caFile);
  }

  std::shared_ptr<TestRecording> recording(int64_t id, double start, double end) const {
    auto r = std::make_shared<TestRecording>();
    r->cameraId = cameraId;
    r->recordingId = id;
    r->start = start;
    r->end = end;
    return r;
  }
  // How the timeline starts playback: set the recording, then seek.
  void playFirstAt(double seconds) {
    model->setRecording(first);
    model->seekToTime(seconds);
    ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
    ASSERT_TRUE(model->isPlaying());
  }
  void pump() { ASSERT_TRUE(platform::MainRunLoop::runUntilIdle()); }

  ManualClockScope clock{1700000000.0};
  std::unique_ptr<cloudsim::CloudSim> sim;
  std::string caFile;
  int64_t cameraId = 0, firstId = 0, secondId = 0;
  std::shared_ptr<TokenFromSim> token;
  std::shared_ptr<TestCamera> camera;
  std::shared_ptr<TestRecording> first, second;
  std::shared_ptr<platform::Layer> layer;
  std::shared_ptr<ScreenRecorder> screen;
  KLPlayerViewModelPtr model;
};

}  // namespace dk::test

// A camera streamer against the local cloud over HTTPS: a camera with a closed 30 s recording
// and an open one, a token provider answering the cloud's token, a delegate that writes down
// every callback, and the manual clock.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/data.h"
#include "platform/graphics/image_compare.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/http_session.h"
#include "platform/net/tls_policy.h"
#include "platform/ui/layer.h"
#include "support/manual_clock.h"

namespace dk::platform::test {

class FixedToken : public DKAccessTokenProviderDelegate {
 public:
  explicit FixedToken(std::string token) : token(std::move(token)) {}
  std::string accessToken() const override { return token; }
  std::string token;
};

class StreamerRecorder : public DKCameraStreamerDelegete {
 public:
  bool respondsToSelector(std::string_view selector) const override {
    return selector != "cameraStreamer:onCurrentItemDurationChanged:" || wantsDuration;
  }
  void cameraStreamerOnStatusChanged(const DKCameraStreamerPtr& s, uint64_t status) override {
    add(s, "status:" + std::to_string(status));
  }
  void cameraStreamerOnPlaybackStateChanged(const DKCameraStreamerPtr& s, uint64_t state) override {
    add(s, "playback:" + std::to_string(state));
  }
  void cameraStreamerOnAudioStreamingStateChanged(const DKCameraStreamerPtr& s, uint64_t state) override {
    add(s, "audio:" + std::to_string(state));
  }
  void cameraStreamerOnSnapshotTaken(const DKCameraStreamerPtr& s, const ImagePtr& image, double time) override {
    snapshot = image;
    snapshotTime = time;
    add(s, "snapshot");
  }
  void cameraStreamerOnCurrentItemDurationChanged(const DKCameraStreamerPtr& s, double duration) override {
    add(s, "duration:" + std::to_string(static_cast<int>(duration)));
  }
  void add(const DKCameraStreamerPtr& s, std::string what) {
    EXPECT_TRUE(isMainThread());
    streamers.push_back(s.get());
    events.push_back(std::move(what));
  }

  bool wantsDuration = true;
  std::vector<std::string> events;
  std::vector<const DKCameraStreamer*> streamers;
  ImagePtr snapshot;
  double snapshotTime = -1;
};

// The same picture, pixel for pixel.
inline bool sameFrame(const ImagePtr& a, const ImagePtr& b) {
  if (!a || !b) return false;
  const ImageDifference d = compareImages(*a, *b);
  return d.sameSize && d.maxAbsolute == 0;
}

class StreamerTest : public ::testing::Test {
 protected:
  static constexpr double kStart = 1699990000.0;

  void SetUp() override {
    MainRunLoop::bindToCurrentThread();
    cloudsim::GenerateOptions generate;
    generate.cameras = 2;
    generate.days = 1;
    auto world = cloudsim::World::generate(generate);
    cameraId = world.cameras.front().cameraId;
    closedId = world.startRecording(cameraId, kStart);
    world.closeRecording(closedId, kStart + 30);
    openId = world.startRecording(cameraId, world.now - 10);
    cloudsim::CloudSimOptions options;
    options.https = true;
    sim = std::make_unique<cloudsim::CloudSim>(std::move(world), options);
    ASSERT_NE(sim->start(), 0) << sim->lastError();
    caFile = (std::filesystem::temp_directory_path() / ("dk-streamer-ca-" + std::to_string(::getpid()) + ".pem")).string();
    ASSERT_TRUE(sim->writeCaCertificate(caFile));
    TlsPolicy::setDefaultCAFile(caFile);
    StreamerEnvironment::install({sim->baseUrl()});
    token = std::make_shared<FixedToken>(sim->accessToken());
    DKAccessTokenProvider::setDelegate(token);
    layer = std::make_shared<Layer>();
    streamer = DKCameraStreamer::initWithLayer(layer);
    recorder = std::make_shared<StreamerRecorder>();
    streamer->setDelegate(recorder);
  }
  void TearDown() override {
    streamer.reset();
    MainRunLoop::runUntilIdle();
    StreamerEnvironment::clearScriptedFailures();
    DKAccessTokenProvider::setDelegate({});
    TlsPolicy::setDefaultCAFile("");
    std::filesystem::remove(caFile);
  }

  // Hands the closed recording over and lets it prepare.
  void prepareClosed() {
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  }
  static std::string describe(const ErrorPtr& e) { return e ? e->description() : "no error"; }

  // Opens the camera live and plays it at 1x; the camera runs four seconds ahead of the segment
  // joined, so that each next segment is listed by the time the view asks.
  void openLiveAndPlay() {
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId));
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
    sim->updateWorld([](cloudsim::World& w) { w.now += 4; });
    streamer->setRate(1.0f);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
  }

  // The same file the streamer plays, fetched and decoded independently.
  std::unique_ptr<VideoDecoder> referenceDecoder(int64_t recordingId) {
    HttpSession::Options options;
    options.baseURL = sim->baseUrl();
    auto session = HttpSession::create(options);
    auto configuration = std::make_shared<RequestConfiguration>();
    configuration->responseSerializer = ResponseSerializerKind::Http;
    configuration->acceptableContentTypes = std::vector<std::string>{"video/mp4"};
    configuration->headers["Authorization"] = "Bearer " + sim->accessToken();
    session->downloadTask(
        "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(recordingId) + ".mp4",
        configuration, nullptr,
        [&](const std::shared_ptr<const HttpResponseInfo>&, const Value& body) { referenceFile = body.objectAs<Data>(); },
        [&](const ErrorPtr& error) { ADD_FAILURE() << describe(error); });
    MainRunLoop::runUntilIdle();
    auto decoder = std::make_unique<VideoDecoder>();
    std::string why;
    if (!referenceFile || !decoder->open(*referenceFile->filePath(), &why)) {
      ADD_FAILURE() << "reference video: " << why;
      return nullptr;
    }
    return decoder;
  }

  dk::test::ManualClockScope clock{1700000000.0};
  std::unique_ptr<cloudsim::CloudSim> sim;
  std::string caFile;
  int64_t cameraId = 0, closedId = 0, openId = 0;
  std::shared_ptr<FixedToken> token;
  std::shared_ptr<Layer> layer;
  DKCameraStreamerPtr streamer;
  std::shared_ptr<StreamerRecorder> recorder;
  std::shared_ptr<Data> referenceFile;
};

}  // namespace dk::platform::test

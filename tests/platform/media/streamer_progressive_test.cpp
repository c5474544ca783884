// The streamer reading recordings piecewise: it plays before the whole recording is in, a seek
// reads only its part, a new item ends the old transfer at once, a stalled recording fails in
// bounded (virtual) time, and an open recording grows without being fetched whole again.
#include "streamer_fixture.h"

namespace dk::platform::test {
namespace {

class ProgressiveStreamerTest : public StreamerTest {
 protected:
  void SetUp() override {
    StreamerTest::SetUp();
    StreamerEnvironment environment{sim->baseUrl()};
    environment.limits.chunkBytes = 4096;
    environment.limits.idleSeconds = 20;
    environment.limits.deadlineSeconds = 25;
    StreamerEnvironment::install(environment);
  }
  std::string path(int64_t recordingId) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(recordingId) + ".mp4";
  }
  // Body bytes asked for so far; -1 when a request asked for the whole recording.
  int64_t bytesAskedFor(int64_t recordingId) const {
    int64_t sum = 0;
    for (const auto& r : sim->requestsTo(path(recordingId))) {
      const std::string range = r.header("Range");
      long long a = 0, b = 0;
      if (std::sscanf(range.c_str(), "bytes=%lld-%lld", &a, &b) != 2) return -1;
      sum += b - a + 1;
    }
    return sum;
  }
  bool failedWithin() {
    return MainRunLoop::runUntil([&] { return streamer->status() == DKCameraStreamerStatusFailed; });
  }
};

TEST_F(ProgressiveStreamerTest, PlaysBeforeTheWholeRecordingIsInAndASeekReadsOnlyItsPart) {
  auto reference = referenceDecoder(closedId);
  ASSERT_TRUE(reference);
  const auto size = static_cast<int64_t>(referenceFile->length());
  sim->clearRequests();

  prepareClosed();
  EXPECT_TRUE(sameFrame(streamer->currentFrame(), reference->frameAt(0)));
  const int64_t atReady = bytesAskedFor(closedId);
  EXPECT_GT(atReady, 0);
  EXPECT_LT(atReady, size / 2);

  streamer->seekTo(25.2);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(sameFrame(streamer->currentFrame(), reference->frameAt(reference->frameIndexAt(25.2))));
  const int64_t afterSeek = bytesAskedFor(closedId);
  EXPECT_GT(afterSeek, atReady);
  EXPECT_LT(afterSeek, size);
}

TEST_F(ProgressiveStreamerTest, AHandOffSeekingAtReadyShowsOnlyWhereItLands) {
  auto reference = referenceDecoder(closedId);
  ASSERT_TRUE(reference);
  const ImagePtr target = reference->frameAt(reference->frameIndexAt(25.2));
  // As the view model does: the seek goes out in answer to "ready".
  struct HandOff : StreamerRecorder {
    double seekTime = 25.2;
    bool shownAtReady = true;
    void cameraStreamerOnStatusChanged(const DKCameraStreamerPtr& s, uint64_t status) override {
      StreamerRecorder::cameraStreamerOnStatusChanged(s, status);
      if (status != DKCameraStreamerStatusReadyToPlay) return;
      shownAtReady = s->currentFrame() != nullptr;
      if (seekTime >= 0) s->seekTo(seekTime);
    }
  };
  auto handOff = std::make_shared<HandOff>();
  streamer->setDelegate(handOff);
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  std::vector<ImagePtr> shown;
  MainRunLoop::runUntil([&] {
    const ImagePtr contents = layer->contents();
    if (contents && (shown.empty() || shown.back() != contents)) shown.push_back(contents);
    return false;
  });
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  // No time went on the start of the recording: nothing was on screen before the seek, and the
  // only picture ever shown is the one it lands on.
  EXPECT_FALSE(handOff->shownAtReady);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(sameFrame(shown.front(), target));
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 25.2);

  // Without a seek the start is shown.
  handOff->seekTime = -1;
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(sameFrame(streamer->currentFrame(), reference->frameAt(0)));
}

TEST_F(ProgressiveStreamerTest, ANewItemEndsTheAbandonedTransferAtOnce) {
  sim->addFault(cloudsim::FaultRule::hold(path(closedId)));
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  ASSERT_TRUE(sim->waitForHeld(1));
  auto next = DKStreamerItem::itemWithCameraId(cameraId, openId);
  streamer->setCurrentItem(next);
  // Neither waits for the held reply: the run loop goes idle with the new item ready.
  ASSERT_TRUE(MainRunLoop::runUntilIdle(10));
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  EXPECT_GT(next->duration(), 0);
  EXPECT_EQ(std::count(recorder->events.begin(), recorder->events.end(), "status:1"), 1);
  sim->release();
}

TEST_F(ProgressiveStreamerTest, ARecordingThatStopsArrivingFailsAfterItsIdleLimit) {
  sim->addFault(cloudsim::FaultRule::hold(path(closedId)));
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  ASSERT_TRUE(sim->waitForHeld(1));
  clock.clock().advance(19);
  MainRunLoop::runPending();
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusPreparing);
  clock.clock().advance(2);
  ASSERT_TRUE(failedWithin());
  EXPECT_EQ(streamer->failureReason()->code(), kURLErrorTimedOut);
  sim->release();
}

TEST_F(ProgressiveStreamerTest, ATransferIsCutAtItsDeadlineEvenWhenNotIdle) {
  StreamerEnvironment environment = StreamerEnvironment::current();
  environment.limits.idleSeconds = 1000;
  environment.limits.deadlineSeconds = 5;
  StreamerEnvironment::install(environment);
  sim->addFault(cloudsim::FaultRule::hold(path(closedId)));
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  ASSERT_TRUE(sim->waitForHeld(1));
  clock.clock().advance(6);
  ASSERT_TRUE(failedWithin());
  EXPECT_EQ(streamer->failureReason()->code(), kURLErrorTimedOut);
  sim->release();
}

TEST_F(ProgressiveStreamerTest, AnOpenRecordingIsAskedOnlyForItsSizeUntilItGrowsAndNeverFetchedWhole) {
  auto item = DKStreamerItem::itemWithCameraId(cameraId, openId);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  streamer->setRate(1.0f);
  clock.advance(10.0);  // at its end, with nothing recorded since
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateBuffering);
  sim->clearRequests();
  for (int second = 0; second < 60; ++second) clock.advance(1.0);
  const auto probes = sim->requestsTo(path(openId));
  EXPECT_GE(probes.size(), 10u);
  EXPECT_LE(probes.size(), 30u);
  for (const auto& r : probes) EXPECT_EQ(r.header("Range"), "bytes=0-0");

  // Recorded on: a seek past what was read goes there once the new take is in.
  sim->updateWorld([](cloudsim::World& w) { w.now += 30; });
  streamer->seekTo(35.0);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_DOUBLE_EQ(item->duration(), 40.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 35.0);
  EXPECT_GT(bytesAskedFor(openId), 0);  // every request a range

  // Closed ten seconds later: its last take is read, played, and it ends there.
  sim->updateWorld([&](cloudsim::World& w) {
    w.now += 10;
    w.closeRecording(openId, w.now);
  });
  clock.advance(5.0);
  EXPECT_DOUBLE_EQ(item->duration(), 50.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying) << describe(streamer->failureReason());
  clock.advance(10.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay);
  EXPECT_GT(bytesAskedFor(openId), 0);
}

}  // namespace
}  // namespace dk::platform::test

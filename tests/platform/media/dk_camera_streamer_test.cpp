// The camera streamer's contract against real videos from the local cloud: states and their
// callbacks, the token on the wire, frame-accurate seeks and steps, snapshots equal to the
// decoded frame, playback at a rate in virtual time, growing open recordings and failures.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/graphics/image_compare.h"
#include "streamer_fixture.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

using Events = std::vector<std::string>;

bool samePixels(const ImagePtr& a, const ImagePtr& b) {
  if (!a || !b) return false;
  const ImageDifference d = compareImages(*a, *b);
  return d.sameSize && d.maxAbsolute == 0;
}

TEST_F(StreamerTest, AnIdleStreamerIsReadyAndANewItemPreparesThenReportsReady) {
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePaused);
  EXPECT_EQ(streamer->currentItem(), nullptr);

  auto item = DKStreamerItem::itemWithCameraId(cameraId, closedId);
  streamer->setCurrentItem(item);
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusPreparing);  // at once
  ASSERT_TRUE(MainRunLoop::runUntilIdle());

  EXPECT_EQ(recorder->events, (Events{"status:0", "status:1"}));
  EXPECT_EQ(recorder->streamers, (std::vector<const DKCameraStreamer*>{streamer.get(), streamer.get()}));
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay);
  EXPECT_DOUBLE_EQ(item->duration(), 30.0);
  EXPECT_EQ(item->capabilitiesMask() & DKStreamerItemCapabilitySeek, DKStreamerItemCapabilitySeek);
  ASSERT_TRUE(layer->contents());  // the first frame is on the layer
  EXPECT_EQ(layer->contents()->pixelWidth(), 320);

  const auto requests = sim->requestsTo("/media/cameras/" + std::to_string(cameraId) + "/recordings/" +
                                        std::to_string(closedId) + ".mp4");
  ASSERT_FALSE(requests.empty());
  for (const auto& request : requests) {  // range reads of its pieces
    EXPECT_TRUE(request.tls);
    EXPECT_EQ(request.header("Authorization"), "Bearer " + sim->accessToken());
  }

  // The same item again does nothing; clearing returns to idle.
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(recorder->events.size(), 2u);
  EXPECT_EQ(sim->requestsTo(requests[0].path).size(), requests.size());
  streamer->setCurrentItem(nullptr);
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay);
  EXPECT_EQ(streamer->currentItem(), nullptr);
  EXPECT_EQ(streamer->callLog(),
            (Events{"setCurrentItem:" + std::to_string(cameraId) + "/" + std::to_string(closedId),
                    "setCurrentItem:" + std::to_string(cameraId) + "/" + std::to_string(closedId),
                    "setCurrentItem:nil"}));
}

TEST_F(StreamerTest, SeeksLandOnTheFrameOfThatTimeAndSnapshotsAreThatDecodedFrame) {
  prepareClosed();
  auto reference = referenceDecoder(closedId);
  ASSERT_TRUE(reference);
  ASSERT_EQ(reference->frameCount(), 60u);  // two frames a second

  streamer->seekTo(12.3);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 12.3);
  const ImagePtr expected = reference->frameAt(reference->frameIndexAt(12.3));  // the frame of 12.0 s
  EXPECT_TRUE(samePixels(streamer->currentFrame(), expected));
  EXPECT_TRUE(samePixels(layer->contents(), expected));
  // Neighbouring seconds show other clocks, so a frame off by one would be caught.
  EXPECT_FALSE(samePixels(streamer->currentFrame(), reference->frameAt(reference->frameIndexAt(13.0))));
  EXPECT_FALSE(samePixels(streamer->currentFrame(), reference->frameAt(reference->frameIndexAt(11.0))));

  streamer->takeSnapshot();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(recorder->events.back(), "snapshot");
  EXPECT_DOUBLE_EQ(recorder->snapshotTime, 12.3);
  EXPECT_TRUE(samePixels(recorder->snapshot, expected));

  // A seek backwards across a key frame decodes from the earlier key frame.
  streamer->seekTo(3.5);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(samePixels(streamer->currentFrame(), reference->frameAt(7)));
}

TEST_F(StreamerTest, SeeksFasterThanDecodingEndOnTheLastOneAsked) {
  prepareClosed();
  auto reference = referenceDecoder(closedId);
  ASSERT_TRUE(reference);
  EXPECT_DOUBLE_EQ(streamer->currentFrameTime(), 0.0);
  // A scrub: many seeks before the decoder gets a turn; the picture that stays is the last one's.
  for (double t : {3.0, 27.2, 14.1, 22.9, 0.4, 9.6}) streamer->seekTo(t);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_DOUBLE_EQ(streamer->currentFrameTime(), 9.5);
  EXPECT_TRUE(samePixels(streamer->currentFrame(), reference->frameAt(19)));
  EXPECT_TRUE(samePixels(layer->contents(), reference->frameAt(19)));
}

TEST_F(StreamerTest, FrameStepsMoveOneFrameAndStopAtEitherEnd) {
  prepareClosed();
  auto reference = referenceDecoder(closedId);
  ASSERT_TRUE(reference);
  streamer->seekTo(12.3);
  streamer->stepBy(1);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 12.5);
  EXPECT_TRUE(samePixels(streamer->currentFrame(), reference->frameAt(25)));
  streamer->stepBy(-1);
  streamer->stepBy(-1);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 11.5);
  EXPECT_TRUE(samePixels(streamer->currentFrame(), reference->frameAt(23)));

  streamer->seekTo(0);
  streamer->stepBy(-1);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 0.0);
  streamer->seekTo(100);  // the end
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
  streamer->stepBy(-1);  // back from the end onto the last frame, paused
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 29.5);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePaused);
  EXPECT_TRUE(samePixels(streamer->currentFrame(), reference->frameAt(59)));
}

TEST_F(StreamerTest, PlaysAtItsRateOnTheRunLoopClockAndEndsAtTheEnd) {
  prepareClosed();
  recorder->events.clear();
  streamer->setRate(2.0f);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  clock.advance(5.0);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 10.0);
  auto reference = referenceDecoder(closedId);
  ASSERT_TRUE(reference);
  EXPECT_TRUE(samePixels(layer->contents(), reference->frameAt(20)));

  streamer->setRate(0);  // pause keeps the position
  clock.advance(5.0);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 10.0);
  streamer->setRate(10.0f);
  clock.advance(1.0);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 20.0);
  clock.advance(2.0);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 30.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
  EXPECT_EQ(recorder->events, (Events{"playback:2", "playback:0", "playback:2", "playback:3"}));
  EXPECT_TRUE(samePixels(layer->contents(), reference->frameAt(59)));

  // A rate while ended stays at the end; a seek back resumes at that rate.
  streamer->setRate(1.0f);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
  streamer->seekTo(4.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  clock.advance(1.0);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 5.0);
}

// Played in answer to "ready", before any picture is on screen (a hand-off that seeks at once):
// the streamer buffers, its time standing still, and reports playing once the picture at the
// seek is shown, not before.
TEST_F(StreamerTest, PlayingAskedForBeforeAnyPictureIsReportedOnceTheFirstIsShown) {
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return recorder->events.size() == 2; }));  // told it is ready
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  ASSERT_EQ(streamer->currentFrame(), nullptr);
  recorder->events.clear();
  streamer->seekTo(12.0);
  streamer->setRate(1.0f);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateBuffering);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return streamer->playbackState() != DKPlaybackStateBuffering; }));
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  auto reference = referenceDecoder(closedId);
  ASSERT_TRUE(reference);
  EXPECT_TRUE(samePixels(streamer->currentFrame(), reference->frameAt(reference->frameIndexAt(12.0))));
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 12.0) << "the clock started with the picture";
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(recorder->events, (Events{"playback:1", "playback:2"}));
  clock.advance(2.0);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 14.0);
}

TEST_F(StreamerTest, SeeksClampBelowZeroEndPastTheEndAndResumePausedWithoutARate) {
  prepareClosed();
  streamer->seekTo(-7);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 0.0);
  streamer->seekTo(31);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 30.0);
  streamer->seekTo(10);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePaused);
  streamer->setRate(std::numeric_limits<float>::quiet_NaN());  // not a rate: stays paused
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePaused);
  EXPECT_EQ(streamer->rate(), 0.0f);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(recorder->events, (Events{"status:0", "status:1", "playback:3", "playback:0"}));
}

TEST_F(StreamerTest, AnOpenRecordingBuffersAtItsEndAndGrows) {
  auto item = DKStreamerItem::itemWithCameraId(cameraId, openId);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  EXPECT_DOUBLE_EQ(item->duration(), 10.0);
  sim->updateWorld([](cloudsim::World& w) { w.now += 20; });  // twenty more seconds recorded

  recorder->events.clear();
  streamer->setRate(1.0f);
  clock.advance(10.0);  // the end of what was fetched: buffers, fetches again, plays on
  EXPECT_DOUBLE_EQ(item->duration(), 30.0);
  EXPECT_EQ(recorder->events, (Events{"playback:2", "playback:1", "duration:30", "playback:2"}));
  clock.advance(5.0);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 15.0);
}

TEST_F(StreamerTest, FailuresReportFailedWithTheirReason) {
  // Refused by the cloud: no token provider sends "undefined".
  DKAccessTokenProvider::setDelegate({});
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
  ASSERT_TRUE(streamer->failureReason());
  ASSERT_TRUE(streamer->failureReason()->response());
  EXPECT_EQ(streamer->failureReason()->response()->statusCode, 401);
  EXPECT_EQ(recorder->events, (Events{"status:0", "status:2"}));

  // A scripted failure, then a working preparation of another item.
  DKAccessTokenProvider::setDelegate(token);
  auto scripted = Error::make("Test", 9, "scripted");
  StreamerEnvironment::failNextPreparations(1, scripted);
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->failureReason(), scripted);
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay);
  EXPECT_FALSE(streamer->failureReason());

  // The cloud's address in plain http (even on this machine) or another host's: the recording
  // is not asked for, so the token never travels unencrypted or elsewhere.
  const std::string secure = sim->baseUrl();
  ASSERT_EQ(secure.rfind("https://", 0), 0u);
  for (const std::string& base : {"http://" + secure.substr(8), std::string("http://cameras.example.com")}) {
    SCOPED_TRACE(base);
    sim->clearRequests();
    StreamerEnvironment::install({base});
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
    ASSERT_TRUE(streamer->failureReason());
    EXPECT_EQ(streamer->failureReason()->code(), 7);
    EXPECT_TRUE(sim->requestsTo("/media/cameras/" + std::to_string(cameraId) + "/recordings/" +
                                std::to_string(closedId) + ".mp4")
                    .empty());
  }
  StreamerEnvironment::install({secure});

  // A recording the cloud does not have.
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, 999999));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
  EXPECT_EQ(streamer->failureReason()->response()->statusCode, 404);
}

TEST_F(StreamerTest, CallbacksStopOnceTheStreamerIsGone) {
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  streamer.reset();  // the "preparing" callback and the download are still pending
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(recorder->events.empty());
}

TEST_F(StreamerTest, AnItemReplacedWhilePreparingNeverReportsReady) {
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
  auto second = DKStreamerItem::itemWithCameraId(cameraId, openId);
  streamer->setCurrentItem(second);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(recorder->events, (Events{"status:0", "status:0", "status:1"}));
  EXPECT_DOUBLE_EQ(second->duration(), 10.0);
}

TEST_F(StreamerTest, AudioStreamingWithoutACameraOrWithAScriptedFailureStopsWithAReason) {
  streamer->startAudioStreaming();  // no item: no camera to talk to
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->audioStreamingState(), DKAudioStreamingStateStopped);
  EXPECT_TRUE(streamer->audioNotStreamingReason());
  streamer->stopAudioStreaming();  // already stopped: nothing to report
  auto refused = Error::make("Test", 3, "microphone busy");
  StreamerEnvironment::failNextAudioStarts(1, refused);
  streamer->startAudioStreaming();
  EXPECT_EQ(streamer->audioNotStreamingReason(), refused);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(recorder->events, (Events{"audio:0", "audio:0"}));
  EXPECT_EQ(sim->requestCount(), 0u);
}

// A recording whose pictures from a few seconds on do not decode cleanly (its bytes changed on the cloud,
// or were broken there): a seek there leaves the last good picture on screen instead of the
// decoder's grey concealment, a snapshot there is that good picture (a damaged one is never
// delivered to be saved), and a seek back shows the frames that are whole.
TEST_F(StreamerTest, ASeekIntoADamagedStretchKeepsTheGoodPictureAndItsSnapshot) {
  auto whole = referenceDecoder(closedId);
  ASSERT_TRUE(whole);
  const std::string path = *referenceFile->filePath();
  const auto wholeFile = referenceFile;  // kept while `whole` reads it
  std::ifstream in(path, std::ios::binary);
  std::string damaged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  scrambleSamples(damaged, path, 40);  // sound and pictures alternate: a few seconds in
  cloudsim::FaultRule rule = cloudsim::FaultRule::failWith(
      "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(closedId) + ".mp4", 200, damaged);
  rule.contentType = "video/mp4";
  rule.times = 1000;
  sim->addFault(rule);
  auto reference = referenceDecoder(closedId);  // the damaged file as served
  ASSERT_TRUE(reference);

  size_t firstDamaged = 0;
  while (firstDamaged < reference->frameCount() && reference->frameAt(firstDamaged)) ++firstDamaged;
  ASSERT_GT(firstDamaged, 4u);
  ASSERT_LT(firstDamaged, 50u);

  prepareClosed();  // its first frame is whole
  const double goodTime = reference->frameTimes()[firstDamaged / 2];
  streamer->seekTo(goodTime);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  const ImagePtr good = streamer->currentFrame();
  ASSERT_TRUE(samePixels(good, whole->frameAt(firstDamaged / 2)));
  streamer->seekTo(25.0);
  streamer->takeSnapshot();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  EXPECT_TRUE(samePixels(streamer->currentFrame(), good)) << "the last good picture stays";
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 25.0);
  EXPECT_TRUE(samePixels(recorder->snapshot, good)) << "the snapshot is the picture on screen";
  EXPECT_DOUBLE_EQ(recorder->snapshotTime, goodTime);
  EXPECT_FALSE(reference->frameAt(50)) << "the frame of 25 s is damaged";

  streamer->seekTo(reference->frameTimes()[1]);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(samePixels(streamer->currentFrame(), whole->frameAt(1)));
}

}  // namespace
}  // namespace dk::platform::test

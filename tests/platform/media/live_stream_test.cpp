// A camera's live view and push-to-talk through the camera streamer, against the local cloud over
// HTTPS in virtual time: the first picture, playing along the camera's clock, pausing that stops
// the fetching, playlists that must not lead elsewhere, and the talk the cloud receives.
#include "platform/media/live_stream_source.h"
#include "platform/media/talk_uplink.h"
#include "streamer_fixture.h"

namespace dk::platform::test {
namespace {

using Events = std::vector<std::string>;

class LiveStreamTest : public StreamerTest {
 protected:
  std::string livePath(const std::string& file) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/live/" + file;
  }
  size_t liveRequests() const {
    size_t count = 0;
    for (const auto& r : sim->requests()) count += r.path.rfind(livePath(""), 0) == 0;
    return count;
  }
  // The camera's clock and ours move on together.
  void secondsPass(double seconds) {
    sim->updateWorld([&](cloudsim::World& w) { w.now += seconds; });
    clock.advance(seconds);
  }
  void startLive() {
    item = DKStreamerItem::itemWithCameraId(cameraId);
    streamer->setCurrentItem(item);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
  }
  // The world's now is 1700000000: the newest whole two-second segment starts 2 s before.
  static constexpr double kNewestSegmentStart = 1699999998.0;
  DKStreamerItemPtr item;
};

TEST_F(LiveStreamTest, ALiveItemShowsItsNewestPictureThenFollowsTheCameraAndPausingStopsTheStream) {
  startLive();
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  EXPECT_EQ(recorder->events, (Events{"status:0", "status:1"}));
  ASSERT_TRUE(layer->contents());
  EXPECT_EQ(layer->contents()->pixelWidth(), 320);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), kNewestSegmentStart);  // the camera's clock, not 0
  EXPECT_EQ(item->capabilitiesMask() & DKStreamerItemCapabilitySeek, 0u);
  streamer->seekTo(5);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), kNewestSegmentStart);

  const auto playlist = sim->requestsTo(livePath("index.m3u8"));
  const auto segment = sim->requestsTo(livePath("849999999.ts"));
  ASSERT_EQ(playlist.size(), 1u);
  ASSERT_EQ(segment.size(), 1u);  // joined at the live edge, not at the oldest listed
  for (const auto& r : {playlist[0], segment[0]}) {
    EXPECT_TRUE(r.tls);
    EXPECT_EQ(r.header("Authorization"), "Bearer " + sim->accessToken());
  }

  streamer->setRate(1);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  const ImagePtr first = layer->contents();
  clock.advance(1.0);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), kNewestSegmentStart + 1.0);
  EXPECT_NE(layer->contents(), first);

  // The camera records on: the next segment is fetched and played.
  secondsPass(2.0);
  clock.advance(1.0);
  EXPECT_EQ(sim->requestsTo(livePath("850000000.ts")).size(), 1u);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  EXPECT_GE(streamer->currentTime(), 1700000000.0);

  // Pausing stops the stream: time passes, nothing more is asked for.
  streamer->setRate(0);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePaused);
  const size_t asked = liveRequests();
  secondsPass(10.0);
  EXPECT_EQ(liveRequests(), asked);

  // Snapshots of a live view are the picture on screen.
  streamer->takeSnapshot();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(recorder->snapshot, layer->contents());
  EXPECT_DOUBLE_EQ(recorder->snapshotTime, streamer->currentTime());

  // Clearing the item lets the stream go for good.
  streamer->setCurrentItem(nullptr);
  secondsPass(4.0);
  EXPECT_EQ(liveRequests(), asked);
}

TEST_F(LiveStreamTest, APlaylistThatLeadsElsewhereOrIsTooLargeFailsWithoutFetchingIt) {
  cloudsim::FaultRule elsewhere = cloudsim::FaultRule::failWith(
      livePath("index.m3u8"), 200,
      "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:1\n#EXTINF:2.0,\nhttps://elsewhere.example/1.ts\n");
  elsewhere.contentType = "application/x-mpegurl";
  sim->addFault(elsewhere);
  startLive();
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
  ASSERT_TRUE(streamer->failureReason());
  EXPECT_NE(streamer->failureReason()->description().find("outside the stream"), std::string::npos);
  EXPECT_EQ(liveRequests(), 1u);

  cloudsim::FaultRule huge = cloudsim::FaultRule::failWith(livePath("index.m3u8"), 200,
                                                            "#EXTM3U\n" + std::string(100 * 1024, '#'));
  huge.contentType = "application/x-mpegurl";
  sim->addFault(huge);
  startLive();
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
  EXPECT_EQ(recorder->events, (Events{"status:0", "status:2", "status:0", "status:2"}));

  // A segment that is not video fails the item too, and nothing broken reaches the layer.
  cloudsim::FaultRule garbage = cloudsim::FaultRule::failWith(livePath("849999999.ts"), 200, std::string(4000, 'x'));
  garbage.contentType = "video/mp2t";
  sim->addFault(garbage);
  startLive();
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
  EXPECT_FALSE(layer->contents());
}

TEST_F(LiveStreamTest, TheTokenGoesOnlyToTheCloudOverHttps) {
  StreamerEnvironment::install({"http://127.0.0.1:" + std::to_string(sim->port())});
  startLive();
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
  streamer->startAudioStreaming();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->audioStreamingState(), DKAudioStreamingStateStopped);
  EXPECT_TRUE(streamer->audioNotStreamingReason());
  EXPECT_EQ(sim->requestCount(), 0u);
}

TEST_F(LiveStreamTest, APlaylistOrATalkPostTheCloudHoldsEndsAtItsDeadline) {
  sim->addFault(cloudsim::FaultRule::hold(livePath("index.m3u8")));
  item = DKStreamerItem::itemWithCameraId(cameraId);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(sim->waitForHeld(1));
  clock.clock().advance(LiveStreamSource::Limits().playlistDeadline + 0.5);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return streamer->status() == DKCameraStreamerStatusFailed; }));
  EXPECT_EQ(streamer->failureReason()->code(), kURLErrorTimedOut);
  sim->release();

  startLive();
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  sim->addFault(cloudsim::FaultRule::hold("/media/cameras/" + std::to_string(cameraId) + "/talk"));
  streamer->startAudioStreaming();
  ASSERT_TRUE(sim->waitForHeld(1));
  clock.clock().advance(TalkUplink::kPostDeadline + 0.5);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return streamer->audioStreamingState() == DKAudioStreamingStateStopped; }));
  ASSERT_TRUE(streamer->audioNotStreamingReason());
  EXPECT_EQ(streamer->audioNotStreamingReason()->code(), kURLErrorTimedOut);
  sim->release();
}

TEST_F(LiveStreamTest, PushToTalkSendsTheToneTheCloudReceivesAndARefusalStopsItWithTheReason) {
  startLive();
  streamer->startAudioStreaming();
  EXPECT_EQ(streamer->audioStreamingState(), 1u);  // asked, not yet taken
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->audioStreamingState(), DKAudioStreamingStateStreaming);
  clock.advance(1.0);  // the tone goes on for a second
  streamer->stopAudioStreaming();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->audioStreamingState(), DKAudioStreamingStateStopped);
  EXPECT_FALSE(streamer->audioNotStreamingReason());
  EXPECT_EQ(recorder->events, (Events{"status:0", "status:1", "audio:1", "audio:2", "audio:0"}));

  auto talks = sim->world().talks;
  ASSERT_EQ(talks.size(), 1u);
  EXPECT_EQ(talks[0].cameraId, cameraId);
  EXPECT_TRUE(talks[0].ended);
  EXPECT_DOUBLE_EQ(talks[0].seconds(), 1.0);
  EXPECT_NEAR(talks[0].toneHz, 440.0, 2.0);
  for (const auto& r : sim->requests()) {
    if (r.path.find("/talk") != std::string::npos) {
      EXPECT_EQ(r.header("Authorization"), "Bearer " + sim->accessToken());
    }
  }

  // The cloud refuses the next talk: the state returns to stopped with the reason.
  sim->addFault(cloudsim::FaultRule::failWith("/media/cameras/" + std::to_string(cameraId) + "/talk", 403));
  recorder->events.clear();
  streamer->startAudioStreaming();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->audioStreamingState(), DKAudioStreamingStateStopped);
  ASSERT_TRUE(streamer->audioNotStreamingReason());
  EXPECT_EQ(recorder->events, (Events{"audio:1", "audio:0"}));
  EXPECT_EQ(sim->world().talks.size(), 1u);
}

}  // namespace
}  // namespace dk::platform::test

// A camera's live view and push-to-talk through the camera streamer, against the local cloud over
// HTTPS in virtual time: the first picture, playing along the camera's clock, pausing that stops
// the fetching, playlists that must not lead elsewhere, and the talk the cloud receives.
#include <cmath>
#include <fstream>
#include <iterator>

#include "platform/media/live/live_segment_decoder.h"
#include "platform/media/live/live_stream_source.h"
#include "platform/media/live/talk_uplink.h"
#include "streamer_fixture.h"
#include "support/temp_directory.h"
#include "test_videos.h"

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

  // A live source of the camera on its own, with what it reported.
  struct SourceRecord {
    std::vector<double> times;
    ImagePtr last;
    ErrorPtr error;
  };
  std::shared_ptr<LiveStreamSource> liveSource(SourceRecord& r) {
    LiveStreamSource::Listener listener;
    listener.frame = [&r](const ImagePtr& image, double time) {
      r.last = image;
      r.times.push_back(time);
    };
    listener.failed = [&r](const ErrorPtr& error) { r.error = error; };
    return LiveStreamSource::create(cameraId, sim->baseUrl(), std::move(listener));
  }
  struct TalkRecord {
    int started = 0, ended = 0;
    ErrorPtr error;
  };
  std::shared_ptr<TalkUplink> talkUplink(TalkRecord& r) {
    TalkUplink::Listener listener;
    listener.started = [&r] { ++r.started; };
    listener.ended = [&r](const ErrorPtr& error) {
      ++r.ended;
      r.error = error;
    };
    return TalkUplink::create(cameraId, sim->baseUrl(), std::move(listener));
  }
  // The newest segment served in place of the cloud's.
  void serveNewestSegment(std::string body) {
    cloudsim::FaultRule rule = cloudsim::FaultRule::failWith(livePath("849999999.ts"), 200, std::move(body));
    rule.contentType = "video/mp2t";
    sim->addFault(rule);
  }
  std::string talkPath() const { return "/media/cameras/" + std::to_string(cameraId) + "/talk"; }
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
      "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:1\n#EXTINF:2.0,\nhttp://elsewhere.example/1.ts\n");
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

TEST_F(LiveStreamTest, ACamerasStreamIsDecodedAsItPlaysAndASegmentPastTheBoundsIsRefused) {
  sim->updateWorld([](cloudsim::World& w) { w.videoQuality = cloudsim::World::VideoQuality::Hd720; });
  SourceRecord r;
  auto source = liveSource(r);
  source->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_FALSE(r.error) << describe(r.error);
  ASSERT_TRUE(r.last);
  EXPECT_EQ(r.last->pixelWidth(), 1280);
  EXPECT_EQ(r.last->pixelHeight(), 720);

  // Played through at 25 pictures a second, with only a few decoded ahead at any time.
  source->setPlaying(true);
  for (int i = 0; i < 50; ++i) clock.advance(0.04);
  EXPECT_FALSE(r.error) << describe(r.error);
  EXPECT_GE(r.times.size(), 45u);
  EXPECT_TRUE(std::is_sorted(r.times.begin(), r.times.end()));
  const int64_t picture = int64_t{1280} * 720 * 4;
  EXPECT_GT(source->peakQueuedPictureBytes(), 0);
  EXPECT_LE(source->peakQueuedPictureBytes(), 6 * picture);  // the segment has 50
  source->stop();

  // A small segment of huge pictures is refused, not shown as live.
  dk::test::TemporaryDirectory folder;
  TestVideoOptions huge;
  huge.encoder = "mpeg4";
  huge.bFrames = 0;
  huge.width = huge.height = 4096;
  huge.frames = 2;
  huge.container = "mpegts";
  const std::string path = (folder.path() / "huge.ts").string();
  std::string why;
  ASSERT_TRUE(writeTestVideo(path, huge, &why)) << why;
  std::ifstream in(path, std::ios::binary);
  serveNewestSegment(std::string(std::istreambuf_iterator<char>(in), {}));
  startLive();
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
  ASSERT_TRUE(streamer->failureReason());
  EXPECT_NE(streamer->failureReason()->description().find("out of bounds"), std::string::npos)
      << describe(streamer->failureReason());
  EXPECT_FALSE(layer->contents());
}

TEST_F(LiveStreamTest, ASegmentIsFetchedUpToItsCapAndNoFurther) {
  struct Row {
    size_t bytes;
    int64_t code;  // 13: fetched, then not playable; 11: more than a segment may be
  };
  const int64_t cap = LiveStreamSource::Limits().maxSegmentBytes(2.0);  // the cloud's segments are 2 s
  for (const Row& row : {Row{static_cast<size_t>(cap), 13}, Row{static_cast<size_t>(cap) + 1, 11}}) {
    SCOPED_TRACE(row.bytes);
    serveNewestSegment(std::string(row.bytes, 'x'));
    startLive();
    EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
    ASSERT_TRUE(streamer->failureReason());
    EXPECT_EQ(streamer->failureReason()->code(), row.code) << describe(streamer->failureReason());
  }
}

TEST_F(LiveStreamTest, ALongLiveViewOrTalkHoldsOnlyTheCallsInFlight) {
  SourceRecord r;
  auto source = liveSource(r);
  source->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  source->setPlaying(true);
  for (int i = 0; i < 30; ++i) secondsPass(2.0);  // a minute of live video
  EXPECT_FALSE(r.error) << describe(r.error);
  EXPECT_GE(source->fetchCount(), 60);
  EXPECT_LE(source->heldCallCount(), 2u);

  TalkRecord t;
  auto talk = talkUplink(t);
  talk->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  for (int i = 0; i < 240; ++i) clock.advance(TalkUplink::kChunkSeconds);  // a minute of talking
  EXPECT_EQ(t.started, 1);
  EXPECT_EQ(t.ended, 0);
  EXPECT_GE(sim->world().talks.back().chunks, 240);
  EXPECT_LE(talk->heldCallCount(), 2u);
}

TEST_F(LiveStreamTest, ACameraThatRestartsItsStreamIsRejoinedAndAStreamThatShowsNothingNewFails) {
  startLive();
  streamer->setRate(1);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  secondsPass(2.0);
  ASSERT_EQ(sim->requestsTo(livePath("850000000.ts")).size(), 1u);

  // The camera restarts its stream: its segment numbers (and times) go back by an hour.
  sim->updateWorld([](cloudsim::World& w) { w.now -= 3600; });
  secondsPass(2.0);
  const auto restarted = static_cast<int64_t>(std::floor(sim->world().now / 2)) - 1;
  EXPECT_EQ(sim->requestsTo(livePath(std::to_string(restarted) + ".ts")).size(), 1u);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), static_cast<double>(restarted) * 2);
  clock.advance(1.0);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), static_cast<double>(restarted) * 2 + 1.0);

  // Now the camera sends nothing new: the view buffers, then fails within a bounded time.
  double waited = 0;
  while (streamer->status() != DKCameraStreamerStatusFailed && waited < 60) {
    clock.advance(1.0);
    waited += 1.0;
  }
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
  EXPECT_LE(waited, LiveStreamSource::Limits().stallSeconds + 2);
  EXPECT_EQ(streamer->failureReason()->code(), kURLErrorTimedOut);
}

TEST_F(LiveStreamTest, TheStreamersCallsFollowNoRedirectOffTheCloudsOrigin) {
  const std::string port = std::to_string(sim->port());
  const std::string elsewhere = "https://localhost:" + port;  // the same server, another origin
  struct Row {
    const char* what;
    std::string from, to;
    bool live;      // the live playlist, else the talk's opening post
    bool followed;
  };
  const Row rows[] = {
      {"the talk to another host", talkPath(), elsewhere + talkPath() + "/voice", false, false},
      {"the playlist to another host", livePath("index.m3u8"), elsewhere + livePath("elsewhere.m3u8"), true, false},
      {"the talk within the cloud", talkPath(), sim->baseUrl() + talkPath(), false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    cloudsim::FaultRule redirect = cloudsim::FaultRule::failWith(row.from, row.live ? 302 : 307);
    redirect.headers = {{"Location", row.to}};
    sim->addFault(redirect);
    const size_t before = sim->requests().size();
    ErrorPtr error;
    if (row.live) {
      startLive();
      EXPECT_EQ(streamer->status() == DKCameraStreamerStatusReadyToPlay, row.followed);
      error = streamer->failureReason();
    } else {
      TalkRecord t;
      auto talk = talkUplink(t);
      talk->start();
      ASSERT_TRUE(MainRunLoop::runUntilIdle());
      EXPECT_EQ(t.started, row.followed ? 1 : 0);
      EXPECT_EQ(t.ended, row.followed ? 0 : 1);
      error = t.error;
      talk->cancel();
    }
    if (row.followed) {
      EXPECT_FALSE(error) << describe(error);
    } else {
      ASSERT_TRUE(error);
      EXPECT_EQ(error->code(), kURLErrorAppTransportSecurityRequiresSecureConnection) << describe(error);
    }
    const auto requests = sim->requests();
    size_t offOrigin = 0;
    for (size_t i = before; i < requests.size(); ++i) offOrigin += requests[i].header("Host").rfind("localhost", 0) == 0;
    EXPECT_EQ(offOrigin, 0u);  // the voice (or the call) never reached the other host
  }
}

// The talk's own rules: a late timer sends at most two seconds at once, stopping sends the end,
// and a talk released before the cloud opened it ends once it is opened, without starting.
TEST_F(LiveStreamTest, ATalkCatchesUpAtMostTwoSecondsAndEndsWhenReleasedEvenBeforeItIsOpened) {
  TalkRecord t;
  auto talk = talkUplink(t);
  talk->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(t.started, 1);
  clock.advance(10.0);  // the run loop was busy for ten seconds
  talk->stop();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(t.ended, 1);
  EXPECT_FALSE(t.error) << describe(t.error);
  ASSERT_EQ(sim->world().talks.size(), 1u);
  EXPECT_TRUE(sim->world().talks[0].ended);
  EXPECT_DOUBLE_EQ(sim->world().talks[0].seconds(), TalkUplink::kChunkSeconds + 2.0);

  // Released while the cloud has not answered the opening yet.
  sim->addFault(cloudsim::FaultRule::hold(talkPath()));
  recorder->events.clear();
  startLive();
  streamer->startAudioStreaming();
  ASSERT_TRUE(sim->waitForHeld(1));
  streamer->stopAudioStreaming();
  sim->release();
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return streamer->audioStreamingState() == DKAudioStreamingStateStopped; }));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(recorder->events, (Events{"status:0", "status:1", "audio:1", "audio:0"}));
  EXPECT_FALSE(streamer->audioNotStreamingReason());
  ASSERT_EQ(sim->world().talks.size(), 2u);
  EXPECT_TRUE(sim->world().talks[1].ended);
}

}  // namespace
}  // namespace dk::platform::test

// An open recording that grows while it plays: the streamer keeps what it read of the earlier
// take, reads only the new part and the new index, plays on into the new part frame for frame,
// and a seek past what it has fetched goes there. A take the cloud rewrote is not mixed with
// the old one. Waiting at the end for more: commands still work, a close ends playback, a
// failing or shrinking recording fails the item, and an abandoned wait leaves nothing running.
#include <cstdio>
#include <functional>

#include "streamer_fixture.h"

namespace dk::platform::test {
namespace {

constexpr int64_t kChunk = 4096;

// Where the media box of an MP4 file ends (its index follows); 0 when there is none.
int64_t mediaEndOf(const std::string& file) {
  size_t at = 0;
  while (at + 8 <= file.size()) {
    uint64_t size = 0;
    for (size_t i = 0; i < 4; ++i) size = (size << 8) | static_cast<uint8_t>(file[at + i]);
    if (size < 8) return 0;
    if (file.compare(at + 4, 4, "mdat") == 0) return static_cast<int64_t>(at + size);
    at += size;
  }
  return 0;
}

class GrowingRecordingTest : public StreamerTest {
 protected:
  void SetUp() override {
    StreamerTest::SetUp();
    StreamerEnvironment environment{sim->baseUrl()};
    environment.limits.chunkBytes = kChunk;
    StreamerEnvironment::install(environment);
    sim->updateWorld([](cloudsim::World& w) { w.now += 30; });  // forty seconds recorded so far
  }
  std::string path() const {
    return "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(openId) + ".mp4";
  }
  // Body bytes the cloud sent for `requests`, ranges of a file of `size`; -1 when one asked for
  // the whole file.
  static int64_t bytesServed(const std::vector<cloudsim::RecordedRequest>& requests, int64_t size) {
    int64_t sum = 0;
    for (const auto& r : requests) {
      long long a = 0, b = 0;
      if (std::sscanf(r.header("Range").c_str(), "bytes=%lld-%lld", &a, &b) != 2) return -1;
      sum += std::min<int64_t>(b, size - 1) - a + 1;
    }
    return sum;
  }
  // The recording as the cloud has it now: its bytes in `file`, decoded independently.
  std::unique_ptr<VideoDecoder> currentTake(std::string& file) {
    auto decoder = referenceDecoder(openId);
    if (referenceFile) file = referenceFile->bytes();
    return decoder;
  }
  void play(double seconds) {
    for (double t = 0; t < seconds - 1e-9; t += 0.5) clock.advance(std::min(0.5, seconds - t));
  }
  // Prepares the open recording and plays it to the end of what has been recorded, where it
  // waits for more.
  void playToTheEnd() {
    item = DKStreamerItem::itemWithCameraId(cameraId, openId);
    streamer->setCurrentItem(item);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
    streamer->setRate(1.0f);
    play(item->duration() + 0.5);
    ASSERT_EQ(streamer->playbackState(), DKPlaybackStateBuffering);
    ASSERT_DOUBLE_EQ(streamer->currentTime(), item->duration());
  }
  void expectShowing(VideoDecoder& take, const char* where) {
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    const double t = streamer->currentTime();
    EXPECT_TRUE(sameFrame(streamer->currentFrame(), take.frameAt(take.frameIndexAt(t))))
        << where << ": the frame at " << t << " s is not the cloud's";
  }

  DKStreamerItemPtr item;
};

TEST_F(GrowingRecordingTest, AGrowthReadsOnlyTheNewPartAndIndexAndPlaysOnFrameForFrame) {
  std::string before;
  ASSERT_TRUE(currentTake(before));
  const int64_t oldMediaEnd = mediaEndOf(before);
  ASSERT_GT(oldMediaEnd, 0);
  ASSERT_GT(static_cast<int64_t>(before.size()), 20 * kChunk) << "a recording of many pieces";

  item = DKStreamerItem::itemWithCameraId(cameraId, openId);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  ASSERT_DOUBLE_EQ(item->duration(), 40.0);
  streamer->setRate(1.0f);
  play(38.0);

  // Six more seconds are recorded while the last two play; playback reaches the end, finds the
  // longer take and goes on.
  sim->updateWorld([](cloudsim::World& w) { w.now += 6; });
  sim->clearRequests();
  play(4.0);
  EXPECT_DOUBLE_EQ(item->duration(), 46.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying) << describe(streamer->failureReason());
  const auto afterGrowth = sim->requestsTo(path());
  std::string grown;
  auto take = currentTake(grown);
  ASSERT_TRUE(take);
  const auto size = static_cast<int64_t>(grown.size());
  const int64_t received = bytesServed(afterGrowth, size);
  // The new media and the new index, and the first and the last bytes kept read again to check
  // them (the media's new size is in the first): far less than the file.
  const int64_t newPartAndIndex = size - oldMediaEnd;
  std::printf("  after the growth: %zu requests, %lld bytes; new part and index %lld of %lld bytes\n",
              afterGrowth.size(), static_cast<long long>(received), static_cast<long long>(newPartAndIndex),
              static_cast<long long>(size));
  EXPECT_GT(received, newPartAndIndex / 2);
  EXPECT_LE(received, newPartAndIndex + 4 * kChunk);
  EXPECT_LT(received, size / 4);
  expectShowing(*take, "into the new part");

  // What was played before the growth is still held: seeking back there reads nothing.
  sim->clearRequests();
  streamer->seekTo(3.0);
  expectShowing(*take, "back in the earlier take");
  streamer->seekTo(39.5);
  expectShowing(*take, "where the earlier take ended");
  EXPECT_EQ(sim->requestsTo(path()).size(), 0u);

  // Recorded on again: a seek past everything fetched asks for the longer take and plays there.
  sim->updateWorld([](cloudsim::World& w) { w.now += 8; });
  streamer->seekTo(50.0);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_DOUBLE_EQ(item->duration(), 54.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 50.0);
  take = currentTake(grown);
  ASSERT_TRUE(take);
  expectShowing(*take, "past the fetched end");
  play(2.5);
  expectShowing(*take, "playing on");
}

TEST_F(GrowingRecordingTest, ATakeTheCloudRewroteIsReadAnewNotMixedWithTheOldOne) {
  item = DKStreamerItem::itemWithCameraId(cameraId, openId);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  streamer->setRate(1.0f);
  play(38.0);

  // The camera is renamed and the cloud makes the longer take afresh: the same layout, the same
  // length of header, other pictures from the first frame on.
  sim->updateWorld([&](cloudsim::World& w) {
    w.now += 6;
    for (auto& camera : w.cameras)
      if (camera.cameraId == cameraId) camera.name += " (renamed)";
  });
  play(2.5);
  EXPECT_DOUBLE_EQ(item->duration(), 46.0);
  std::string rewritten;
  auto take = currentTake(rewritten);
  ASSERT_TRUE(take);
  expectShowing(*take, "into the new part");
  streamer->seekTo(3.0);
  expectShowing(*take, "back in what was the earlier take");
  streamer->seekTo(39.0);
  expectShowing(*take, "where the earlier take ended");
}

TEST_F(GrowingRecordingTest, WhileWaitingForMoreASeekStepOrPauseTakesEffectAtOnce) {
  struct Case {
    const char* command;
    std::function<void(DKCameraStreamer&)> run;
    uint64_t playback;       // at once
    double secondsBack;      // how far before the end it then shows (a step: one frame, 0.5 s)
    double afterGrowth;      // where it is 4 s after six more seconds were recorded
  };
  const std::vector<Case> cases = {
      {"seekTo:5 while playing", [](DKCameraStreamer& s) { s.seekTo(5.0); }, DKPlaybackStatePlaying, -1, 9.0},
      {"stepBy:-1", [](DKCameraStreamer& s) { s.stepBy(-1); }, DKPlaybackStatePaused, 0.5, -1},
      {"setRate:0", [](DKCameraStreamer& s) { s.setRate(0); }, DKPlaybackStatePaused, 0.0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    playToTheEnd();
    const double end = item->duration();
    c.run(*streamer);
    EXPECT_EQ(streamer->playbackState(), c.playback);
    const double expected = c.secondsBack >= 0 ? end - c.secondsBack : 5.0;
    EXPECT_DOUBLE_EQ(streamer->currentTime(), expected);
    std::string file;
    auto take = currentTake(file);
    ASSERT_TRUE(take);
    expectShowing(*take, "at once");

    // Nothing waits any more: the growth is found only when playback gets there again.
    sim->updateWorld([](cloudsim::World& w) { w.now += 6; });
    play(4.0);
    EXPECT_DOUBLE_EQ(streamer->currentTime(), c.afterGrowth >= 0 ? c.afterGrowth : expected);
    EXPECT_EQ(streamer->playbackState(), c.playback);
  }
}

TEST_F(GrowingRecordingTest, ARecordingClosedAtTheLengthReadEndsThere) {
  playToTheEnd();
  recorder->events.clear();
  sim->updateWorld([&](cloudsim::World& w) { w.closeRecording(openId, w.now); });
  sim->clearRequests();
  play(120.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), item->duration());
  EXPECT_EQ(recorder->events, std::vector<std::string>{"playback:3"});
  EXPECT_EQ(sim->requestsTo(path()).size(), 1u) << "one size probe learns the close";
  // Played again from the start, it ends at its end without asking the cloud again.
  streamer->seekTo(item->duration() - 1.0);
  play(2.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
  EXPECT_EQ(sim->requestsTo(path()).size(), 1u);
}

TEST_F(GrowingRecordingTest, AProbeThatFailsOrFindsTheRecordingShrunkFailsTheItem) {
  struct Case {
    const char* what;
    std::function<void(cloudsim::CloudSim&, const std::string&)> hostile;
    bool unanswered = false;  // fails at the transfer's deadline
  };
  const std::vector<Case> cases = {
      {"server error", [](cloudsim::CloudSim& sim, const std::string& p) {
         auto rule = cloudsim::FaultRule::failWith(p, 500);
         rule.times = 100;
         sim.addFault(rule);
       }},
      {"gone", [](cloudsim::CloudSim& sim, const std::string& p) {
         auto rule = cloudsim::FaultRule::failWith(p, 404);
         rule.times = 100;
         sim.addFault(rule);
       }},
      {"connection dropped", [](cloudsim::CloudSim& sim, const std::string& p) {
         auto rule = cloudsim::FaultRule::drop(p);
         rule.times = 100;
         sim.addFault(rule);
       }},
      {"a range that is not the one asked for", [](cloudsim::CloudSim& sim, const std::string& p) {
         auto rule = cloudsim::FaultRule::failWith(p, 206, "xx");
         rule.times = 100;
         rule.contentType = "video/mp4";
         rule.headers = {{"Content-Range", "bytes 5-6/999999"}, {"X-Recording-Open", "true"}};
         sim.addFault(rule);
       }},
      {"shrunk", [](cloudsim::CloudSim& sim, const std::string&) {
         sim.updateWorld([](cloudsim::World& w) { w.now -= 5; });
       }},
      {"no answer", [](cloudsim::CloudSim& sim, const std::string& p) {
         auto rule = cloudsim::FaultRule::hold(p);
         rule.times = 100;
         sim.addFault(rule);
       }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    playToTheEnd();
    recorder->events.clear();
    c.hostile(*sim, path());
    if (c.unanswered) {
      clock.clock().advance(3.0);  // the next probe goes out and gets no answer
      MainRunLoop::runPending();
      ASSERT_TRUE(sim->waitForHeld(1));
      clock.clock().advance(26.0);
      ASSERT_TRUE(MainRunLoop::runUntil([&] { return streamer->status() == DKCameraStreamerStatusFailed; }));
      ASSERT_TRUE(MainRunLoop::runUntilIdle());
    } else {
      play(4.0);
    }
    EXPECT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
    EXPECT_TRUE(streamer->failureReason());
    EXPECT_EQ(std::count(recorder->events.begin(), recorder->events.end(), "status:2"), 1);
    sim->clearFaults();
    sim->release();
    streamer->setCurrentItem(nullptr);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    sim->updateWorld([](cloudsim::World& w) { w.now += 10; });
  }
}

// While a size probe is out, playback asking for more again (a seek past the end, playing into
// the end once more) sends no second probe: the answer of the one out serves them all.
TEST_F(GrowingRecordingTest, OneGrowthProbeIsOutAtATime) {
  playToTheEnd();
  const double end = item->duration();
  sim->addFault(cloudsim::FaultRule::hold(path()));
  sim->clearRequests();
  clock.clock().advance(3.0);  // the next probe goes out and is held
  MainRunLoop::runPending();
  ASSERT_TRUE(sim->waitForHeld(1));
  // The decode queue waits behind the probe meanwhile: only the run loop's own work is pumped.
  for (int i = 0; i < 3; ++i) {
    streamer->seekTo(end + 5.0);
    streamer->stepBy(-1);
    streamer->setRate(1.0f);
    for (int tick = 0; tick < 10; ++tick) {
      clock.clock().advance(0.1);
      MainRunLoop::runPending();
    }
    ASSERT_EQ(streamer->playbackState(), DKPlaybackStateBuffering);
  }
  sim->clearFaults();
  sim->release();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(sim->requestsTo(path()).size(), 1u) << "one probe, answered once for every wait";
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  // Still waiting: the next probe goes out on its own time, and finds the growth.
  sim->updateWorld([](cloudsim::World& w) { w.now += 6; });
  play(3.5);
  EXPECT_GT(item->duration(), end);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
}

TEST_F(GrowingRecordingTest, AnAbandonedWaitForMoreEndsItsTransfersAndAsksNoMore) {
  enum class Moment { ProbeUnanswered, BetweenProbes };
  enum class Leave { NewItem, NoItem, StreamerGone };
  for (Moment moment : {Moment::ProbeUnanswered, Moment::BetweenProbes}) {
    for (Leave leave : {Leave::NewItem, Leave::NoItem, Leave::StreamerGone}) {
      SCOPED_TRACE(testing::Message() << "moment " << static_cast<int>(moment) << ", leave " << static_cast<int>(leave));
      if (!streamer) {
        streamer = DKCameraStreamer::initWithLayer(layer);
        streamer->setDelegate(recorder);
      }
      playToTheEnd();  // the first probe found nothing new
      if (moment == Moment::ProbeUnanswered) {
        sim->addFault(cloudsim::FaultRule::hold(path()));
        clock.clock().advance(3.0);
        MainRunLoop::runPending();
        ASSERT_TRUE(sim->waitForHeld(1));
      }
      auto next = DKStreamerItem::itemWithCameraId(cameraId, closedId);
      if (leave == Leave::NewItem) streamer->setCurrentItem(next);
      if (leave == Leave::NoItem) streamer->setCurrentItem(nullptr);
      if (leave == Leave::StreamerGone) streamer.reset();
      // The decode queue is not stuck behind the unanswered probe: the next item prepares.
      ASSERT_TRUE(MainRunLoop::runUntilIdle(10));
      if (leave == Leave::NewItem) {
        EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
        EXPECT_GT(next->duration(), 0);
      }
      sim->clearFaults();
      sim->release();
      sim->clearRequests();
      sim->updateWorld([](cloudsim::World& w) { w.now += 6; });
      play(30.0);
      EXPECT_TRUE(sim->requestsTo(path()).empty()) << "the abandoned recording is asked for nothing";
    }
  }
}

}  // namespace
}  // namespace dk::platform::test

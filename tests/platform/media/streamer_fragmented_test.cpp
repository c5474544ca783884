// A fragmented recording (as many cameras upload) with or without an index of its fragments:
// the streamer shows its first picture after the same few requests whatever its length, reads
// the fragments' headers as playback and seeks need them, and plays, seeks and ends frame for
// frame where a local copy of the whole file does.
#include <algorithm>

#include "streamer_fixture.h"

namespace dk::platform::test {
namespace {

constexpr int64_t kPieceBytes = 4096;

class FragmentedRecordingTest : public StreamerTest {
 protected:
  void SetUp() override {
    StreamerTest::SetUp();
    StreamerEnvironment environment{sim->baseUrl()};
    environment.limits.chunkBytes = kPieceBytes;
    StreamerEnvironment::install(environment);
  }
  std::string path(int64_t recordingId) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(recordingId) + ".mp4";
  }
  // A closed recording of `seconds`, recorded before the fixture's.
  int64_t recordingOf(double seconds) {
    int64_t id = 0;
    sim->updateWorld([&](cloudsim::World& w) {
      const double start = kStart - 4000 - seconds;
      id = w.startRecording(cameraId, start);
      w.closeRecording(id, start + seconds);
    });
    return id;
  }
  void advance(double seconds) {
    for (double t = 0; t < seconds - 1e-9; t += 0.5) {
      clock.advance(std::min(0.5, seconds - t));
      ASSERT_TRUE(MainRunLoop::runUntilIdle());
    }
  }
  void expectShowing(VideoDecoder& whole, const std::string& where) {
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    const double t = streamer->currentTime();
    EXPECT_TRUE(sameFrame(streamer->currentFrame(), whole.frameAt(whole.frameIndexAt(t))))
        << where << ": the frame at " << t << " s is not the file's";
  }
};

TEST_F(FragmentedRecordingTest, OpensAtACostThatDoesNotGrowWithItsLengthAndPlaysToItsEnd) {
  struct Case {
    const char* what;
    const char* movflags;
  };
  const std::vector<Case> cases = {
      {"no index", "frag_keyframe+empty_moov+default_base_moof+skip_trailer"},
      {"an index at the end", "frag_keyframe+empty_moov+default_base_moof"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim->updateWorld([&](cloudsim::World& w) { w.recordingMovflags = c.movflags; });
    std::vector<size_t> requests;
    for (double seconds : {30.0, 600.0}) {
      SCOPED_TRACE(seconds);
      const int64_t id = recordingOf(seconds);
      auto whole = referenceDecoder(id);
      ASSERT_TRUE(whole);
      ASSERT_GT(referenceFile->bytes().size(), static_cast<size_t>(seconds / 2 * kPieceBytes))
          << "fragments of several pieces each";
      sim->clearRequests();
      auto item = DKStreamerItem::itemWithCameraId(cameraId, id);
      streamer->setCurrentItem(item);
      ASSERT_TRUE(MainRunLoop::runUntilIdle());
      ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
      ASSERT_TRUE(streamer->currentFrame());
      requests.push_back(sim->requestsTo(path(id)).size());
      expectShowing(*whole, "the first picture");

      // Far into it, then played to its end: the file's pictures, its length, and the end.
      streamer->seekTo(whole->duration() - 25);
      ASSERT_TRUE(MainRunLoop::runUntilIdle());
      EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePaused);
      EXPECT_DOUBLE_EQ(streamer->currentTime(), whole->duration() - 25);
      expectShowing(*whole, "after a seek far in");
      streamer->setRate(4.0f);
      advance(3.0);
      EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
      expectShowing(*whole, "playing on");
      advance(4.0);
      EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded) << describe(streamer->failureReason());
      EXPECT_DOUBLE_EQ(streamer->currentTime(), whole->duration());
      EXPECT_DOUBLE_EQ(item->duration(), whole->duration());
      EXPECT_TRUE(sameFrame(streamer->currentFrame(), whole->frameAt(whole->frameCount() - 1))) << "the last picture";
      streamer->setRate(0.0f);
      streamer->setCurrentItem(nullptr);
      ASSERT_TRUE(MainRunLoop::runUntilIdle());
    }
    // Where the first fragments end in the pieces, and the index at the end (a few bytes a
    // fragment), make the only difference.
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_LE(requests[1], requests[0] + 4) << "twenty times as long";
  }
}

// Without an index of its fragments, the length known is the end of the fragments read so far.
// Playing fast enough that the clock passes what has been read ahead in one step (8x, two
// seconds of the clock at once) waits for the table to be read on there and plays on: the
// recording ends at its own end, not at the end of the fragments read when the clock moved.
TEST_F(FragmentedRecordingTest, PlayingPastTheFragmentsReadAheadPlaysOnToTheTrueEnd) {
  sim->updateWorld([](cloudsim::World& w) { w.recordingMovflags = "frag_keyframe+empty_moov+default_base_moof+skip_trailer"; });
  const int64_t id = recordingOf(120);
  auto whole = referenceDecoder(id);
  ASSERT_TRUE(whole);
  auto item = DKStreamerItem::itemWithCameraId(cameraId, id);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  const double known = item->duration();
  ASSERT_LT(known + 10, whole->duration()) << "only the first fragments are known";

  streamer->setRate(8.0f);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  recorder->events.clear();
  clock.advance(2.0);  // 16 s of the recording: past the end of what is known
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_NE(streamer->playbackState(), DKPlaybackStateEnded) << "ended at " << streamer->currentTime() << " s";
  EXPECT_GT(item->duration(), known);
  advance(16.0);  // 128 s of the recording at 8x
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded) << describe(streamer->failureReason());
  EXPECT_DOUBLE_EQ(streamer->currentTime(), whole->duration());
  EXPECT_DOUBLE_EQ(item->duration(), whole->duration());
  EXPECT_EQ(std::count(recorder->events.begin(), recorder->events.end(), "playback:3"), 1) << "ended once, at the end";
  EXPECT_TRUE(sameFrame(streamer->currentFrame(), whole->frameAt(whole->frameCount() - 1))) << "the last picture";
}

// A camera uploading fragments without an index: playback reaches the end of the fragments read,
// finds the rest of what is there, waits at the end of what has been uploaded, and goes on into
// the fragments uploaded meanwhile.
TEST_F(FragmentedRecordingTest, AnOpenRecordingPlaysIntoFragmentsReadAndUploadedWhileItPlays) {
  sim->updateWorld([](cloudsim::World& w) {
    w.recordingMovflags = "frag_keyframe+empty_moov+default_base_moof+skip_trailer";
    w.now += 50;  // a minute recorded so far
  });
  auto item = DKStreamerItem::itemWithCameraId(cameraId, openId);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  EXPECT_LT(item->duration(), 30.0) << "only the first fragments are read";
  streamer->setRate(8.0f);
  advance(8.0);
  auto whole = referenceDecoder(openId);
  ASSERT_TRUE(whole);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateBuffering) << describe(streamer->failureReason());
  EXPECT_DOUBLE_EQ(item->duration(), whole->duration());
  EXPECT_DOUBLE_EQ(streamer->currentTime(), whole->duration());

  streamer->setRate(1.0f);
  sim->updateWorld([](cloudsim::World& w) { w.now += 10; });
  advance(4.0);  // the next probe finds the longer take
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying) << describe(streamer->failureReason());
  EXPECT_GT(item->duration(), whole->duration() + 5);
  whole = referenceDecoder(openId);
  ASSERT_TRUE(whole);
  expectShowing(*whole, "into what was uploaded meanwhile");
}

}  // namespace
}  // namespace dk::platform::test

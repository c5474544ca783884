// A fragmented recording (as many cameras upload) with or without an index of its fragments:
// the streamer shows its first picture after the same few requests whatever its length, reads
// the fragments' headers as playback and seeks need them, and plays, seeks and ends frame for
// frame where a local copy of the whole file does.
#include <algorithm>
#include <cstring>
#include <set>

#include "platform/media/recordings/audio_decoder.h"

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
    // Requests to the picture three quarters in: at most this many more at 20 times the length
    // (a fragment's header sought in pieces a fraction of a fragment long costs a few).
    int moreForFar;
  };
  const std::vector<Case> cases = {
      {"no index", "frag_keyframe+empty_moov+default_base_moof+skip_trailer", 16},
      {"an index at the end", "frag_keyframe+empty_moov+default_base_moof", 1},
      {"the first fragment in the movie box", "frag_keyframe", 1},
      {"the first fragment in the movie box, no index", "frag_keyframe+skip_trailer", 16},
  };
  std::vector<size_t> opens;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim->updateWorld([&](cloudsim::World& w) { w.recordingMovflags = c.movflags; });
    std::vector<size_t> requests, farRequests;
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

      // Three quarters in (as the timeline hands over a recording): straight there.
      sim->clearRequests();
      const double far = whole->frameTimes()[whole->frameCount() * 3 / 4 + 2];
      streamer->seekTo(far);
      ASSERT_TRUE(MainRunLoop::runUntilIdle());
      EXPECT_DOUBLE_EQ(streamer->currentTime(), far);
      expectShowing(*whole, "three quarters in");
      farRequests.push_back(sim->requestsTo(path(id)).size());
      // A frame back from the first one read there, across the fragments not read.
      while (streamer->currentTime() > whole->frameTimes()[whole->frameIndexAt(far) - 6] + 1e-9) {
        streamer->stepBy(-1);
        ASSERT_TRUE(MainRunLoop::runUntilIdle());
      }
      EXPECT_DOUBLE_EQ(streamer->currentTime(), whole->frameTimes()[whole->frameIndexAt(far) - 6]) << "frame by frame";
      expectShowing(*whole, "stepped back");
      // Several frames at once: back over fragments not read yet, then forward over those read.
      for (int64_t step : {-14, 9}) {
        const size_t target = whole->frameIndexAt(streamer->currentTime()) + static_cast<size_t>(step);
        streamer->stepBy(step);
        ASSERT_TRUE(MainRunLoop::runUntilIdle());
        EXPECT_DOUBLE_EQ(streamer->currentTime(), whole->frameTimes()[target]) << "a step of " << step;
        expectShowing(*whole, "a step of " + std::to_string(step));
      }

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
    EXPECT_LE(requests[1], requests[0] + 5) << "twenty times as long";
    // Three quarters in: the fragment there straight by the index, else in a few more halvings.
    EXPECT_LE(farRequests[1], farRequests[0] + static_cast<size_t>(c.moreForFar)) << farRequests[0] << " for 30 s";
    opens.push_back(requests[1]);
  }
  // The first fragment in the movie box opens like its twin with an empty one.
  EXPECT_LE(opens[2], opens[1] + 1);
  EXPECT_LE(opens[3], opens[0] + 1);
}

// The sound of a fragmented recording read through an Input: it opens at a cost that does not
// grow with the recording's length, and the sound three quarters in is the whole file's, read
// without the fragments before it.
TEST_F(FragmentedRecordingTest, TheSoundOpensAtACostThatDoesNotGrowAndIsReadStraightAtAFarTime) {
  struct Case {
    const char* what;
    const char* movflags;
  };
  const std::vector<Case> cases = {
      {"no index", "frag_keyframe+empty_moov+default_base_moof+skip_trailer"},
      {"an index at the end", "frag_keyframe+empty_moov+default_base_moof"},
      {"the first fragment in the movie box", "frag_keyframe"},
      {"the first fragment in the movie box, no index", "frag_keyframe+skip_trailer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim->updateWorld([&](cloudsim::World& w) { w.recordingMovflags = c.movflags; });
    std::vector<size_t> opens;
    for (double seconds : {30.0, 600.0}) {
      SCOPED_TRACE(seconds);
      ASSERT_TRUE(referenceDecoder(recordingOf(seconds)));
      AudioDecoder whole;
      std::string why;
      ASSERT_TRUE(whole.open(*referenceFile->filePath(), &why)) << why;
      auto bytes = std::make_shared<std::string>(referenceFile->bytes().begin(), referenceFile->bytes().end());
      auto pieces = std::make_shared<std::set<int64_t>>();
      VideoDecoder::Input input;
      input.read = [bytes, pieces](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
        const auto size = static_cast<int64_t>(bytes->size());
        if (offset >= size) return 0;
        const int64_t n = std::min(count, size - offset);
        for (int64_t p = offset / kPieceBytes; p <= (offset + n - 1) / kPieceBytes; ++p) pieces->insert(p);
        std::memcpy(out, bytes->data() + offset, static_cast<size_t>(n));
        return n;
      };
      input.size = [bytes] { return static_cast<int64_t>(bytes->size()); };
      AudioDecoder sound;
      ASSERT_TRUE(sound.open(std::move(input), &why)) << why;
      opens.push_back(pieces->size());

      const double far = seconds * 3 / 4;
      const int64_t frames = sound.format().sampleRate / 2;
      std::vector<int16_t> heard, expected;
      sound.read(far, frames, &heard);
      whole.read(far, frames, &expected);
      ASSERT_EQ(heard.size(), expected.size());
      int most = 0;  // (decoding that starts a frame elsewhere may differ in the last bit or two)
      for (size_t i = 0; i < heard.size(); ++i) most = std::max(most, std::abs(heard[i] - expected[i]));
      EXPECT_LE(most, 64) << "the sound three quarters in";
      EXPECT_TRUE(std::any_of(heard.begin(), heard.end(), [](int16_t v) { return v != 0; })) << "not silence";
      if (seconds > 60) {
        EXPECT_LE(pieces->size(), bytes->size() / kPieceBytes / 4) << "the fragments before it are not read";
      }
    }
    EXPECT_LE(opens[1], opens[0] + 4) << "twenty times as long (an index at the end grows a little)";
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

// Recordings that arrive damaged or cut short, made as cameras upload them (libx264 in the mp4
// muxer): a damaged stretch is passed over with the last good picture on screen, an item that
// has nothing good to show fails and stops playing, and an upload cut short plays to its last
// whole frame and ends.
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "platform/graphics/image_compare.h"
#include "streamer_fixture.h"
#include "support/temp_directory.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

using Events = std::vector<std::string>;

class StreamerDamageTest : public StreamerTest {
 protected:
  // A 10 s recording of 320x240 at 25 frames a second, a key frame every 2 s, B-frames.
  void makeRecording(TestVideoOptions options = {}) {
    options.width = 320;
    options.height = 240;
    options.fps = 25;
    options.frames = 250;
    options.gop = 50;
    options.bFrames = 2;
    path = (folder.path() / "recording.mp4").string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    reference = decodeSequentially(path);
    ASSERT_EQ(reference.pictures.size(), 250u);
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The cloud serves `bytes` as the closed recording.
  void serve() {
    cloudsim::FaultRule rule = cloudsim::FaultRule::failWith(
        "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(closedId) + ".mp4", 200, bytes);
    rule.contentType = "video/mp4";
    rule.times = 1000;
    sim->addFault(rule);
  }
  // The reference picture the frame on screen is, by index (-1: none of them), looked for from
  // `near` back, then forward.
  long pictureOnScreen(size_t near = 0) const {
    const ImagePtr shown = streamer->currentFrame();
    const size_t count = reference.pictures.size();
    for (size_t k = 0; k < count; ++k) {
      const size_t i = k <= near ? near - k : k;
      if (i < count && sameFrame(shown, reference.pictures[i])) return static_cast<long>(i);
    }
    return -1;
  }

  dk::test::TemporaryDirectory folder;
  std::string path;
  SequentialDecode reference;
  std::string bytes;
};

// 4 KB of noise in the middle of the media data: playback goes on to the end, the picture on
// screen is always a whole picture of the recording no later than the time played, it stands
// still over the damaged stretch and moves again from the next key frame, and a snapshot taken
// meanwhile is that good picture.
TEST_F(StreamerDamageTest, ADamagedStretchIsPassedOverWithTheLastGoodPictureOnScreen) {
  ASSERT_NO_FATAL_FAILURE(makeRecording());
  const std::vector<SampleSpan> samples = samplesOf(path);
  const int64_t begin = samples.front().pos;
  const int64_t end = samples.back().pos + samples.back().size;
  addNoise(bytes, (begin + end) / 2, 4096);
  serve();
  prepareClosed();
  recorder->events.clear();
  streamer->setRate(1.0f);

  long stillFrom = -1;  // the frame when the picture last stood still behind the time
  double longestStill = 0;
  bool snapshotTaken = false;
  for (int step = 1; step <= 260 && streamer->playbackState() == DKPlaybackStatePlaying; ++step) {
    clock.advance(0.04);
    const double now = streamer->currentTime();
    const size_t due = std::upper_bound(reference.times.begin(), reference.times.end(), now + 1e-6) -
                       reference.times.begin() - 1;
    const long shown = pictureOnScreen(due);
    ASSERT_GE(shown, 0) << "a picture that is not the recording's at " << now << " s";
    ASSERT_LE(reference.times[static_cast<size_t>(shown)], now + 1e-6);
    if (static_cast<size_t>(shown) == due) {
      stillFrom = -1;
      continue;
    }
    if (stillFrom < 0) stillFrom = shown;
    longestStill = std::max(longestStill, now - reference.times[static_cast<size_t>(stillFrom)]);
    if (!snapshotTaken && now - reference.times[static_cast<size_t>(stillFrom)] > 0.5) {
      snapshotTaken = true;
      const ImagePtr onScreen = streamer->currentFrame();
      streamer->takeSnapshot();
      ASSERT_TRUE(MainRunLoop::runUntilIdle());
      EXPECT_TRUE(sameFrame(recorder->snapshot, onScreen)) << "the snapshot is the good picture on screen";
    }
  }
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
  EXPECT_TRUE(sameFrame(streamer->currentFrame(), reference.pictures.back()));
  EXPECT_TRUE(snapshotTaken) << "the picture never stood still: no damage seen";
  EXPECT_GT(longestStill, 0.1);
  EXPECT_LE(longestStill, 2.1) << "the picture moves again from the next key frame";
}

// Nothing good to show: the first picture damaged, or the damage going on for more than a few
// seconds. The item fails ("damaged", code 8), and says it stopped playing before it failed.
TEST_F(StreamerDamageTest, AnItemWithNothingGoodToShowFailsAndStopsPlaying) {
  struct Case {
    const char* name;
    size_t firstSample, count;
    double failsAfter, failsBy;  // the played time when the item fails
    bool noKeyFrame = false;  // fragmented, none of its samples flagged as a key frame (count: none damaged)
  };
  for (const Case& c : {Case{"the first picture damaged", 0, 3, 0, 0},
                        Case{"8 s damaged from 2 s on", 50, 1000, 7.0, 7.5},
                        Case{"no key frame to start from", 0, 0, 0, 0, true}}) {
    SCOPED_TRACE(c.name);
    TestVideoOptions options;
    if (c.noKeyFrame) options.movflags = "frag_keyframe+empty_moov+default_base_moof";
    ASSERT_NO_FATAL_FAILURE(makeRecording(options));
    if (c.noKeyFrame) {
      ASSERT_GT(clearKeyFlags(bytes), 0);
    }
    // Noise in the second quarter of each picture's data: past its slice header, so that each
    // decodes with concealment (noise in a header can make another valid picture, which no
    // decoder can tell from the real one).
    const std::vector<SampleSpan> samples = samplesOf(path);
    for (size_t i = c.firstSample; i < samples.size() && i < c.firstSample + c.count; ++i) {
      addNoise(bytes, samples[i].pos + samples[i].size / 4, samples[i].size / 4);
    }
    sim->clearFaults();
    serve();
    streamer->setCurrentItem(nullptr);
    recorder->events.clear();
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId, closedId));
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    streamer->setRate(1.0f);
    for (int step = 0; step < 300 && streamer->status() != DKCameraStreamerStatusFailed; ++step) clock.advance(0.04);
    ASSERT_EQ(streamer->status(), DKCameraStreamerStatusFailed);
    ASSERT_TRUE(streamer->failureReason());
    EXPECT_EQ(streamer->failureReason()->code(), 8) << describe(streamer->failureReason());
    EXPECT_GE(streamer->currentTime(), c.failsAfter);
    EXPECT_LE(streamer->currentTime(), c.failsBy);
    EXPECT_NE(streamer->playbackState(), DKPlaybackStatePlaying);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    const auto failed = std::find(recorder->events.begin(), recorder->events.end(), "status:2");
    ASSERT_NE(failed, recorder->events.end());
    if (c.failsAfter > 0) {
      EXPECT_EQ(recorder->events.back(), "status:2");
      EXPECT_EQ(*std::prev(failed), "playback:0") << "stopped playing before it failed";
    }
    const long shown = pictureOnScreen();
    if (c.failsAfter > 0) {
      EXPECT_GE(shown, 0) << "the last good picture stays";
    } else {
      // (The layer may still hold the previous item's picture.)
      EXPECT_LT(streamer->currentFrameTime(), 0) << "no picture of it shown";
    }
  }
}

// A clip a cloud cut with stream copy 0.8 s into a group of pictures: the pictures before its
// first key frame have lost their references. Played at 1x, stepped through frame by frame or
// sought to, the first whole picture is on screen until its time, and from then on the picture
// due, never a concealed one nor one of another group (in play, the one before it only as the
// clock ticks past a picture's time).
TEST_F(StreamerDamageTest, AClipCutOnANonKeyFrameShowsOnlyItsWholePicturesByPlayStepAndSeek) {
  TestVideoOptions options;
  options.width = 320;
  options.height = 240;
  options.fps = 25;
  options.frames = 150;
  options.gop = 50;
  options.bFrames = 2;
  const std::string source = (folder.path() / "source.mp4").string();
  path = (folder.path() / "clip.mp4").string();
  std::string why;
  ASSERT_TRUE(writeTestVideo(source, options, &why)) << why;
  ASSERT_TRUE(cutTestClip(source, path, 20, &why)) << why;
  reference = decodeSequentially(path);  // from the first key frame on
  ASSERT_GE(reference.pictures.size(), 100u);
  ASSERT_GT(reference.times.front(), 1.0);
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  serve();
  // The reference picture due at the streamer's time (the first before the first one's time).
  auto due = [&] {
    const auto after = std::upper_bound(reference.times.begin(), reference.times.end(), streamer->currentTime() + 1e-6);
    return after == reference.times.begin() ? size_t{0} : static_cast<size_t>(after - reference.times.begin() - 1);
  };
  struct Road {
    const char* name;
    std::function<void(std::vector<double>& wrongAt)> travel;
  };
  const std::vector<Road> roads = {
      {"play at 1x",
       [&](std::vector<double>& wrongAt) {
         streamer->setRate(1.0f);
         for (int step = 1; step <= 200 && streamer->playbackState() == DKPlaybackStatePlaying; ++step) {
           clock.advance(0.04);
           const auto expected = static_cast<long>(due());
           const long shown = pictureOnScreen(static_cast<size_t>(expected));
           if (shown < 0 || shown > expected || shown + 1 < expected) wrongAt.push_back(streamer->currentTime());
         }
         EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
         EXPECT_TRUE(sameFrame(streamer->currentFrame(), reference.pictures.back()));
       }},
      {"step through",
       [&](std::vector<double>& wrongAt) {
         for (int step = 0; step < 140 && streamer->currentTime() < reference.times.back(); ++step) {
           streamer->stepBy(1);
           ASSERT_TRUE(MainRunLoop::runUntilIdle());
           if (pictureOnScreen(due()) != static_cast<long>(due())) wrongAt.push_back(streamer->currentTime());
         }
         EXPECT_NEAR(streamer->currentTime(), reference.times.back(), 1e-6) << "stepped to the last frame";
       }},
      {"seek",
       [&](std::vector<double>& wrongAt) {
         for (double at : {0.1, 0.5, 0.96, 1.2, 1.3, 2.5, 4.0, 0.3, 5.1}) {
           streamer->seekTo(at);
           ASSERT_TRUE(MainRunLoop::runUntilIdle());
           if (pictureOnScreen(due()) != static_cast<long>(due())) wrongAt.push_back(at);
         }
       }},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    streamer->setCurrentItem(nullptr);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    prepareClosed();
    ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
    std::vector<double> wrongAt;
    road.travel(wrongAt);
    EXPECT_NE(streamer->status(), DKCameraStreamerStatusFailed) << describe(streamer->failureReason());
    EXPECT_THAT(wrongAt, ::testing::IsEmpty()) << "times with another picture on screen than the one due";
  }
}

// An upload cut at 60% (its index first, as cameras upload for progressive playback): the
// duration is that of the frames that arrived whole, playback shows them to the last one and
// ends there as at any recording's end.
TEST_F(StreamerDamageTest, ARecordingCutShortPlaysToItsLastWholeFrameAndEnds) {
  TestVideoOptions options;
  options.indexFirst = true;
  ASSERT_NO_FATAL_FAILURE(makeRecording(options));
  bytes.resize(bytes.size() * 6 / 10);
  serve();
  auto item = DKStreamerItem::itemWithCameraId(cameraId, closedId);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  EXPECT_GT(item->duration(), 4.0);
  EXPECT_LT(item->duration(), 7.0);
  const size_t last = static_cast<size_t>(item->duration() * 25 + 0.5) - 1;
  EXPECT_NEAR(reference.times[last] + 0.04, item->duration(), 1e-6);

  recorder->events.clear();
  streamer->setRate(1.0f);
  for (int step = 0; step < 300 && streamer->playbackState() == DKPlaybackStatePlaying; ++step) {
    clock.advance(0.04);
    ASSERT_NE(streamer->status(), DKCameraStreamerStatusFailed) << describe(streamer->failureReason());
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), item->duration());
  EXPECT_TRUE(sameFrame(streamer->currentFrame(), reference.pictures[last]));
  EXPECT_EQ(recorder->events, (Events{"playback:2", "playback:3"}));
}

}  // namespace
}  // namespace dk::platform::test

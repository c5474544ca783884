// A live stream whose pictures never decode, as a camera gives one when the view joins it after
// the only parameter sets it sent (libx264's open groups of pictures, muxed by FFmpeg's HLS
// muxer, which adds them to IDR pictures alone): the view keeps reading the playlist, plays the
// sound that decodes meanwhile, and ends as unplayable once segments of several seconds have
// given no picture.
#include <string>
#include <vector>

#include "live_hls_fixture.h"
#include "platform/media/live/live_segment_decoder.h"
#include "platform/media/sound/audio_output.h"
#include "test_camera_streams.h"
#include "test_sound.h"

namespace dk::platform::test {
namespace {

class LiveUnplayableTest : public LiveHlsTest {
 protected:
  // An open-GOP camera with a tone, in 2 s segments; its first segment (the only one with the
  // parameter sets) left out, so that whichever segment the view joins at shows nothing.
  TestHls joinedMidway(CameraStreamOptions* options) {
    options->container = "hls";
    options->seconds = 16;
    options->openGop = true;
    options->keySeconds = 1;
    std::string why;
    const std::vector<std::string> segments = writeCameraStream(folder.path().string(), *options, &why);
    EXPECT_EQ(segments.size(), 8u) << why;
    TestHls hls;
    for (size_t i = 1; i < segments.size(); ++i) hls.files["index" + std::to_string(i - 1) + ".ts"] = segments[i];
    // The shape itself: the first segment decodes on its own, the later ones do not.
    for (size_t i : {size_t{0}, size_t{3}}) {
      if (i >= segments.size()) break;
      LiveSegmentDecoder decoder;
      LiveSegmentFrame frame;
      const bool opened = decoder.open(std::make_shared<const std::string>(segments[i]), LivePictureLimits::segmentBudget(2));
      const bool pictured = opened && decoder.next(frame) == LiveSegmentDecoder::Step::Picture;
      EXPECT_EQ(pictured, i == 0) << "segment " << i;
    }
    return hls;
  }
};

// Through the streamer, as a player opens a camera: it stays preparing, re-reads the playlist as
// the camera goes on, plays the camera's sound, and fails with the segment's error once 8 s of
// segments gave no picture, well before a stall would end it.
TEST_F(LiveUnplayableTest, AStreamJoinedAfterItsOnlyParameterSetsFailsAfterSecondsOfSegmentsPlayingItsSound) {
  CameraStreamOptions options;
  options.toneHz = 1000;
  const TestHls hls = joinedMidway(&options);
  ASSERT_FALSE(HasFailure());
  std::string why;
  auto sink = FileAudioOutput::create((folder.path() / "heard.wav").string(), &why);
  ASSERT_TRUE(sink) << why;
  StreamerEnvironment environment = StreamerEnvironment::current();
  environment.audioOutput = [sink] { return sink; };
  StreamerEnvironment::install(environment);
  streamer = DKCameraStreamer::initWithLayer(layer);
  streamer->setDelegate(recorder);

  Packager p = packager(hls, false, platform::now() - 6);
  p.publish();
  const double opened = platform::now();
  streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  // The camera writes a segment every 2 s, a second after each step of 2 s.
  double failedAt = -1;
  for (int tick = 1; tick <= 600 && failedAt < 0; ++tick) {
    if (tick % 50 == 25) {
      ++p.newest;
      p.publish();
    }
    clock.advance(0.04);
    if (streamer->status() == DKCameraStreamerStatusFailed) failedAt = platform::now() - opened;
  }
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusFailed) << "still waiting after 24 s";
  ASSERT_TRUE(streamer->failureReason());
  EXPECT_EQ(streamer->failureReason()->code(), 13) << describe(streamer->failureReason());
  // The segment joined and three more as the camera wrote them: 8 s of segments, and no stall.
  EXPECT_GE(failedAt, 4.0);
  EXPECT_LE(failedAt, 8.5);
  size_t segments = 0;
  for (const auto& request : sim->requests()) segments += request.path.ends_with(".ts");
  EXPECT_EQ(segments, 4u);
  EXPECT_GE(sim->requestsTo(livePath("index.m3u8")).size(), 5u);
  EXPECT_EQ(streamer->currentFrame(), nullptr);
  EXPECT_EQ(std::count(recorder->events.begin(), recorder->events.end(), "status:1"), 0);

  // The tone, from the segment joined on, for most of the time waited.
  streamer->finishSoundWrites();
  const Wav wav = readWav(sink->path());
  ASSERT_EQ(wav.rate, options.sampleRate);
  const size_t window = static_cast<size_t>(wav.rate / 50);
  std::vector<int16_t> tone;
  for (size_t at = 0; at + window <= wav.samples.size(); at += window) {
    if (peak(wav.samples.data() + at, window) >= 2000) tone.insert(tone.end(), wav.samples.begin() + at, wav.samples.begin() + at + window);
  }
  EXPECT_GE(static_cast<double>(tone.size()) / wav.rate, failedAt - 1.5) << "of " << failedAt << " s waited";
  if (!tone.empty()) {
    EXPECT_NEAR(toneHz(tone.data(), tone.size(), wav.rate), 1000.0, 20.0);
  }
}

}  // namespace
}  // namespace dk::platform::test

// A camera that stamps its media with its own uptime (a day in: decode times from 86,400 s), as
// recordings cut from a live fragmented stream are stamped too: the recording's time line starts
// at its first picture. Its length, the clock while it plays, seeks, steps and the sound all count
// from there, in every shape a recording comes in, and each shows what the same recording stamped
// from 0 shows at that time.
#include "cloud-sim/recording_video.h"
#include "platform/media/recordings/audio_decoder.h"
#include "platform/media/sound/audio_output.h"
#include "streamer_fixture.h"
#include "support/temp_directory.h"
#include "test_sound.h"

namespace dk::platform::test {
namespace {

constexpr int kRate = 16000;  // the cloud's cameras record 16 kHz mono
constexpr double kUptime = 86400;

class TimeOffsetTest : public StreamerTest {
 protected:
  void SetUp() override {
    StreamerTest::SetUp();
    std::string why;
    sink = FileAudioOutput::create((folder.path() / "played.wav").string(), &why);
    ASSERT_TRUE(sink) << why;
    StreamerEnvironment environment = StreamerEnvironment::current();
    environment.audioOutput = [sink = sink] { return sink; };
    environment.limits.chunkBytes = 4096;
    StreamerEnvironment::install(environment);
  }
  void playFor(double seconds) {
    for (int i = 0; i < static_cast<int>(std::lround(seconds * 20)); ++i) clock.advance(0.05);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    streamer->finishSoundWrites();
  }
  std::vector<int16_t> played(double from, double to) const {
    const Wav wav = readWav(sink->path());
    const auto a = static_cast<size_t>(std::lround(from * kRate)), b = static_cast<size_t>(std::lround(to * kRate));
    if (b > wav.samples.size() || a > b) return {};
    return {wav.samples.begin() + static_cast<std::ptrdiff_t>(a), wav.samples.begin() + static_cast<std::ptrdiff_t>(b)};
  }

  dk::test::TemporaryDirectory folder;
  std::shared_ptr<FileAudioOutput> sink;
};

TEST_F(TimeOffsetTest, ARecordingStampedFromTheCamerasUptimeCountsFromItsFirstPicture) {
  struct Shape {
    const char* what;
    const char* movflags;
    bool indexed;  // its whole length is known at open
  };
  const Shape shapes[] = {
      {"the index at the end", "", true},
      {"fragmented, an index at the end", "frag_keyframe+empty_moov+default_base_moof", true},
      {"fragmented, no index", "frag_keyframe+empty_moov+default_base_moof+skip_trailer", false},
  };
  // The same recording stamped from 0, decoded whole: what every time must show.
  auto plain = referenceDecoder(closedId);
  ASSERT_TRUE(plain);
  AudioDecoder plainSound;
  std::string why;
  ASSERT_TRUE(plainSound.open(*referenceFile->filePath(), &why)) << why;
  auto pictureAt = [&](double t) { return plain->frameAt(plain->frameIndexAt(t)); };

  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.what);
    sim->updateWorld([&](cloudsim::World& w) {
      w.recordingMovflags = shape.movflags;
      w.recordingTimeOffset = kUptime;
    });
    streamer = DKCameraStreamer::initWithLayer(layer);
    prepareClosed();
    auto stamped = referenceDecoder(closedId);
    ASSERT_TRUE(stamped);
    EXPECT_NEAR(stamped->startTime(), kUptime, 1.0) << "the cloud serves it stamped from the uptime";
    const double length = streamer->currentItem()->duration();
    if (shape.indexed) {
      EXPECT_NEAR(length, plain->duration(), 1e-6) << "the whole length";
    } else {
      EXPECT_GT(length, 1.0);
      EXPECT_LE(length, plain->duration() + 1e-6) << "the fragments read so far";
    }

    // Playing from the start: the clock and the pictures move on at once.
    streamer->setRate(1.0f);
    playFor(2.2);
    EXPECT_NEAR(streamer->currentTime(), 2.2, 1e-4);
    EXPECT_NEAR(streamer->currentFrameTime(), 2.0, 1e-6);
    EXPECT_TRUE(sameFrame(streamer->currentFrame(), pictureAt(2.2))) << "the picture two seconds in";

    // A seek fifteen seconds in, while playing: the picture there, the sound there.
    streamer->seekTo(15.0);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_NEAR(streamer->currentTime(), 15.0, 1e-4);
    EXPECT_TRUE(sameFrame(streamer->currentFrame(), pictureAt(15.0))) << "the picture at 15 s";
    const double heardFrom = static_cast<double>(sink->framesWritten()) / kRate;
    playFor(1.0);
    EXPECT_NEAR(streamer->currentTime(), 16.0, 1e-4);
    const std::vector<int16_t> heard = played(heardFrom + 0.25, heardFrom + 0.75);
    std::vector<int16_t> expected;
    plainSound.read(15.25, kRate / 2, &expected);
    ASSERT_EQ(heard.size(), expected.size());
    int most = 0;
    for (size_t i = 0; i < heard.size(); ++i) most = std::max(most, std::abs(heard[i] - expected[i]));
    EXPECT_GT(peak(heard.data(), heard.size()), 6000) << "sound after the seek";
    EXPECT_LE(most, 64) << "the sound recorded at 15 s";

    // Paused, a step on and a step back are the frames after and before.
    streamer->setRate(0.0f);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    const double shown = streamer->currentFrameTime();
    streamer->stepBy(1);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    const size_t next = plain->frameIndexAt(shown) + 1;
    EXPECT_NEAR(streamer->currentFrameTime(), plain->frameTimes()[next], 1e-6);
    EXPECT_TRUE(sameFrame(streamer->currentFrame(), plain->frameAt(next)));
    streamer->stepBy(-2);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_NEAR(streamer->currentFrameTime(), plain->frameTimes()[next - 2], 1e-6);
    EXPECT_TRUE(sameFrame(streamer->currentFrame(), plain->frameAt(next - 2)));

    // To the end: a seek near it reads on as far as needed, and the recording ends at its length.
    streamer->seekTo(plain->duration() - 0.2);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    streamer->setRate(1.0f);
    playFor(1.0);
    EXPECT_EQ(streamer->playbackState(), DKPlaybackStateEnded);
    EXPECT_NEAR(streamer->currentItem()->duration(), plain->duration(), 1e-6);
    EXPECT_NEAR(streamer->currentTime(), plain->duration(), 1e-6);
    streamer->setRate(0.0f);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
  }
}

}  // namespace
}  // namespace dk::platform::test

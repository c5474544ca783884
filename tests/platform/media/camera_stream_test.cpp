// Streams as a common open-source encoder and packager write them, rather than as our cloud
// simulator does: live sound that ffmpeg's MPEG-TS muxer packs several frames to a packet and
// places after the pictures of its time, HEVC video, and G.711 or Opus sound, live and recorded;
// what lies outside the codecs FFmpeg is trusted with is still refused.
#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/media/audio_decoder.h"
#include "platform/media/audio_output.h"
#include "platform/media/live_segment_decoder.h"
#include "streamer_fixture.h"
#include "support/temp_directory.h"
#include "test_camera_streams.h"
#include "test_sound.h"

namespace dk::platform::test {
namespace {

// A sound card's output: what is written goes to a WAV file, and it asks to be written ahead of
// the picture as ALSA's output does.
class LeadingFileOutput : public AudioOutput {
 public:
  LeadingFileOutput(std::shared_ptr<FileAudioOutput> file, double lead) : file_(std::move(file)), lead_(lead) {}
  bool configure(int sampleRate, int channels) override { return file_->configure(sampleRate, channels); }
  void write(const int16_t* samples, int64_t frames) override { file_->write(samples, frames); }
  double leadSeconds() const override { return lead_; }
  std::string description() const override { return file_->description(); }

 private:
  std::shared_ptr<FileAudioOutput> file_;
  double lead_;
};

class LiveCameraStreamTest : public StreamerTest {
 protected:
  // A fresh streamer whose sound goes to its own file.
  void freshStreamer(const std::string& name) {
    std::string why;
    sink = FileAudioOutput::create((folder.path() / name).string(), &why);
    ASSERT_TRUE(sink) << why;
    StreamerEnvironment environment = StreamerEnvironment::current();
    environment.audioOutput = [sink = sink] { return std::make_shared<LeadingFileOutput>(sink, 0.15); };
    StreamerEnvironment::install(environment);
    streamer = DKCameraStreamer::initWithLayer(layer);
    streamer->setDelegate(recorder);
  }
  std::string livePath(int64_t sequence) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/live/" + std::to_string(sequence) + ".ts";
  }
  // The cloud serves `segments` as its live stream from the newest segment when the view opens.
  void serve(const std::vector<std::string>& segments) {
    for (size_t i = 0; i < segments.size(); ++i) {
      cloudsim::FaultRule rule = cloudsim::FaultRule::failWith(livePath(kJoined + static_cast<int64_t>(i)), 200, segments[i]);
      rule.contentType = "video/mp2t";
      rule.times = 1000;
      sim->addFault(rule);
    }
  }
  // Opens the camera live and plays it for `seconds`, the camera's clock and ours moving on
  // together in steps of a run loop's tick.
  void playLive(double seconds) {
    sim->updateWorld([](cloudsim::World& w) { w.now = 1700000000.0; });
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId));
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
    // The camera is four seconds on, so that each next segment is listed when the view asks.
    sim->updateWorld([](cloudsim::World& w) { w.now += 4; });
    streamer->setRate(1.0f);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    for (int i = 0; i < static_cast<int>(std::lround(seconds * 50)); ++i) {
      sim->updateWorld([](cloudsim::World& w) { w.now += 0.02; });
      clock.advance(0.02);
    }
    streamer->finishSoundWrites();
  }

  // The newest whole segment when the view opens (the world's now is 1700000000).
  static constexpr int64_t kJoined = 849999999;
  dk::test::TemporaryDirectory folder;
  std::shared_ptr<FileAudioOutput> sink;
};

TEST_F(LiveCameraStreamTest, SoundPackedLateByTheMuxerIsHeardWithItsPicture) {
  struct Case {
    const char* name;
    int rate;
  };
  for (const Case& c : {Case{"48 kHz", 48000}, Case{"8 kHz", 8000}}) {
    SCOPED_TRACE(c.name);
    dk::test::TemporaryDirectory made;
    CameraStreamOptions options;
    options.container = "hls";
    options.seconds = 12;
    options.sampleRate = c.rate;
    options.toneHz = 500;
    std::string why;
    const std::vector<std::string> segments = writeCameraStream(made.path().string(), options, &why);
    ASSERT_EQ(segments.size(), 6u) << why;
    sim->clearFaults();
    serve(segments);
    freshStreamer(std::string("played ") + c.name + ".wav");
    playLive(7.0);
    EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
    EXPECT_EQ(streamer->soundSilenceReason(), "");
    ASSERT_EQ(sink->sampleRate(), c.rate);
    const Wav wav = readWav(sink->path());
    const std::vector<int16_t>& heard = wav.samples;
    ASSERT_GE(heard.size(), static_cast<size_t>(6 * c.rate));
    EXPECT_NEAR(toneHz(heard.data(), heard.size(), c.rate), 500.0, 10.0);
    // In windows of 20 ms: at most a few of them silent (the stream's first frame fades in).
    EXPECT_LE(silentShare(heard, static_cast<size_t>(c.rate / 50), 2000), 0.03);
    streamer->setCurrentItem(nullptr);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
  }
}

}  // namespace
}  // namespace dk::platform::test

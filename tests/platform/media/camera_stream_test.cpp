// Streams as a common open-source encoder and packager write them, rather than as our cloud
// simulator does: live sound that ffmpeg's MPEG-TS muxer packs several frames to a packet and
// places after the pictures of its time, HEVC video, and G.711 or Opus sound, live and recorded;
// what lies outside the codecs FFmpeg is trusted with is still refused.
#include <cmath>
#include <cstring>
#include <memory>
#include <filesystem>
#include <fstream>

#include "platform/media/live/live_segment_decoder.h"
#include "platform/media/live/live_stream_source.h"
#include "platform/media/recordings/audio_decoder.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/media/sound/audio_output.h"
#include "streamer_fixture.h"
#include "support/temp_directory.h"
#include "test_camera_streams.h"
#include "test_sound.h"
#include "test_videos.h"

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
    openLiveAndPlay();
    if (HasFatalFailure()) return;
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
    int fps;
  };
  for (const Case& c : {Case{"48 kHz", 48000, 25}, Case{"8 kHz", 8000, 25}, Case{"48 kHz, 60 pictures a second", 48000, 60}}) {
    SCOPED_TRACE(c.name);
    dk::test::TemporaryDirectory made;
    CameraStreamOptions options;
    options.container = "hls";
    options.seconds = 12;
    options.sampleRate = c.rate;
    options.fps = c.fps;
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

// A live segment decoded through, as the live source decodes it.
struct LiveSegmentPlay {
  std::string opened;  // why it does not open ("" when it does)
  size_t pictures = 0;
  std::vector<int16_t> sound;
  int rate = 0, channels = 0;
  std::string soundRefusal;
};
LiveSegmentPlay playSegment(const std::string& bytes, double seconds) {
  LiveSegmentPlay play;
  LiveSegmentDecoder decoder;
  if (!decoder.open(std::make_shared<const std::string>(bytes), LivePictureLimits::segmentBudget(seconds),
                    LiveSoundLimits::segmentBudget(seconds), &play.opened)) {
    return play;
  }
  auto take = [&] {
    for (const LiveSegmentSound& s : decoder.takeSound()) {
      play.rate = s.sampleRate;
      play.channels = s.channels;
      play.sound.insert(play.sound.end(), s.samples.begin(), s.samples.end());
    }
  };
  LiveSegmentFrame frame;
  std::string why;
  for (LiveSegmentDecoder::Step step; (step = decoder.next(frame, &why)) == LiveSegmentDecoder::Step::Picture;) {
    ++play.pictures;
    take();
  }
  take();
  play.soundRefusal = decoder.soundRefusal();
  return play;
}

TEST_F(LiveCameraStreamTest, PicturesDecodedAheadByTimeStayWithinTheQueuedPictureCap) {
  // 60 pictures a second: a fifth of a second ahead is twelve pictures, more than the cap holds.
  dk::test::TemporaryDirectory made;
  CameraStreamOptions options;
  options.container = "hls";
  options.seconds = 4;
  options.fps = 60;
  options.width = 320;
  options.height = 180;
  std::string why;
  const std::vector<std::string> segments = writeCameraStream(made.path().string(), options, &why);
  ASSERT_EQ(segments.size(), 2u) << why;
  serve(segments);
  const int64_t picture = int64_t{320} * 180 * 4;
  LiveStreamSource::Limits limits;
  limits.maxQueuedPictureBytes = 3 * picture;
  std::vector<double> shown;
  LiveStreamSource::Listener listener;
  listener.frame = [&shown](const ImagePtr&, double time) { shown.push_back(time); };
  ErrorPtr failure;
  listener.failed = [&failure](const ErrorPtr& error) { failure = error; };
  auto source = LiveStreamSource::create(cameraId, sim->baseUrl(), std::move(listener), limits);
  source->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  sim->updateWorld([](cloudsim::World& w) { w.now += 4; });
  source->setPlaying(true);
  for (int i = 0; i < 150; ++i) {
    sim->updateWorld([](cloudsim::World& w) { w.now += 0.02; });
    clock.advance(0.02);
  }
  EXPECT_FALSE(failure) << describe(failure);
  EXPECT_GE(shown.size(), 60u) << "three seconds at the clock's 25 ticks a second";
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  EXPECT_GT(source->peakQueuedPictureBytes(), 0);
  EXPECT_LT(source->peakQueuedPictureBytes(), limits.maxQueuedPictureBytes + picture);
  source->stop();
}

TEST(CameraStreamCodecs, ACamerasVideoAndSoundPlayLiveAndRecordedAndOtherCodecsAreStillRefused) {
  struct Case {
    const char* name;
    const char* video;
    const char* sound;
    int rate;
    const char* container;  // "mpegts": a live segment; "mp4", "mov": a recording
    const char* refusal;    // of the video ("a video codec ...") or of the sound; "" when both play
  };
  const Case cases[] = {
      {"HEVC and AAC, live", "libx265", "aac", 48000, "mpegts", ""},
      {"H.264 and Opus, live", "libx264", "libopus", 48000, "mpegts", ""},
      {"H.264 and AAC at 8 kHz, live", "libx264", "aac", 8000, "mpegts", ""},
      {"MPEG-2 video, live", "mpeg2video", "aac", 48000, "mpegts", "a video codec not allowed"},
      {"MPEG audio, live", "libx264", "mp2", 48000, "mpegts", "a sound codec not allowed"},
      {"G.711 A-law, recorded", "libx264", "pcm_alaw", 8000, "mov", ""},
      {"G.711 mu-law, recorded", "libx264", "pcm_mulaw", 8000, "mov", ""},
      {"Opus, recorded", "libx264", "libopus", 48000, "mp4", ""},
      {"HEVC and AAC, recorded", "libx265", "aac", 16000, "mp4", ""},
      {"MPEG audio, recorded", "libx264", "mp2", 48000, "mp4", "a sound codec not allowed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dk::test::TemporaryDirectory folder;
    CameraStreamOptions options;
    options.videoEncoder = c.video;
    options.soundEncoder = c.sound;
    options.sampleRate = c.rate;
    options.container = c.container;
    options.toneHz = 400;
    std::string why;
    const std::vector<std::string> files = writeCameraStream(folder.path().string(), options, &why);
    ASSERT_EQ(files.size(), 1u) << why;
    const std::string refusal = c.refusal;
    std::vector<int16_t> heard;
    if (std::string(c.container) == "mpegts") {
      const LiveSegmentPlay play = playSegment(files[0], options.seconds);
      if (refusal.find("video") != std::string::npos) {
        EXPECT_EQ(play.opened, refusal);
        EXPECT_EQ(play.pictures, 0u);
        continue;
      }
      EXPECT_EQ(play.opened, "");
      EXPECT_EQ(play.pictures, 50u) << "two seconds at 25 pictures a second";
      EXPECT_EQ(play.soundRefusal, refusal);
      if (!refusal.empty()) {
        EXPECT_TRUE(play.sound.empty());
        continue;
      }
      EXPECT_EQ(play.rate, c.rate);
      EXPECT_EQ(play.channels, 1);
      EXPECT_GE(play.sound.size(), static_cast<size_t>(1.9 * c.rate)) << "the segment's whole sound";
      const size_t skip = play.sound.size() / 4;  // past the encoders' fade-in
      heard.assign(play.sound.begin() + static_cast<std::ptrdiff_t>(skip), play.sound.end());
    } else {
      const std::string path = (folder.path() / (std::string("recording.") + c.container)).string();
      std::ofstream(path, std::ios::binary) << files[0];
      VideoDecoder video;
      ASSERT_TRUE(video.open(path, &why)) << why;
      EXPECT_EQ(video.frameCount(), 50u);
      AudioDecoder sound;
      EXPECT_EQ(sound.open(path, &why), refusal.empty()) << why;
      if (!refusal.empty()) {
        EXPECT_EQ(why, refusal);
        continue;
      }
      EXPECT_EQ(sound.format().sampleRate, c.rate);
      sound.read(0.5, c.rate, &heard);
      EXPECT_EQ(sound.counters().framesRefused, 0);
    }
    if (heard.empty()) {
      ADD_FAILURE() << "nothing heard";
      continue;
    }
    EXPECT_NEAR(toneHz(heard.data(), heard.size(), c.rate), 400.0, 5.0);
    EXPECT_NEAR(peak(heard.data(), heard.size()), 8192, 1200) << "the tone at a quarter of full scale";
  }
}

TEST(CameraSoundRules, ARateChangeMidwayIsNotHeardAndSoundThatKeepsFailingIsGivenUp) {
  constexpr int kRate = 16000;
  struct Case {
    const char* name;
    const char* container;
    int switchedRate;      // from one second on
    int garbleCount;       // packets from the 20th (1.28 s) on
    bool heardAtTheEnd;    // the last second, long after the change or the damage
    long refusedAtLeast, refusedAtMost;  // recorded: frames refused in all
  };
  const Case cases[] = {
      // Seven seconds of 128 ms frames at the other rate, each refused.
      {"rate change, recorded", "mp4", 8000, 0, false, 54, 57},
      {"rate change, live", "mpegts", 8000, 0, false, 0, 0},
      {"40 undecodable packets, recorded", "mp4", 0, 40, true, 40, 40},
      // Given up after 64 in a row: what follows is not even tried.
      {"80 undecodable packets, recorded", "mp4", 0, 80, false, 65, 65},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dk::test::TemporaryDirectory folder;
    CameraStreamOptions options;
    options.container = c.container;
    options.seconds = 8;
    options.sampleRate = kRate;
    options.toneHz = 400;
    options.switchAtSample = kRate;
    options.switchedRate = c.switchedRate;
    options.garbleFirst = 20;
    options.garbleCount = c.garbleCount;
    std::string why;
    const std::vector<std::string> files = writeCameraStream(folder.path().string(), options, &why);
    ASSERT_EQ(files.size(), 1u) << why;
    std::vector<int16_t> heard;
    if (std::string(c.container) == "mpegts") {
      const LiveSegmentPlay play = playSegment(files[0], options.seconds);
      EXPECT_EQ(play.pictures, 200u);
      EXPECT_EQ(play.rate, kRate);
      heard = play.sound;
      EXPECT_LE(heard.size(), static_cast<size_t>(1.2 * kRate)) << "only the sound before the change";
      heard.resize(static_cast<size_t>(options.seconds * kRate));  // what is not there is silence
    } else {
      const std::string path = (folder.path() / "recording.mp4").string();
      std::ofstream(path, std::ios::binary) << files[0];
      AudioDecoder sound;
      ASSERT_TRUE(sound.open(path, &why)) << why;
      sound.read(0, static_cast<int64_t>(options.seconds * kRate), &heard);
      EXPECT_GE(sound.counters().framesRefused, c.refusedAtLeast);
      EXPECT_LE(sound.counters().framesRefused, c.refusedAtMost);
    }
    const auto stretch = [&](double from, double to) {
      return std::vector<int16_t>(heard.begin() + static_cast<std::ptrdiff_t>(from * kRate),
                                  heard.begin() + static_cast<std::ptrdiff_t>(to * kRate));
    };
    const std::vector<int16_t> first = stretch(0.2, 0.9), last = stretch(7.0, 8.0);
    EXPECT_NEAR(toneHz(first.data(), first.size(), kRate), 400.0, 5.0) << "heard before the change";
    if (c.heardAtTheEnd) {
      EXPECT_NEAR(toneHz(last.data(), last.size(), kRate), 400.0, 5.0);
    } else {
      EXPECT_EQ(peak(last.data(), last.size()), 0);
    }
  }
}


// A read that jumps (a seek) gives the sound playing through would have given at that time:
// decoding starts early enough for the decoder to settle (an AAC frame overlaps the one before;
// Opus needs its 80 ms pre-roll, after which it is close to, not the same as, playing through)
// and what comes before the time is dropped. Measured over the first 20 ms after the time, the
// worst: a 440 Hz tone whose peak is 8192.
TEST(CameraSoundRules, SoundAfterASeekIsTheSoundPlayingThroughGivesThere) {
  constexpr int kRate = 48000;
  constexpr size_t kFirst = kRate / 50;
  struct Case {
    const char* encoder;
    double mostRms;  // of the difference from playing through
  };
  for (const Case& c : {Case{"aac", 4}, Case{"libopus", 400}}) {
    SCOPED_TRACE(c.encoder);
    dk::test::TemporaryDirectory folder;
    CameraStreamOptions options;
    options.container = "mp4";
    options.seconds = 4;
    options.sampleRate = kRate;
    options.soundEncoder = c.encoder;
    options.toneHz = 440;
    std::string why;
    const std::vector<std::string> files = writeCameraStream(folder.path().string(), options, &why);
    ASSERT_EQ(files.size(), 1u) << why;
    const std::string path = (folder.path() / "recording.mp4").string();
    std::ofstream(path, std::ios::binary) << files[0];

    AudioDecoder through;
    ASSERT_TRUE(through.open(path, &why)) << why;
    std::vector<int16_t> played;
    through.read(0, 3 * kRate, &played);  // played from the start, without a seek
    ASSERT_EQ(through.counters().seeks, 1);

    for (const double at : {1.0, 2.013}) {
      SCOPED_TRACE(at);
      AudioDecoder jumped;
      ASSERT_TRUE(jumped.open(path, &why)) << why;
      std::vector<int16_t> heard;
      jumped.read(0, 100, &heard);
      jumped.read(at, kRate / 2, &heard);  // a jump: decoded from before the time, not through
      ASSERT_EQ(jumped.counters().seeks, 2);
      const auto from = static_cast<size_t>(std::llround(at * kRate));
      double squares = 0;
      for (size_t i = 0; i < kFirst; ++i) squares += std::pow(heard[i] - played[from + i], 2);
      EXPECT_LE(std::sqrt(squares / kFirst), c.mostRms);
      EXPECT_NEAR(toneHz(heard.data(), heard.size(), kRate), 440.0, 5.0);
    }
  }
}


// A fragmented recording read over the network, in each shape the mp4 muxer writes (an index at
// the end, one up front, none, the first fragment in the movie box) and as a plain file: after
// any seek, far or near, on or back, the sound is the recording's there, as the whole file read
// from disk gives it, and never silence. (A second played after each, in the player's steps.)
TEST(CameraSoundRules, TheSoundFollowsEverySeekOfARecordingReadOverTheNetwork) {
  constexpr int kRate = 48000;
  dk::test::TemporaryDirectory folder;
  CameraStreamOptions options;
  options.container = "mp4";
  options.width = 640;
  options.height = 360;
  options.fps = 10;
  options.seconds = 300;
  options.segmentSeconds = 2;
  options.sampleRate = kRate;
  options.toneHz = 440;
  options.movflags = "frag_keyframe+empty_moov+default_base_moof";
  std::string why;
  const std::vector<std::string> files = writeCameraStream(folder.path().string(), options, &why);
  ASSERT_EQ(files.size(), 1u) << why;
  const std::string source = (folder.path() / "source.mp4").string();
  std::ofstream(source, std::ios::binary) << files[0];

  struct Shape {
    const char* what;
    const char* movflags;
  };
  const Shape shapes[] = {
      {"mfra", "frag_keyframe+empty_moov+default_base_moof"},
      {"sidx", "frag_keyframe+empty_moov+default_base_moof+global_sidx+skip_trailer"},
      {"no index", "frag_keyframe+empty_moov+default_base_moof+skip_trailer"},
      {"first fragment in the movie box, mfra", "frag_keyframe"},
      {"first fragment in the movie box, no index", "frag_keyframe+skip_trailer"},
      {"plain", ""},
  };
  struct Seek {
    double at;
    const char* what;
  };
  const Seek seeks[] = {
      {225, "far on"},      {215, "ten seconds back"}, {60, "far back"},     {270, "far on again"},
      {273.5, "a little on"}, {272, "a little back"},    {3, "near the start"}, {150, "half way"},
  };
  auto rms = [](const std::vector<int16_t>& s) {
    double squares = 0;
    for (int16_t v : s) squares += static_cast<double>(v) * v;
    return s.empty() ? 0.0 : std::sqrt(squares / static_cast<double>(s.size()));
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.what);
    const std::string path = (folder.path() / "recording.mp4").string();
    ASSERT_TRUE(remuxTestFile(source, path, shape.movflags, &why)) << why;
    AudioDecoder whole;
    ASSERT_TRUE(whole.open(path, &why)) << why;
    auto bytes = std::make_shared<std::string>(readFile(path));
    auto farthest = std::make_shared<int64_t>(0);  // the end of the farthest read
    auto inputOf = [bytes](std::shared_ptr<int64_t> reach) {
      VideoDecoder::Input input;
      input.read = [bytes, reach](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
        const auto size = static_cast<int64_t>(bytes->size());
        if (offset >= size) return 0;
        const int64_t n = std::min(count, size - offset);
        *reach = std::max(*reach, offset + n);
        std::memcpy(out, bytes->data() + offset, static_cast<size_t>(n));
        return n;
      };
      input.size = [bytes] { return static_cast<int64_t>(bytes->size()); };
      return input;
    };
    // As the player opens it: the pictures first, whose movie box and index of fragments the
    // sound takes rather than reading them again.
    VideoDecoder pictures;
    ASSERT_TRUE(pictures.open(inputOf(std::make_shared<int64_t>(0)), &why)) << why;
    VideoDecoder::Input input = inputOf(farthest);
    input.movie = pictures.movieBox();
    input.fragmentIndex = pictures.fragmentIndex();
    EXPECT_EQ(input.fragmentIndex != nullptr, std::string(shape.what).find("mfra") != std::string::npos ||
                                                  std::string(shape.what) == "sidx");
    AudioDecoder sound;
    ASSERT_TRUE(sound.open(std::move(input), &why)) << why;
    for (const Seek& seek : seeks) {
      SCOPED_TRACE(seek.what);
      std::vector<int16_t> heard, piece, expected;
      for (int step = 0; step < 10; ++step) {
        sound.read(seek.at + step * 0.1, kRate / 10, &piece);
        heard.insert(heard.end(), piece.begin(), piece.end());
      }
      whole.read(seek.at, kRate, &expected);
      ASSERT_EQ(heard.size(), expected.size());
      ASSERT_GT(rms(expected), 4000) << "the tone is there";
      EXPECT_GT(rms(heard), 0.95 * rms(expected)) << "not silence, not in part";
      std::vector<int16_t> difference(heard.size());
      for (size_t i = 0; i < heard.size(); ++i) difference[i] = static_cast<int16_t>(heard[i] - expected[i]);
      EXPECT_LT(rms(difference), 16) << "the sound there";
    }
    if (std::string(shape.what).find("mfra") != std::string::npos) {
      EXPECT_LT(*farthest, static_cast<int64_t>(bytes->size()) - 16) << "the index at the end is not read again";
    }
  }
}

}  // namespace
}  // namespace dk::platform::test

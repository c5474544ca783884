// The camera's sound: the cloud's recordings and live segments carry it (AAC), the sound decoders
// hand it out, the streamer writes it to the audio output in step with the pictures, recorded or
// live (silence when muted or at another speed), a recording or live view without sound plays as
// before, and hostile sound is refused or heard as silence without harming the pictures.
#include <cstring>
#include <fstream>
#include <map>
#include <iterator>

#include "cloud-sim/recording_video.h"
#include "platform/media/recordings/audio_decoder.h"
#include "platform/media/sound/audio_output.h"
#include "platform/media/live/live_segment_decoder.h"
#include "platform/media/live/live_sound_buffer.h"
#include "streamer_fixture.h"
#include "test_sound.h"
#include "support/temp_directory.h"

namespace dk::platform::test {
namespace {

constexpr int kRate = 16000;  // the cloud's cameras record 16 kHz mono

// The largest difference between two equally long sounds (a large number when they are not).
int difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  if (a.size() != b.size() || a.empty()) return 1 << 20;
  int most = 0;
  for (size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(a[i] - b[i]));
  return most;
}

class SoundTest : public StreamerTest {
 protected:
  void SetUp() override {
    StreamerTest::SetUp();
    std::string why;
    sink = FileAudioOutput::create((folder.path() / "played.wav").string(), &why);
    ASSERT_TRUE(sink) << why;
    StreamerEnvironment environment = StreamerEnvironment::current();
    environment.audioOutput = [sink = sink] { return sink; };
    StreamerEnvironment::install(environment);
  }
  // Moves the clock on in small steps, as a run loop would see it.
  void playFor(double seconds) {
    for (int i = 0; i < static_cast<int>(std::lround(seconds * 20)); ++i) clock.advance(0.05);
    streamer->finishSoundWrites();
  }
  // The recording's own sound at `seconds`, decoded from the file the cloud serves.
  std::vector<int16_t> reference(double seconds, int64_t frames) {
    if (!referenceDecoder(closedId)) return {};
    AudioDecoder decoder;
    std::string why;
    EXPECT_TRUE(decoder.open(*referenceFile->filePath(), &why)) << why;
    std::vector<int16_t> out;
    decoder.read(seconds, frames, &out);
    return out;
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

TEST_F(SoundTest, TheRecordingsSoundPlaysInStepWithThePicturesAndFallsSilentWhenMutedOrFast) {
  prepareClosed();
  streamer->setRate(1.0f);
  playFor(4.0);
  EXPECT_EQ(streamer->soundSilenceReason(), "");
  EXPECT_EQ(sink->sampleRate(), kRate);
  EXPECT_EQ(sink->channels(), 1);
  // As many samples as the clock played, and the picture at the same time.
  EXPECT_EQ(sink->framesWritten(), 4 * kRate);
  EXPECT_NEAR(streamer->currentTime(), 4.0, 1e-4);
  EXPECT_NEAR(streamer->currentFrameTime(), 3.5, 1e-6) << "two frames a second";

  std::vector<int16_t> tone = played(0.5, 3.5);
  ASSERT_FALSE(tone.empty());
  EXPECT_NEAR(toneHz(tone.data(), tone.size(), kRate), 440.0, 2.0);
  EXPECT_GT(peak(tone.data(), tone.size()), 6000) << "the tone at a quarter of full scale";
  // The very sound recorded at those seconds, not just a tone like it (a sample's shift would
  // differ by a thousand; two decoders' float rounding differs by one).
  EXPECT_LE(difference(played(1.0, 2.0), reference(1.0, kRate)), 2);

  streamer->setMuteAudio(true);
  playFor(1.0);
  streamer->setMuteAudio(false);
  streamer->setRate(5.0f);
  playFor(1.0);
  streamer->setRate(1.0f);
  playFor(1.0);
  EXPECT_EQ(sink->framesWritten(), 7 * kRate) << "the clock's time, muted or not";
  const std::vector<int16_t> muted = played(4.0, 5.0), fast = played(5.0, 6.0);
  EXPECT_EQ(peak(muted.data(), muted.size()), 0) << "muted";
  EXPECT_EQ(peak(fast.data(), fast.size()), 0) << "silent at 5x";
  // Back at 1x, the sound is that of the picture's place: 4 s + 1 s muted + 5 s at 5x.
  EXPECT_NEAR(streamer->currentTime(), 11.0, 1e-4);
  EXPECT_LE(difference(played(6.0, 7.0), reference(10.0, kRate)), 2);

  // Paused, nothing more is written.
  streamer->setRate(0.0f);
  playFor(1.0);
  EXPECT_EQ(sink->framesWritten(), 7 * kRate);
}

// A fragmented recording without an index of its fragments grows longer as they are read while
// it plays: its sound plays on past what was known when it started.
TEST_F(SoundTest, AFragmentedRecordingsSoundPlaysOnIntoTheFragmentsReadWhilePlaying) {
  sim->updateWorld([](cloudsim::World& w) { w.recordingMovflags = "frag_keyframe+empty_moov+default_base_moof+skip_trailer"; });
  prepareClosed();
  const double known = streamer->currentItem()->duration();
  ASSERT_LT(known, 20.0) << "only the first fragments are read";
  streamer->setRate(1.0f);
  playFor(known + 3.0);
  EXPECT_EQ(sink->framesWritten(), std::lround((known + 3.0) * kRate));
  EXPECT_LE(difference(played(known + 1.0, known + 2.0), reference(known + 1.0, kRate)), 2);
}

TEST_F(SoundTest, ARecordingWithoutSoundStillPlays) {
  sim->updateWorld([&](cloudsim::World& w) {
    for (auto& camera : w.cameras) camera.audioEnabled = false;  // its microphone was off
  });
  prepareClosed();
  streamer->setRate(1.0f);
  playFor(2.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  EXPECT_NEAR(streamer->currentFrameTime(), 1.75, 0.25 + 1e-6) << "two frames a second";
  EXPECT_EQ(streamer->soundSilenceReason(), "no sound track");
  EXPECT_EQ(sink->framesWritten(), 0);
}

// --- Hostile sound, on the file the cloud makes ---

struct Box {
  std::string type;
  size_t at = 0, size = 0;  // the whole box
};

std::vector<Box> children(const std::string& f, size_t from, size_t to) {
  std::vector<Box> boxes;
  while (from + 8 <= to) {
    size_t size = 0;
    for (int i = 0; i < 4; ++i) size = (size << 8) | static_cast<uint8_t>(f[from + static_cast<size_t>(i)]);
    if (size < 8 || from + size > to) break;
    boxes.push_back({f.substr(from + 4, 4), from, size});
    from += size;
  }
  return boxes;
}

uint32_t be32(const std::string& f, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(f[at + static_cast<size_t>(i)]);
  return v;
}

// Where each sample of the sound track lies in the file: offset and size.
std::vector<std::pair<size_t, size_t>> soundSamples(const std::string& f) {
  std::vector<std::pair<size_t, size_t>> samples;
  std::function<void(size_t, size_t, bool&, std::map<std::string, Box>&)> walk =
      [&](size_t from, size_t to, bool& sound, std::map<std::string, Box>& tables) {
        for (const Box& b : children(f, from, to)) {
          if (b.type == "moov" || b.type == "trak" || b.type == "mdia" || b.type == "minf" || b.type == "stbl") {
            if (b.type == "trak") {
              bool isSound = false;
              std::map<std::string, Box> found;
              walk(b.at + 8, b.at + b.size, isSound, found);
              if (!isSound) continue;
              const Box stsz = found["stsz"], stsc = found["stsc"], stco = found["stco"];
              std::vector<size_t> sizes(be32(f, stsz.at + 16));
              for (size_t i = 0; i < sizes.size(); ++i) sizes[i] = be32(f, stsz.at + 20 + 4 * i);
              const uint32_t chunks = be32(f, stco.at + 12), runs = be32(f, stsc.at + 12);
              size_t sample = 0;
              for (uint32_t c = 1; c <= chunks && sample < sizes.size(); ++c) {
                uint32_t perChunk = 0;
                for (uint32_t r = 0; r < runs; ++r) {
                  if (be32(f, stsc.at + 16 + 12 * r) <= c) perChunk = be32(f, stsc.at + 20 + 12 * r);
                }
                size_t offset = be32(f, stco.at + 16 + 4 * (c - 1));
                for (uint32_t k = 0; k < perChunk && sample < sizes.size(); ++k, ++sample) {
                  samples.emplace_back(offset, sizes[sample]);
                  offset += sizes[sample];
                }
              }
            } else {
              walk(b.at + 8, b.at + b.size, sound, tables);
            }
          } else if (b.type == "hdlr") {
            sound = f.compare(b.at + 16, 4, "soun") == 0;
          } else {
            tables[b.type] = b;
          }
        }
      };
  bool ignored = false;
  std::map<std::string, Box> top;
  walk(0, f.size(), ignored, top);
  return samples;
}

TEST(HostileSound, IsRefusedOrHeardAsSilenceAndThePicturesStayWhole) {
  cloudsim::detail::VideoSpec spec;
  spec.label = "Porch";
  spec.startTime = 1699990000.0;
  spec.duration = 6.0;
  spec.sound = true;
  const std::string clean = cloudsim::detail::encodeLabelledVideo(spec);
  ASSERT_FALSE(clean.empty());
  // The decoder's header (AudioSpecificConfig) as the muxer writes it: AAC-LC, 16 kHz, mono.
  const std::string config("\x05\x80\x80\x80\x05\x14\x08", 7);
  const size_t configAt = clean.find(config);
  ASSERT_NE(configAt, std::string::npos);
  const auto samples = soundSamples(clean);
  ASSERT_GT(samples.size(), 80u) << "6 s of 64 ms packets";

  struct Case {
    const char* name;
    std::function<void(std::string&)> spoil;
    const char* refusal;  // nullptr: it opens, and its sound is what it is
  };
  const Case cases[] = {
      {"clean", [](std::string&) {}, nullptr},
      // Sampling frequency index 0: 96 kHz.
      {"absurd sample rate", [&](std::string& f) { f[configAt + 5] = '\x10'; f[configAt + 6] = '\x08'; },
       "unusable sample rate 96000"},
      // Channel configuration 7: eight channels.
      {"absurd channel count", [&](std::string& f) { f[configAt + 6] = '\x38'; }, "unusable channel count 8"},
      {"garbage packets",
       [&](std::string& f) {
         uint32_t seed = 12345;
         for (const auto& [offset, size] : samples) {
           for (size_t i = 0; i < size; ++i) f[offset + i] = static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
         }
       },
       nullptr},
  };
  dk::test::TemporaryDirectory folder;
  VideoDecoder cleanVideo;
  const std::string cleanPath = (folder.path() / "clean.mp4").string();
  std::ofstream(cleanPath, std::ios::binary) << clean;
  ASSERT_TRUE(cleanVideo.open(cleanPath));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = clean;
    c.spoil(bytes);
    const std::string path = (folder.path() / "spoilt.mp4").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

    AudioDecoder sound;
    std::string why;
    const bool opened = sound.open(path, &why);
    EXPECT_EQ(opened, c.refusal == nullptr) << why;
    if (c.refusal) {
      EXPECT_EQ(why, c.refusal);
    }
    std::vector<int16_t> heard;
    sound.read(1.0, 3 * kRate, &heard);  // refused: silence of the length asked for
    EXPECT_EQ(heard.size(), static_cast<size_t>(3 * kRate) * std::max(1, sound.format().channels));
    if (std::string(c.name) == "clean") {
      EXPECT_NEAR(toneHz(heard.data(), heard.size(), kRate), 440.0, 2.0);
    }
    if (std::string(c.name) == "garbage packets") {
      EXPECT_GT(sound.counters().framesRefused + sound.counters().framesDecoded, 0);
      EXPECT_NE(heard, [&] {
        std::vector<int16_t> tone;
        AudioDecoder cleanSound;
        EXPECT_TRUE(cleanSound.open(cleanPath));
        cleanSound.read(1.0, 3 * kRate, &tone);
        return tone;
      }()) << "the spoilt packets are not the tone";
    }

    // The pictures are those of the clean file, frame for frame.
    VideoDecoder video;
    ASSERT_TRUE(video.open(path, &why)) << why;
    ASSERT_EQ(video.frameTimes(), cleanVideo.frameTimes());
    EXPECT_DOUBLE_EQ(video.duration(), cleanVideo.duration());
    for (size_t i : {size_t{0}, video.frameCount() / 2, video.frameCount() - 1}) {
      EXPECT_TRUE(sameFrame(video.frameAt(i), cleanVideo.frameAt(i))) << "frame " << i;
    }
  }
}

// --- The live view's sound ---

// The newest whole segment when the view opens (the world's now is 1700000000).
constexpr double kLiveJoin = 1699999998.0;

class LiveSoundTest : public SoundTest {
 protected:
  // The camera's clock and ours move on together, in small steps.
  void livePlayFor(double seconds) {
    for (int i = 0; i < static_cast<int>(std::lround(seconds * 20)); ++i) {
      sim->updateWorld([](cloudsim::World& w) { w.now += 0.05; });
      clock.advance(0.05);
    }
    streamer->finishSoundWrites();
  }
  // The quietest 20 ms of what was played between `from` and `to`.
  int quietestWindow(double from, double to) const {
    const std::vector<int16_t> sound = played(from, to);
    int quietest = 1 << 20;
    for (size_t at = 0; at + kRate / 50 <= sound.size(); at += kRate / 50) {
      quietest = std::min(quietest, peak(sound.data() + at, kRate / 50));
    }
    return quietest;
  }
};

TEST_F(LiveSoundTest, TheLiveSoundPlaysInStepWithThePicturesFromSegmentToSegmentAndMutedIsSilent) {
  openLiveAndPlay();
  livePlayFor(5.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  EXPECT_EQ(streamer->soundSilenceReason(), "");
  EXPECT_EQ(sink->sampleRate(), kRate);
  EXPECT_EQ(sink->channels(), 1);
  // As many samples as the live clock moved, and the picture of that moment on screen.
  EXPECT_EQ(sink->framesWritten(), 5 * kRate);
  EXPECT_NEAR(streamer->currentFrameTime(), kLiveJoin + 4.75, 0.25 + 1e-6) << "two frames a second";
  // The live tone, pitched apart from the recordings' 440 Hz, with no gap where one segment
  // gives way to the next (2 s and 4 s in); the first 16 ms fade in.
  const std::vector<int16_t> tone = played(0.05, 5.0);
  ASSERT_FALSE(tone.empty());
  EXPECT_NEAR(toneHz(tone.data(), tone.size(), kRate), 660.0, 2.0);
  EXPECT_GT(quietestWindow(0.05, 5.0), 6000) << "the tone at a quarter of full scale throughout";

  streamer->setMuteAudio(true);
  livePlayFor(1.0);
  streamer->setMuteAudio(false);
  livePlayFor(1.0);
  EXPECT_EQ(sink->framesWritten(), 7 * kRate) << "the clock's time, muted or not";
  const std::vector<int16_t> muted = played(5.0, 6.0);
  EXPECT_EQ(peak(muted.data(), muted.size()), 0) << "muted";
  EXPECT_GT(quietestWindow(6.0, 7.0), 6000) << "heard again, at once";

  // Paused, the live view stops and nothing more is written.
  streamer->setRate(0.0f);
  livePlayFor(1.0);
  EXPECT_EQ(sink->framesWritten(), 7 * kRate);
}

TEST_F(LiveSoundTest, ALiveViewWithoutSoundStillPlays) {
  sim->updateWorld([&](cloudsim::World& w) {
    for (auto& camera : w.cameras) camera.audioEnabled = false;  // its microphone is off
  });
  openLiveAndPlay();
  livePlayFor(3.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  EXPECT_NEAR(streamer->currentFrameTime(), kLiveJoin + 2.75, 0.25 + 1e-6);
  EXPECT_EQ(streamer->soundSilenceReason(), "no sound in the live stream");
  EXPECT_EQ(sink->framesWritten(), 0);
}

TEST(LiveSoundBufferTest, KeepsWhatItHoldsFillsShortGapsAndStaysBounded) {
  // Stretches of 8 kHz mono sound, each sample holding `level`.
  auto stretch = [](double seconds, int16_t level, int rate = 8000, int channels = 1) {
    LiveSegmentSound s;
    s.sampleRate = rate;
    s.channels = channels;
    s.samples.assign(static_cast<size_t>(std::lround(seconds * rate)) * static_cast<size_t>(channels), level);
    return s;
  };
  constexpr double t0 = 1700000000.0;
  LiveSoundBuffer buffer;
  std::vector<int16_t> out;
  int rate = 0, channels = 0;
  EXPECT_FALSE(buffer.format(&rate, &channels));
  buffer.add(t0, stretch(2.0, 1));
  buffer.add(t0 + 1.5, stretch(1.0, 2));       // repeats half a second held: the held sound stays
  buffer.add(t0 + 2.75, stretch(0.25, 3));     // a quarter second on: silence between
  buffer.add(t0 + 3.0, stretch(1.0, 4, 16000));  // another format: dropped
  ASSERT_TRUE(buffer.format(&rate, &channels));
  EXPECT_EQ(rate, 8000);
  EXPECT_EQ(channels, 1);
  buffer.read(t0 + 1.0, 16000, &out);  // 1 s to 3 s
  ASSERT_EQ(out.size(), 16000u);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[7999], 1);
  EXPECT_EQ(out[8000], 2) << "what followed on from the held sound";
  EXPECT_EQ(out[11999], 2);
  EXPECT_EQ(out[12000], 0) << "a short gap is silence";
  EXPECT_EQ(out[14000], 3);
  EXPECT_EQ(buffer.heldFrames(), 0) << "what was read is let go";
  buffer.add(t0 + 2.5, stretch(1.0, 5));  // half of it already played
  buffer.read(t0 + 3.0, 8000, &out);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[3999], 5);
  EXPECT_EQ(out[4000], 0);

  // Far from what it holds (a rejoined stream): afresh there. Held at most kMaxSeconds.
  buffer.add(t0 + 100, stretch(LiveSoundBuffer::kMaxSeconds + 5, 6));
  EXPECT_EQ(buffer.heldFrames(), static_cast<int64_t>(LiveSoundBuffer::kMaxSeconds * 8000));
  buffer.read(t0 + 100, 8000, &out);
  EXPECT_EQ(out.front(), 0) << "the oldest seconds went first";
  buffer.read(t0 + 100 + 5, 8000, &out);
  EXPECT_EQ(out.front(), 6);

  // Everything held was played; then the stream is rejoined a second back (its buffer restarts):
  // what was heard already is not heard again, the rest is.
  LiveSoundBuffer rejoined;
  rejoined.add(t0, stretch(2.0, 7));
  rejoined.read(t0, 16000, &out);
  EXPECT_EQ(rejoined.heldFrames(), 0);
  rejoined.add(t0 + 1.0, stretch(2.0, 8));
  rejoined.read(t0 + 1.0, 16000, &out);
  EXPECT_EQ(out[0], 0) << "played already";
  EXPECT_EQ(out[7999], 0);
  EXPECT_EQ(out[8000], 8);
  EXPECT_EQ(out[15999], 8);
}

// Where each whole ADTS header (AAC-LC, 16 kHz, mono: the cloud's) lies in a live segment.
std::vector<size_t> adtsHeaders(const std::string& f) {
  std::vector<size_t> found;
  for (size_t at = 0; at + 7 <= f.size(); ++at) {
    const auto b = [&](size_t i) { return static_cast<uint8_t>(f[at + i]); };
    const bool inOnePacket = at / 188 == (at + 6) / 188;  // not cut by a transport packet's header
    if (inOnePacket && b(0) == 0xFF && b(1) == 0xF1 && b(2) == 0x60 && (b(3) & 0xC0) == 0x40) found.push_back(at);
  }
  return found;
}

TEST(HostileLiveSound, IsRefusedOrSilencedAndThePicturesStayWhole) {
  cloudsim::detail::VideoSpec spec;
  spec.label = "Porch";
  spec.startTime = kLiveJoin;
  spec.duration = 2.0;
  spec.container = "mpegts";
  spec.sound = true;
  spec.toneHz = 660;
  const std::string clean = cloudsim::detail::encodeLabelledVideo(spec);
  ASSERT_FALSE(clean.empty());
  const std::vector<size_t> headers = adtsHeaders(clean);
  ASSERT_GE(headers.size(), 30u) << "2 s of 64 ms frames";

  struct Decoded {
    std::vector<ImagePtr> pictures;
    std::vector<int16_t> sound;
    std::string refusal;
  };
  const int64_t pictureBudget = LivePictureLimits::segmentBudget(2.0);
  auto decode = [&](const std::string& bytes, int64_t soundBudget) {
    Decoded d;
    LiveSegmentDecoder decoder;
    std::string why;
    EXPECT_TRUE(decoder.open(std::make_shared<const std::string>(bytes), pictureBudget, soundBudget, &why)) << why;
    LiveSegmentFrame frame;
    for (LiveSegmentDecoder::Step step; (step = decoder.next(frame, &why)) != LiveSegmentDecoder::Step::End;) {
      if (step == LiveSegmentDecoder::Step::Failed) {
        ADD_FAILURE() << why;
        break;
      }
      d.pictures.push_back(frame.image);
      for (const LiveSegmentSound& s : decoder.takeSound()) d.sound.insert(d.sound.end(), s.samples.begin(), s.samples.end());
    }
    for (const LiveSegmentSound& s : decoder.takeSound()) d.sound.insert(d.sound.end(), s.samples.begin(), s.samples.end());
    d.refusal = decoder.soundRefusal();
    return d;
  };
  const Decoded reference = decode(clean, LiveSoundLimits::segmentBudget(2.0));
  ASSERT_EQ(reference.pictures.size(), 4u);
  EXPECT_EQ(reference.refusal, "");
  EXPECT_NEAR(toneHz(reference.sound.data(), reference.sound.size(), kRate), 660.0, 2.0);
  EXPECT_GE(reference.sound.size(), size_t{2 * kRate}) << "the whole segment's sound";

  struct Case {
    const char* name;
    std::function<void(std::string&)> spoil;
    int64_t soundBudget;
    const char* refusal;
  };
  const Case cases[] = {
      // Sampling frequency index 0: 96 kHz.
      {"absurd sample rate", [&](std::string& f) { for (size_t at : headers) f[at + 2] = '\x40'; },
       LiveSoundLimits::segmentBudget(2.0), "unusable sample rate 96000"},
      // Channel configuration 7: eight channels.
      {"absurd channel count",
       [&](std::string& f) {
         for (size_t at : headers) {
           f[at + 2] = '\x61';
           f[at + 3] = static_cast<char>(static_cast<uint8_t>(f[at + 3]) | 0xC0);
         }
       },
       LiveSoundLimits::segmentBudget(2.0), "unusable channel count 8"},
      {"garbage packets",
       [&](std::string& f) {
         uint32_t seed = 12345;
         for (size_t at : headers) {
           for (size_t i = at + 7; i < (at / 188 + 1) * 188; ++i) f[i] = static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
         }
       },
       LiveSoundLimits::segmentBudget(2.0), "the sound does not decode"},
      {"more than its budget", [](std::string&) {}, 16 * 1024, "more sound than a segment may carry"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = clean;
    c.spoil(bytes);
    const Decoded d = decode(bytes, c.soundBudget);
    EXPECT_EQ(d.refusal, c.refusal);
    EXPECT_LT(d.sound.size(), size_t{kRate}) << "at most what came before the sound was given up";
    // The pictures are those of the clean segment, picture for picture.
    ASSERT_EQ(d.pictures.size(), reference.pictures.size());
    for (size_t i = 0; i < d.pictures.size(); ++i) EXPECT_TRUE(sameFrame(d.pictures[i], reference.pictures[i])) << i;
  }
}

TEST(SoundOutputs, AFileKeepsOneFormatAndADeviceThatIsNotThereIsReported) {
  dk::test::TemporaryDirectory folder;
  const std::string path = (folder.path() / "out.wav").string();
  std::filesystem::create_symlink(folder.path() / "elsewhere.wav", path);
  std::string why;
  auto file = FileAudioOutput::create(path, &why);
  ASSERT_TRUE(file) << why;
  EXPECT_FALSE(std::filesystem::is_symlink(path)) << "a link planted there is replaced, not followed";
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "elsewhere.wav"));
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ASSERT_TRUE(file->configure(8000, 2));
  EXPECT_FALSE(file->configure(16000, 1)) << "one file, one format";
  const int16_t frames[] = {1, -1, 2, -2, 3, -3};
  file->write(frames, 3);
  const Wav wav = readWav(path);
  EXPECT_EQ(wav.rate, 8000);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.samples, (std::vector<int16_t>{1, -1, 2, -2, 3, -3}));

  EXPECT_FALSE(makeDeviceAudioOutput("dk-no-such-device", &why));
  EXPECT_NE(why.find("does not open"), std::string::npos) << why;
  // ALSA's null device takes sound like a sound card and drops it.
  auto device = makeDeviceAudioOutput("null", &why);
  ASSERT_TRUE(device) << why;
  EXPECT_TRUE(device->configure(16000, 1));
  const std::vector<int16_t> second(16000, 1000);
  device->write(second.data(), 16000);
  device->pause();
  EXPECT_GT(device->leadSeconds(), 0);
}

}  // namespace
}  // namespace dk::platform::test

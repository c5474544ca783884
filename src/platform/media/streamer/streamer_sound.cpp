#include "platform/media/streamer/streamer_sound.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/media/recordings/audio_decoder.h"

namespace dk::platform {
namespace {

// How often the sound is written between the picture's ticks (a slow picture ticks twice a second).
constexpr double kPumpSeconds = 0.04;
// A read this close to where the last one ended carries on from there (clock rounding).
constexpr double kContinuousSeconds = 0.02;

QueuePtr audioQueue() {
  static QueuePtr queue = DispatchQueue::createSerial("com.kelo.streamer.audio");
  return queue;
}

// One stretch of clock time to fill with sound.
struct Segment {
  uint64_t run = 0;
  double runClock = 0;   // clock time at which the run's first sample plays
  double clockFrom = 0;  // the stretch starts here
  double clockTo = 0;    // and ends here
  double itemFrom = 0;  // item time at the stretch's start
  bool audible = false;
};

}  // namespace

// The playback run the main thread is writing for.
struct SoundRun {
  uint64_t id = 0;
  double anchorItem = 0, anchorClock = 0, duration = 0;
  float rate = 0;
  bool muted = false;
  double sentUntil = 0;  // clock time written up to
  std::shared_ptr<Timer> timer;
};

// The decoder (or the live sound) and the output, on the audio queue only (the reason is also
// read on main).
struct StreamerSound::Feed {
  RecordingSourcePtr source;
  std::shared_ptr<const Mp4Movie> movie;  // read by the pictures' decoder already (may be null)
  std::shared_ptr<const Mp4FragmentIndex> fragmentIndex;  // likewise, of a fragmented recording
  double startTime = 0;  // where the item's 0 lies on the file's own time line (the first picture)
  std::shared_ptr<LiveSoundBuffer> live;
  AudioOutputPtr output;
  AudioDecoder decoder;
  AudioDecoder::Format format;
  bool tried = false;
  bool configured = false;
  uint64_t run = 0;
  int64_t runFrames = 0;
  int64_t nextItemSample = -1;
  std::vector<int16_t> pcm;

  mutable std::mutex mutex;
  std::string reason;  // guarded by mutex

  void setReason(std::string why) {
    std::lock_guard lock(mutex);
    reason = std::move(why);
  }

  // Configures the output for `shape`; false (with the reason) when it cannot play it.
  bool configure(AudioDecoder::Format shape) {
    format = shape;
    configured = output->configure(format.sampleRate, format.channels);
    if (!configured) {
      setReason("the output cannot play " + std::to_string(format.sampleRate) + " Hz × " +
                std::to_string(format.channels));
    }
    return configured;
  }

  // The live view's sound is ready once its first stretch has arrived.
  bool liveReady() {
    if (tried) return configured;
    AudioDecoder::Format shape;
    if (!live->format(&shape.sampleRate, &shape.channels)) {
      const std::string refused = live->refusal();
      setReason(refused.empty() ? "no sound in the live stream" : refused);
      return false;
    }
    tried = true;
    setReason("");
    return configure(shape);
  }

  bool ready() {
    if (live) return liveReady();
    if (!tried) {
      tried = true;
      std::string why;
      VideoDecoder::Input input;
      input.read = [source = source](int64_t offset, uint8_t* out, int64_t count) {
        return source->read(offset, out, count);
      };
      input.size = [source = source] { return source->size(); };
      input.prefetch = [source = source](int64_t offset, int64_t length) { source->prefetch(offset, length); };
      input.movie = movie;
      input.fragmentIndex = fragmentIndex;
      if (!decoder.open(std::move(input), &why)) {
        setReason(why);
      } else {
        configure(decoder.format());
      }
    }
    return configured;
  }

  void read(double seconds, int64_t frames) {
    if (live) {
      live->read(seconds, frames, &pcm);
    } else {
      decoder.read(seconds + startTime, frames, &pcm);
    }
  }

  void write(const Segment& s) {
    if (!ready()) return;
    const int rate = format.sampleRate;
    if (s.run != run) {
      // A new run, or the first stretch heard of one whose sound was not there before.
      run = s.run;
      runFrames = std::llround((s.clockFrom - s.runClock) * rate);
      nextItemSample = -1;
    }
    // Counted from the run's start, so rounding never adds up to drift.
    const auto target = static_cast<int64_t>(std::llround((s.clockTo - s.runClock) * rate));
    const int64_t frames = target - runFrames;
    if (frames <= 0) return;
    runFrames = target;
    int64_t from = std::llround(s.itemFrom * rate);
    if (s.audible && nextItemSample >= 0 &&
        std::llabs(from - nextItemSample) <= std::llround(kContinuousSeconds * rate)) {
      from = nextItemSample;
    }
    // A second at a time, so a long stretch (the clock jumped) holds little memory.
    for (int64_t done = 0; done < frames;) {
      const int64_t n = std::min<int64_t>(frames - done, rate);
      if (s.audible) {
        read(static_cast<double>(from + done) / rate, n);
      } else {
        pcm.assign(static_cast<size_t>(n) * static_cast<size_t>(format.channels), 0);
      }
      output->write(pcm.data(), n);
      done += n;
    }
    nextItemSample = s.audible ? from + frames : -1;
  }
};

StreamerSound::StreamerSound(OutputFactory output) : factory_(std::move(output)) {}

StreamerSound::~StreamerSound() { halt(); }

void StreamerSound::setSource(RecordingSourcePtr source, std::shared_ptr<const Mp4Movie> movie,
                              std::shared_ptr<const Mp4FragmentIndex> fragmentIndex, double startTime) {
  halt();
  feed_.reset();
  if (!source || !askOutput()) return;  // nowhere to play it: the sound is not even read
  feed_ = std::make_shared<Feed>();
  feed_->source = std::move(source);
  feed_->movie = std::move(movie);
  feed_->fragmentIndex = std::move(fragmentIndex);
  feed_->startTime = startTime;
  feed_->output = output_;
}

void StreamerSound::setLiveSound(std::shared_ptr<LiveSoundBuffer> sound) {
  halt();
  feed_.reset();
  if (!sound || !askOutput()) return;
  feed_ = std::make_shared<Feed>();
  feed_->live = std::move(sound);
  feed_->output = output_;
}

bool StreamerSound::askOutput() {
  if (!outputAsked_) {
    outputAsked_ = true;
    output_ = factory_ ? factory_() : makeDefaultAudioOutput();
  }
  return output_ != nullptr;
}

void StreamerSound::play(double anchorItem, double anchorClock, float rate, double duration, bool muted) {
  halt();
  if (!feed_ || !(rate > 0)) return;
  static uint64_t runs = 0;
  run_ = std::make_shared<SoundRun>();
  run_->id = ++runs;
  run_->anchorItem = anchorItem;
  run_->anchorClock = anchorClock;
  run_->rate = rate;
  run_->duration = duration;
  run_->muted = muted;
  run_->sentUntil = anchorClock;
  run_->timer = Timer::scheduled(kPumpSeconds, true, DispatchQueue::main(), [this, weak = std::weak_ptr<SoundRun>(run_)] {
    if (weak.lock()) pump();
  });
  pump();
}

void StreamerSound::setDuration(double duration) {
  if (run_) run_->duration = duration;
}

void StreamerSound::setMuted(bool muted) {
  if (!run_ || run_->muted == muted) return;
  pump();  // what was due so far keeps the old setting
  run_->muted = muted;
}

void StreamerSound::pump() {
  if (!run_ || !feed_) return;
  SoundRun& r = *run_;
  const double lead = output_ ? output_->leadSeconds() : 0;
  const double end = r.anchorClock + std::max(0.0, r.duration - r.anchorItem) / r.rate;
  const double to = std::min(platform::now() + lead, end);
  if (to <= r.sentUntil) return;
  Segment s;
  s.run = r.id;
  s.runClock = r.anchorClock;
  s.clockFrom = r.sentUntil;
  s.clockTo = to;
  s.itemFrom = r.anchorItem + (r.sentUntil - r.anchorClock) * r.rate;
  // Sound only at the speed it was recorded at: faster or slower it would not be understood.
  s.audible = !r.muted && r.rate == 1.0f;
  r.sentUntil = to;
  audioQueue()->async([feed = feed_, s] { feed->write(s); });
}

void StreamerSound::halt() {
  if (!run_) return;
  run_->timer->invalidate();
  run_.reset();
  if (output_) audioQueue()->async([output = output_] { output->pause(); });
}

void StreamerSound::finishWrites() { audioQueue()->sync([] {}); }

std::string StreamerSound::silenceReason() const {
  if (!feed_) return outputAsked_ && !output_ ? "no sound output" : "nothing playing";
  std::lock_guard lock(feed_->mutex);
  return feed_->reason;
}

}  // namespace dk::platform

#include "platform/media/streamer/dk_camera_streamer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/data.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/live/live_stream_source.h"
#include "platform/media/streamer/streamer_sound.h"
#include "platform/media/live/talk_uplink.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/media/recordings/recording_source.h"
#include "platform/net/credential_scope.h"
#include "platform/ui/layer.h"

namespace dk::platform {
namespace {

constexpr const char* kStreamerErrorDomain = "DKCameraStreamerErrorDomain";
constexpr uint64_t kAudioStreamingStateOpening = 1;

struct Script {
  std::mutex mutex;
  StreamerEnvironment environment;
  int failingPreparations = 0;
  ErrorPtr preparationError;
  int failingAudioStarts = 0;
  ErrorPtr audioError;
};

Script& script() {
  static Script s;
  return s;
}

std::string number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

// How often the end of an open recording asks whether more has been recorded.
constexpr double kGrowthProbeSeconds = 3.0;
// How far past the frame shown a fragmented recording's frame table is read.
constexpr double kTableReadAheadSeconds = 10.0;

// A decoder with the recording it reads (the held bytes go when the source goes), and the frame
// playback wants shown next. Requests are merged: while one decode runs, newer requests replace
// the waiting one, so fast playback decodes the newest frame instead of a queue of stale ones.
struct DecoderBox {
  RecordingSourcePtr source;
  VideoDecoder decoder;  // decode queue only

  std::mutex mutex;  // guards the four below (main thread and decode queue)
  size_t wanted = 0;
  double wantedTime = -1;  // the frame at this time instead, when beyond the frames known (>= 0)
  int64_t wantedStep = 0;  // and this many frames from it (a step across frames not read yet)
  uint64_t wantedGeneration = 0;
  bool decoding = false;  // a decode task is queued or running
};

// A fragmented recording's frame table as it stands after reading more of its fragments.
struct FrameTable {
  std::vector<double> times;
  std::vector<size_t> gaps;  // frames after which frames are not read yet
  double duration = 0;
  bool complete = false;
  bool toEnd = false;  // the last frame is the recording's
};

// On the decode queue: reads a fragmented recording's table on to `seconds`; the table when it
// changed (or `always`), else nothing.
std::shared_ptr<const FrameTable> extendTable(VideoDecoder& decoder, double seconds, bool always) {
  if (decoder.complete() && !always) return nullptr;
  const size_t count = decoder.frameCount();
  const double duration = decoder.duration();
  decoder.extendTo(seconds);
  if (!always && decoder.frameCount() == count && decoder.duration() == duration && !decoder.complete()) return nullptr;
  return std::make_shared<const FrameTable>(
      FrameTable{decoder.frameTimes(), decoder.gapsAfter(), decoder.duration(), decoder.complete(), decoder.reachesEnd()});
}

// On the decode queue: the frame `step` frames from the one showing at `seconds`, reading the
// fragments the way crosses first.
size_t frameStepped(VideoDecoder& decoder, double seconds, int64_t step) {
  decoder.extendTo(seconds);
  for (int reads = 0; reads < 64; ++reads) {
    const auto from = static_cast<int64_t>(decoder.frameIndexAt(seconds));
    const int64_t last = static_cast<int64_t>(decoder.frameCount()) - 1;
    const int64_t to = std::clamp<int64_t>(from + step, 0, std::max<int64_t>(last, 0));
    const auto& gaps = decoder.gapsAfter();
    const auto lo = static_cast<size_t>(std::min(from, to)), hi = static_cast<size_t>(std::max(from, to));
    auto gap = std::lower_bound(gaps.begin(), gaps.end(), lo);
    const bool across = gap != gaps.end() && *gap < hi;
    const bool past = from + step > last && !decoder.reachesEnd();
    if (!across && !past) return static_cast<size_t>(to);
    bool grew = false;
    if (past) {
      grew = decoder.extendTo(decoder.frameTimes().back());
    } else if (step < 0) {
      // The gap nearest below: the frame just before the frames after it.
      auto below = std::lower_bound(gaps.begin(), gaps.end(), hi);
      --below;
      grew = decoder.extendTo(decoder.frameTimes()[*below + 1] - 1e-6);
    } else {
      grew = decoder.extendTo(decoder.frameTimes()[*gap]);
    }
    if (!grew) return static_cast<size_t>(to);
  }
  return decoder.frameIndexAt(seconds);
}

// Why reading a recording failed (the HTTP error, with its reply), unless it was cancelled on
// purpose.
ErrorPtr fetchFailure(const RecordingSourcePtr& source) {
  ErrorPtr error = source ? source->error() : nullptr;
  if (!error || (error->domain() == kURLErrorDomain && error->code() == kURLErrorCancelled)) return nullptr;
  return error;
}

// How long (in the recording's own time) damaged frames may go by with the last good picture
// left on screen before the item fails: a damaged stretch of a real upload is passed over, a
// recording that has nothing good to show any more is not played on as a still picture.
constexpr double kDamagedSecondsPassedOver = 5.0;

}  // namespace

void StreamerEnvironment::install(StreamerEnvironment environment) {
  std::lock_guard lock(script().mutex);
  script().environment = std::move(environment);
}

StreamerEnvironment StreamerEnvironment::current() {
  std::lock_guard lock(script().mutex);
  return script().environment;
}

void StreamerEnvironment::failNextPreparations(int count, ErrorPtr error) {
  std::lock_guard lock(script().mutex);
  script().failingPreparations = count;
  script().preparationError = std::move(error);
}

void StreamerEnvironment::failNextAudioStarts(int count, ErrorPtr error) {
  std::lock_guard lock(script().mutex);
  script().failingAudioStarts = count;
  script().audioError = std::move(error);
}

void StreamerEnvironment::clearScriptedFailures() {
  std::lock_guard lock(script().mutex);
  script().failingPreparations = 0;
  script().failingAudioStarts = 0;
}

struct DKCameraStreamer::State {
  std::weak_ptr<DKCameraStreamer> owner;
  std::shared_ptr<Layer> layer;
  std::weak_ptr<DKCameraStreamerDelegete> delegate;
  QueuePtr decodeQueue = DispatchQueue::createSerial("com.kelo.streamer.decode");
  RecordingSourcePtr source;  // the current item's bytes
  std::shared_ptr<Timer> growthTimer;

  uint64_t status = DKCameraStreamerStatusReadyToPlay;
  uint64_t playback = DKPlaybackStatePaused;
  uint64_t audio = DKAudioStreamingStateStopped;
  ErrorPtr failure, audioReason;
  DKStreamerItemPtr item;
  // Changes with every item and every fetch, so that late results of earlier work are dropped.
  uint64_t generation = 0;
  std::shared_ptr<DecoderBox> box;
  std::vector<double> frameTimes;
  double duration = 0;
  // A fragmented recording's table holds the fragments read so far; it grows ahead of playback.
  // A seek far into it reads the fragments there first: the table then has gaps.
  bool tableComplete = true;
  bool tableToEnd = true;
  std::vector<size_t> gaps;
  bool awaitingTable = false;  // parked until more of the table has been read
  bool playOnAfterTable = false;  // and then playing (else paused)
  bool openRecording = false;
  // Playback waits at the end of an open recording for it to grow (buffering); any seek, step
  // or pause ends the wait.
  bool parked = false;
  // A growth probe (and the reopening of a longer take) is on the decode queue; one at a time.
  bool probing = false;

  float rate = 0;
  bool muted = false;
  double storedTime = 0;   // the position while not playing, and the anchor while playing
  double anchorClock = 0;  // clock time at the anchor
  size_t displayedIndex = 0;
  // A good picture of this item has been shown; the time of the first damaged frame passed over
  // since the last good one (-1: none).
  bool shownGood = false;
  double damagedSince = -1;
  // Asked to play before any picture of the item was shown: buffering until the first one is.
  bool awaitingPicture = false;
  // The frame last asked for gave no picture, for no reason known (it does not decode).
  bool blank = false;
  bool asked = false;  // a frame was asked for since the item became ready
  std::shared_ptr<Timer> ticker;
  ImagePtr frame;
  double frameTime = -1;
  // A live item plays from its source instead of a recording; its time is the camera's clock.
  std::shared_ptr<LiveStreamSource> live;
  double liveTime = 0;
  int64_t liveFailedCamera = 0, liveFailedSequence = -1;  // the last live view that failed, and its segment
  std::shared_ptr<TalkUplink> talk;
  // The output is chosen when the first recording arrives, from the environment of that moment.
  StreamerSound sound{[] {
    auto factory = StreamerEnvironment::current().audioOutput;
    return factory ? factory() : makeDefaultAudioOutput();
  }};
  std::vector<std::string> log;

  // Posts a delegate call that runs only while the streamer lives.
  template <class Call>
  void notify(Call call) {
    DispatchQueue::main()->async([weak = owner, call = std::move(call)] {
      auto streamer = weak.lock();
      if (!streamer) return;
      if (auto d = streamer->state_->delegate.lock()) call(*d, streamer);
    });
  }
  void setStatus(uint64_t value) {
    status = value;
    notify([value](DKCameraStreamerDelegete& d, const DKCameraStreamerPtr& s) {
      if (d.respondsToSelector("cameraStreamer:onStatusChanged:")) d.cameraStreamerOnStatusChanged(s, value);
    });
  }
  void setPlayback(uint64_t value) {
    if (playback == value) return;
    playback = value;
    notify([value](DKCameraStreamerDelegete& d, const DKCameraStreamerPtr& s) {
      if (d.respondsToSelector("cameraStreamer:onPlaybackStateChanged:")) d.cameraStreamerOnPlaybackStateChanged(s, value);
    });
  }
  // Plays from the stored time: at once when a picture of the item is on screen, else once the
  // first one is (the clock stands still meanwhile).
  void play() {
    if (!shownGood && blank) {  // no first picture will come: as damage
      passOverDamage(displayedIndex);
      return;
    }
    if (!shownGood) {
      awaitingPicture = true;
      setPlayback(DKPlaybackStateBuffering);
      return;
    }
    awaitingPicture = false;
    setPlayback(DKPlaybackStatePlaying);
    startClock();
  }
  void setAudio(uint64_t value, ErrorPtr reason) {
    audio = value;
    audioReason = std::move(reason);
    notify([value](DKCameraStreamerDelegete& d, const DKCameraStreamerPtr& s) {
      if (d.respondsToSelector("cameraStreamer:onAudioStreamingStateChanged:")) {
        d.cameraStreamerOnAudioStreamingStateChanged(s, value);
      }
    });
  }

  double frameInterval() const {
    if (frameTimes.size() < 2) return 0.5;
    if (!tableComplete) {
      // From frames read one after another: the last stretch without a gap, else the first.
      size_t from = 0, to = frameTimes.size() - 1;
      if (!gaps.empty()) {
        if (gaps.back() + 2 < frameTimes.size()) {
          from = gaps.back() + 1;
        } else if (gaps.front() > 0) {
          to = gaps.front();
        }
      }
      if (to <= from) return 0.5;
      return std::max(0.001, (frameTimes[to] - frameTimes[from]) / static_cast<double>(to - from));
    }
    return std::max(0.001, duration / static_cast<double>(frameTimes.size()));
  }
  size_t indexAt(double t) const {
    auto it = std::upper_bound(frameTimes.begin(), frameTimes.end(), t + 1e-6);
    return it == frameTimes.begin() ? 0 : static_cast<size_t>(it - frameTimes.begin() - 1);
  }
  // Whether the frame showing at `t` is among those not read yet (the table cannot tell it).
  bool unread(double t) const {
    if (tableComplete || t < 0) return false;
    if (frameTimes.empty() || t >= frameTimes.back()) return !tableToEnd;
    const size_t i = indexAt(t);
    return t > frameTimes[i] + 1e-6 && std::binary_search(gaps.begin(), gaps.end(), i);
  }
  double now() const {
    if (playback != DKPlaybackStatePlaying) return storedTime;
    return std::min(duration, storedTime + (platform::now() - anchorClock) * rate);
  }

  void stopClock() {
    if (ticker) ticker->invalidate();
    ticker.reset();
    sound.halt();
  }
  void startClock() {
    stopClock();
    anchorClock = platform::now();
    sound.play(storedTime, anchorClock, rate, duration, muted);
    ticker = Timer::scheduled(frameInterval() / rate, true, DispatchQueue::main(), [weak = owner] {
      if (auto s = weak.lock()) s->state_->tick();
    });
  }
  // Freezes the position (for a rate change or a pause).
  void reanchor() {
    storedTime = now();
    anchorClock = platform::now();
  }

  void tick() {
    if (playback != DKPlaybackStatePlaying) return;
    sound.pump();
    const double t = now();
    if (t >= duration - 1e-9) {
      reachEnd();
      return;
    }
    const size_t index = indexAt(t);
    if (index != displayedIndex) show(index, t);
  }

  void reachEnd() {
    storedTime = duration;
    stopClock();
    if (!tableToEnd) {
      awaitTable(duration, true);
      return;
    }
    if (!frameTimes.empty()) show(frameTimes.size() - 1);
    if (openRecording) {
      park();
      return;
    }
    setPlayback(DKPlaybackStateEnded);
  }
  // Waits for the recording to grow, asking the cloud now.
  void park() {
    parked = true;
    awaitingPicture = false;
    if (growthTimer) growthTimer->invalidate();
    setPlayback(DKPlaybackStateBuffering);
    fetch(true);
  }
  // Waits for the frame table to reach `seconds` (buffering), then plays on from there or pauses.
  void awaitTable(double seconds, bool playOn) {
    parked = awaitingTable = true;
    awaitingPicture = false;
    playOnAfterTable = playOn;
    if (growthTimer) growthTimer->invalidate();
    setPlayback(DKPlaybackStateBuffering);
    show(frameTimes.empty() ? 0 : frameTimes.size() - 1, seconds);
  }
  void adoptTable(const FrameTable& table);
  void unpark() {
    parked = awaitingTable = false;
    if (growthTimer) growthTimer->invalidate();
  }
  // The cloud closed the recording at the length read: it ends like any closed one.
  void closedAtItsEnd() {
    openRecording = false;
    if (!parked) return;
    unpark();
    storedTime = duration;
    setPlayback(DKPlaybackStateEnded);
  }

  // Decodes frame `index` on the decode queue and puts it on the layer; a request made while
  // another waits replaces it. Until a fragmented recording's table is complete, a time beyond
  // the frames known asks for the frame there instead, and the table is read on ahead.
  void show(size_t index, double time = -1, int64_t step = 0) {
    if (!unread(time) && step == 0) time = -1;
    displayedIndex = index;
    asked = true;
    blank = false;
    auto decoder = box;
    if (!decoder) return;
    {
      std::lock_guard lock(decoder->mutex);
      decoder->wanted = index;
      decoder->wantedTime = time;
      decoder->wantedStep = step;
      decoder->wantedGeneration = generation;
      if (decoder->decoding) return;
      decoder->decoding = true;
    }
    decodeQueue->async([weak = owner, decoder] {
      for (;;) {
        size_t requested;
        double time;
        int64_t step;
        uint64_t expected;
        {
          std::lock_guard lock(decoder->mutex);
          requested = decoder->wanted;
          time = decoder->wantedTime;
          step = decoder->wantedStep;
          expected = decoder->wantedGeneration;
        }
        VideoDecoder& video = decoder->decoder;
        size_t index = requested;
        std::shared_ptr<const FrameTable> table;
        if (time >= 0) {
          // The frames there first (the picture waits for nothing else); the table is read on
          // ahead once it is on its way.
          index = step != 0 ? frameStepped(video, time, step) : (video.extendTo(time), video.frameIndexAt(time));
          table = extendTable(video, time, true);
        }
        ImagePtr image = video.frameAt(index);
        ErrorPtr failure = image ? nullptr : fetchFailure(decoder->source);
        const bool damaged = !image && !failure && video.lastFrameDamaged();
        DispatchQueue::main()->async([weak, image, expected, index, requested, failure, table, damaged, step] {
          auto s = weak.lock();
          if (!s || s->state_->generation != expected) return;
          State& st = *s->state_;
          if (failure) {  // no frame will come
            st.fail(failure);
            return;
          }
          if (table) {
            const bool stillWanted = st.displayedIndex == requested;
            st.adoptTable(*table);
            if (stillWanted) st.displayedIndex = index;
            if (stillWanted && step != 0 && st.playback != DKPlaybackStatePlaying && index < st.frameTimes.size()) {
              st.storedTime = st.frameTimes[index];
            }
          }
          // Nothing to show where the first picture was awaited (the frame does not decode, for
          // whatever reason): as damage, or playing would wait for it for ever.
          if (damaged || (!image && st.awaitingPicture && index == st.displayedIndex)) {
            st.passOverDamage(index);
            return;
          }
          if (!image) {
            if (index == st.displayedIndex) st.blank = true;
            return;
          }
          st.shownGood = true;
          st.damagedSince = -1;
          st.frame = image;
          st.frameTime = index < st.frameTimes.size() ? st.frameTimes[index] : -1;
          if (st.layer) st.layer->setContents(image);
          if (st.awaitingPicture && st.rate > 0) st.play();
        });
        // Read on ahead once the picture is on its way.
        if (!failure && index < video.frameCount()) {
          if (auto more = extendTable(video, video.frameTimes()[index] + kTableReadAheadSeconds, false)) {
            DispatchQueue::main()->async([weak, expected, more] {
              auto s = weak.lock();
              if (s && s->state_->generation == expected) s->state_->adoptTable(*more);
            });
          }
        }
        std::lock_guard lock(decoder->mutex);
        if (decoder->wanted == requested && decoder->wantedTime == time && decoder->wantedGeneration == expected) {
          decoder->decoding = false;
          return;
        }
      }
    });
  }

  // A frame that does not decode cleanly keeps the last good picture on screen; the item fails
  // when it has shown nothing good yet, or nothing good for a while of its own time.
  void passOverDamage(size_t index) {
    const double t = index < frameTimes.size() ? frameTimes[index] : 0;
    if (damagedSince < 0) damagedSince = t;
    if (!shownGood || std::abs(t - damagedSince) >= kDamagedSecondsPassedOver) {
      fail(Error::make(kStreamerErrorDomain, 8, "The recording's video is damaged"));
    }
  }

  void fail(ErrorPtr error) {
    if (playback == DKPlaybackStatePlaying) reanchor();  // stays where it failed
    stopClock();
    unpark();
    awaitingPicture = false;
    failure = std::move(error);
    // A failed item is not playing (nor waiting for data to play), and says so before it says
    // it failed, so that a retry the failure starts is not taken for this item's pause.
    if (playback == DKPlaybackStatePlaying || playback == DKPlaybackStateBuffering) setPlayback(DKPlaybackStatePaused);
    setStatus(DKCameraStreamerStatusFailed);
  }

  void fetch(bool again);
  void awaitGrowth();
  void startLive();
  void setLiveRate(float value);
  void endLive() {
    if (live) live->stop();
    live.reset();
    liveTime = 0;
  }
  void opened(const std::shared_ptr<DecoderBox>& opened, bool again);
};

void DKCameraStreamer::State::fetch(bool again) {
  // A probe keeps the generation: frames asked for meanwhile still show, and its answer (a
  // longer take is adopted even when nobody waits for it any more) is dropped only with the item.
  if (again && probing) return;
  const uint64_t expected = again ? generation : ++generation;
  probing = again;
  if (!again || !source) {
    if (source) source->cancel();
    source.reset();
    const StreamerEnvironment environment = StreamerEnvironment::current();
    char path[128];
    std::snprintf(path, sizeof path, "/media/cameras/%lld/recordings/%lld.mp4",
                  static_cast<long long>(item->cameraId()), static_cast<long long>(item->recordingId()));
    const std::string url = environment.baseURL + path;
    ErrorPtr error;
    if (!mayCarryCredential(url, environment.baseURL, LoopbackHttp::Refused)) {
      error = Error::make(kStreamerErrorDomain, 7, "The recording's address is not the cloud's secure address");
    } else {
      source = RecordingSource::create(url, DKAccessTokenProvider::accessToken(), environment.limits, &error);
    }
    if (!source) {
      DispatchQueue::main()->async([weak = owner, error, expected] {
        auto s = weak.lock();
        if (s && s->state_->generation == expected) s->state_->fail(error);
      });
      return;
    }
  }
  auto weak = owner;
  decodeQueue->async([weak, source = source, expected, again, known = again ? duration : 0.0] {
    if (again && !source->refreshGrowth()) {
      const bool stillOpen = source->isOpenRecording();
      DispatchQueue::main()->async([weak, source, expected, stillOpen] {
        auto s = weak.lock();
        if (!s || s->state_->generation != expected) return;
        State& st = *s->state_;
        st.probing = false;
        if (auto error = fetchFailure(source)) {
          st.fail(error);
        } else if (!stillOpen) {
          st.closedAtItsEnd();
        } else if (st.parked) {
          st.awaitGrowth();
        }
      });
      return;
    }
    auto fresh = std::make_shared<DecoderBox>();
    fresh->source = source;
    VideoDecoder::Input input;
    input.read = [source](int64_t offset, uint8_t* out, int64_t count) { return source->read(offset, out, count); };
    input.size = [source] { return source->size(); };
    input.prefetch = [source](int64_t offset, int64_t length) { source->prefetch(offset, length); };
    std::string why;
    const bool ok = fresh->decoder.open(std::move(input), &why);
    // A longer take of a fragmented recording: its table as far as the shorter one's was read.
    if (ok && again) fresh->decoder.extendTo(known + kTableReadAheadSeconds);
    const bool open = source->isOpenRecording();
    DispatchQueue::main()->async([weak, fresh, ok, why, expected, again, open] {
      auto s = weak.lock();
      if (!s || s->state_->generation != expected) return;
      State& st = *s->state_;
      if (again) st.probing = false;
      if (auto error = fetchFailure(fresh->source)) {
        st.fail(error);
        return;
      }
      if (!ok) {
        st.fail(Error::make(kStreamerErrorDomain, 3, "The recording's video cannot be played: " + why));
        return;
      }
      st.openRecording = open;
      st.opened(fresh, again);
    });
  });
}

void DKCameraStreamer::State::awaitGrowth() {
  const uint64_t expected = generation;
  growthTimer = Timer::scheduled(kGrowthProbeSeconds, false, DispatchQueue::main(), [weak = owner, expected] {
    auto s = weak.lock();
    if (s && s->state_->generation == expected && s->state_->parked) s->state_->fetch(true);
  });
}

void DKCameraStreamer::State::opened(const std::shared_ptr<DecoderBox>& fresh, bool again) {
  const double previous = duration;
  box = fresh;
  sound.setSource(fresh->source, fresh->decoder.movieBox());
  frameTimes = fresh->decoder.frameTimes();
  duration = fresh->decoder.duration();
  tableComplete = fresh->decoder.complete();
  tableToEnd = fresh->decoder.reachesEnd();
  gaps = fresh->decoder.gapsAfter();
  item->setDuration(duration);
  item->setCapabilitiesMask(item->isLive() ? uint64_t{0} : uint64_t{DKStreamerItemCapabilitySeek});
  if (!again) {
    displayedIndex = 0;
    failure.reset();
    setStatus(DKCameraStreamerStatusReadyToPlay);
    // The first frame is decoded only when nothing else was asked for in answer to "ready": a
    // hand-off seeks at once, and decoding the start first would read and decode it for nothing.
    asked = false;
    DispatchQueue::main()->async([weak = owner, expected = generation] {
      auto s = weak.lock();
      if (s && s->state_->generation == expected && !s->state_->asked) s->state_->show(0);
    });
    return;
  }
  // A longer take of an open recording: playback waiting at the end carries on from there.
  if (duration > previous + 1e-9) {
    notify([d = duration](DKCameraStreamerDelegete& dl, const DKCameraStreamerPtr& s) {
      if (dl.respondsToSelector("cameraStreamer:onCurrentItemDurationChanged:")) {
        dl.cameraStreamerOnCurrentItemDurationChanged(s, d);
      }
    });
    if (!parked) return;  // moved elsewhere meanwhile: it stays where it is
    unpark();
    storedTime = std::min(storedTime, duration);
    show(indexAt(storedTime));
    if (rate > 0) {
      play();
    } else {
      setPlayback(DKPlaybackStatePaused);
    }
    return;
  }
  if (!parked) return;
  if (openRecording) {
    awaitGrowth();  // more bytes, not yet a longer video
    return;
  }
  unpark();
  storedTime = duration;
  setPlayback(DKPlaybackStateEnded);
}

void DKCameraStreamer::State::adoptTable(const FrameTable& table) {
  const double previous = duration;
  // The frame shown keeps its place by its time: frames read before it move it along.
  const double shownAt = displayedIndex < frameTimes.size() ? frameTimes[displayedIndex] : -1;
  frameTimes = table.times;
  duration = table.duration;
  tableComplete = table.complete;
  tableToEnd = table.toEnd;
  gaps = table.gaps;
  if (shownAt >= 0) displayedIndex = indexAt(shownAt);
  if (item) item->setDuration(duration);
  if (duration > previous + 1e-9) {
    sound.setDuration(duration);
    notify([d = duration](DKCameraStreamerDelegete& dl, const DKCameraStreamerPtr& s) {
      if (dl.respondsToSelector("cameraStreamer:onCurrentItemDurationChanged:")) {
        dl.cameraStreamerOnCurrentItemDurationChanged(s, d);
      }
    });
  }
  if (!awaitingTable) return;
  if (storedTime < duration - 1e-9) {  // there now: playback carries on
    unpark();
    show(indexAt(storedTime));
    if (playOnAfterTable && rate > 0) {
      play();
    } else {
      setPlayback(DKPlaybackStatePaused);
    }
    return;
  }
  if (!tableToEnd) return;  // still reading on
  unpark();
  storedTime = duration;
  if (openRecording) {
    park();
    return;
  }
  setPlayback(DKPlaybackStateEnded);
}

void DKCameraStreamer::State::startLive() {
  LiveStreamSource::Listener listener;
  auto weak = owner;
  listener.frame = [weak](const ImagePtr& image, double time) {
    auto s = weak.lock();
    if (!s) return;
    State& st = *s->state_;
    st.frame = image;
    st.liveTime = time;
    st.frameTime = time;  // a live picture's time is the camera's clock
    if (st.layer) st.layer->setContents(image);
    if (st.status == DKCameraStreamerStatusPreparing) st.setStatus(DKCameraStreamerStatusReadyToPlay);
  };
  listener.stalled = [weak](bool stalled) {
    auto s = weak.lock();
    if (s && s->state_->rate > 0) s->state_->setPlayback(stalled ? DKPlaybackStateBuffering : DKPlaybackStatePlaying);
  };
  // The camera's sound plays by the live picture's clock, at 1x whatever rate was asked for.
  auto heard = std::make_shared<LiveSoundBuffer>();
  sound.setLiveSound(heard);
  listener.sound = [heard](const LiveSegmentSound& stretch, double time) { heard->add(time, stretch); };
  listener.soundRefused = [heard](const std::string& why) { heard->setRefusal(why); };
  listener.clock = [weak](bool running, double frameTime, double clock) {
    auto s = weak.lock();
    if (!s) return;
    State& st = *s->state_;
    if (running && st.rate > 0) {
      st.sound.play(frameTime, clock, 1.0f, std::numeric_limits<double>::infinity(), st.muted);
    } else {
      st.sound.halt();
    }
  };
  listener.failed = [weak](const ErrorPtr& error) {
    auto s = weak.lock();
    if (!s) return;
    State& st = *s->state_;
    // A retry of this camera must show something newer than this to count as live again.
    st.liveFailedCamera = st.item ? st.item->cameraId() : 0;
    st.liveFailedSequence = st.live ? st.live->shownSequence() : -1;
    st.fail(error);
  };
  live = LiveStreamSource::create(item->cameraId(), StreamerEnvironment::current().baseURL, std::move(listener));
  if (liveFailedCamera == item->cameraId() && liveFailedSequence >= 0) live->setAlreadyShown(liveFailedSequence);
  live->start();
}

void DKCameraStreamer::State::setLiveRate(float value) {
  rate = value;
  if (value == 0) {
    live->setPlaying(false);  // pausing a live view stops the stream
    setPlayback(DKPlaybackStatePaused);
    return;
  }
  if (status != DKCameraStreamerStatusReadyToPlay) return;  // plays once the first picture is there
  setPlayback(DKPlaybackStatePlaying);
  live->setPlaying(true);
}

DKCameraStreamer::DKCameraStreamer(std::shared_ptr<Layer> layer) : state_(std::make_shared<State>()) {
  state_->layer = std::move(layer);
}

std::shared_ptr<DKCameraStreamer> DKCameraStreamer::initWithLayer(std::shared_ptr<Layer> layer) {
  std::shared_ptr<DKCameraStreamer> streamer(new DKCameraStreamer(std::move(layer)));
  streamer->state_->owner = streamer;
  return streamer;
}

DKCameraStreamer::~DKCameraStreamer() {
  state_->stopClock();
  if (state_->growthTimer) state_->growthTimer->invalidate();
  if (state_->source) state_->source->cancel();
  state_->endLive();
  if (state_->talk) state_->talk->cancel();
}

void DKCameraStreamer::setDelegate(std::weak_ptr<DKCameraStreamerDelegete> delegate) {
  state_->delegate = std::move(delegate);
}
std::shared_ptr<DKCameraStreamerDelegete> DKCameraStreamer::delegate() const { return state_->delegate.lock(); }
const std::shared_ptr<Layer>& DKCameraStreamer::layer() const { return state_->layer; }
uint64_t DKCameraStreamer::status() const { return state_->status; }
uint64_t DKCameraStreamer::playbackState() const { return state_->playback; }
uint64_t DKCameraStreamer::audioStreamingState() const { return state_->audio; }
ErrorPtr DKCameraStreamer::failureReason() const { return state_->failure; }
ErrorPtr DKCameraStreamer::audioNotStreamingReason() const { return state_->audioReason; }
const DKStreamerItemPtr& DKCameraStreamer::currentItem() const { return state_->item; }
double DKCameraStreamer::currentTime() const { return state_->live ? state_->liveTime : state_->now(); }
float DKCameraStreamer::rate() const { return state_->rate; }
bool DKCameraStreamer::isAudioMuted() const { return state_->muted; }
ImagePtr DKCameraStreamer::currentFrame() const { return state_->frame; }
double DKCameraStreamer::currentFrameTime() const { return state_->frameTime; }
const std::vector<std::string>& DKCameraStreamer::callLog() const { return state_->log; }

void DKCameraStreamer::setCurrentItem(DKStreamerItemPtr item) {
  State& s = *state_;
  s.log.push_back(item ? "setCurrentItem:" + std::to_string(item->cameraId()) + "/" + std::to_string(item->recordingId())
                       : "setCurrentItem:nil");
  if (item == s.item) return;
  ++s.generation;
  s.stopClock();
  // The abandoned recording's transfers end now, and its held bytes go with its last reader.
  if (s.growthTimer) s.growthTimer->invalidate();
  if (s.source) s.source->cancel();
  s.source.reset();
  s.endLive();
  s.sound.setSource(nullptr);
  s.item = std::move(item);
  s.box.reset();
  s.frameTime = -1;
  s.frameTimes.clear();
  s.duration = 0;
  s.tableComplete = s.tableToEnd = true;
  s.gaps.clear();
  s.awaitingTable = false;
  s.storedTime = 0;
  s.displayedIndex = 0;
  s.shownGood = false;
  s.damagedSince = -1;
  s.awaitingPicture = s.blank = false;
  s.openRecording = s.parked = s.probing = false;
  s.failure.reset();
  s.playback = DKPlaybackStatePaused;
  if (!s.item) {
    s.status = DKCameraStreamerStatusReadyToPlay;  // idle
    return;
  }
  s.setStatus(DKCameraStreamerStatusPreparing);

  ErrorPtr scripted;
  {
    std::lock_guard lock(script().mutex);
    if (script().failingPreparations > 0) {
      --script().failingPreparations;
      scripted = script().preparationError
                     ? script().preparationError
                     : Error::make(kStreamerErrorDomain, 1, "The stream could not be prepared");
    }
  }
  if (!scripted && s.item->isLive()) {
    s.startLive();
    return;
  }
  if (scripted) {
    const uint64_t expected = s.generation;
    DispatchQueue::main()->async([weak = s.owner, scripted, expected] {
      auto streamer = weak.lock();
      if (streamer && streamer->state_->generation == expected) streamer->state_->fail(scripted);
    });
    return;
  }
  s.fetch(false);
}

void DKCameraStreamer::setRate(float rate) {
  State& s = *state_;
  s.log.push_back("setRate:" + number(rate));
  if (!std::isfinite(rate) || rate < 0) rate = 0;
  if (s.live) {
    s.setLiveRate(rate);
    return;
  }
  if (rate == 0) {
    if (s.playback == DKPlaybackStatePlaying) {
      s.reanchor();
      s.stopClock();
      s.setPlayback(DKPlaybackStatePaused);
    } else if (s.awaitingPicture) {
      s.awaitingPicture = false;
      s.setPlayback(DKPlaybackStatePaused);
    } else if (s.parked) {
      // Paused at the end of what has been recorded; playing again asks for more.
      s.unpark();
      s.storedTime = std::min(s.storedTime, s.duration);
      s.setPlayback(DKPlaybackStatePaused);
    }
    s.rate = 0;
    return;
  }
  if (s.playback == DKPlaybackStatePlaying) s.reanchor();
  s.rate = rate;
  if (!s.item || s.status != DKCameraStreamerStatusReadyToPlay) return;
  if (s.parked) return;  // plays on at this rate once the recording has grown
  if (s.playback == DKPlaybackStateEnded) return;  // stays at the end until a seek
  s.play();
}

void DKCameraStreamer::setMuteAudio(bool muted) {
  state_->log.push_back(std::string("setMuteAudio:") + (muted ? "1" : "0"));
  state_->muted = muted;
  state_->sound.setMuted(muted);
}

void DKCameraStreamer::finishSoundWrites() { state_->sound.finishWrites(); }
std::string DKCameraStreamer::soundSilenceReason() const { return state_->sound.silenceReason(); }

void DKCameraStreamer::seekTo(double seconds) {
  State& s = *state_;
  s.log.push_back("seekTo:" + number(seconds));
  if (!s.item || s.status != DKCameraStreamerStatusReadyToPlay || s.frameTimes.empty()) return;
  if (!s.tableToEnd && std::isfinite(seconds) && seconds >= s.duration) {
    // Past the fragments read so far of a recording without an index of them: read on first.
    const bool playOn = s.playback == DKPlaybackStatePlaying || s.playback == DKPlaybackStateEnded || s.parked ||
                        s.awaitingPicture;
    s.storedTime = seconds;
    s.stopClock();
    s.awaitTable(seconds, playOn);
    return;
  }
  if (s.openRecording && std::isfinite(seconds) && seconds >= s.duration) {
    // Past what has been read of a recording still being recorded: ask now, then play there.
    s.storedTime = seconds;
    s.stopClock();
    s.park();
    return;
  }
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  // Within what has been read: the wait for growth, if any, ends here.
  const bool wasParked = s.parked;
  s.unpark();
  if (seconds >= s.duration) {
    s.storedTime = s.duration;
    s.awaitingPicture = false;
    s.stopClock();
    s.show(s.frameTimes.size() - 1);
    s.setPlayback(DKPlaybackStateEnded);
    return;
  }
  s.storedTime = seconds;
  s.show(s.indexAt(seconds), seconds);
  if (s.playback == DKPlaybackStatePlaying) {
    s.startClock();
  } else if (s.playback == DKPlaybackStateEnded || wasParked) {
    if (s.rate > 0) {
      s.play();
    } else {
      s.setPlayback(DKPlaybackStatePaused);
    }
  }
}

void DKCameraStreamer::stepBy(int64_t frames) {
  State& s = *state_;
  s.log.push_back("stepBy:" + std::to_string(frames));
  if (!s.item || s.status != DKCameraStreamerStatusReadyToPlay || s.frameTimes.empty()) return;
  const int64_t last = static_cast<int64_t>(s.frameTimes.size()) - 1;
  // Waiting at the end of an open recording counts as being past its last frame.
  const bool atEnd = s.playback == DKPlaybackStateEnded || s.parked;
  s.unpark();
  const int64_t from = atEnd ? last + 1 : static_cast<int64_t>(s.displayedIndex);
  const auto index = static_cast<size_t>(std::clamp<int64_t>(from + frames, 0, last));
  s.storedTime = s.frameTimes[index];
  // Across frames not read yet (or past the last read): the decoder reads them and steps there.
  const size_t low = std::min<size_t>(index, static_cast<size_t>(std::min<int64_t>(from, last)));
  const size_t high = std::max<size_t>(index, static_cast<size_t>(std::min<int64_t>(from, last)));
  const auto gap = std::lower_bound(s.gaps.begin(), s.gaps.end(), low);
  const bool acrossGap = gap != s.gaps.end() && *gap < high;
  const bool pastRead = !s.tableToEnd && from + frames > last && !atEnd;
  if (!s.tableComplete && (acrossGap || pastRead) && from <= last) {
    s.show(static_cast<size_t>(from), s.frameTimes[static_cast<size_t>(from)], frames);
  } else {
    s.show(index);
  }
  if (s.playback == DKPlaybackStatePlaying) {
    s.startClock();
  } else if (atEnd) {
    s.setPlayback(DKPlaybackStatePaused);
  }
}

void DKCameraStreamer::takeSnapshot() {
  State& s = *state_;
  s.log.push_back("takeSnapshot");
  if (s.live) {
    if (!s.frame) return;
    s.notify([image = s.frame, time = s.liveTime](DKCameraStreamerDelegete& d, const DKCameraStreamerPtr& streamer) {
      if (d.respondsToSelector("cameraStreamer:onSnapshotTaken:atTime:")) d.cameraStreamerOnSnapshotTaken(streamer, image, time);
    });
    return;
  }
  auto decoder = s.box;
  if (!decoder) return;
  const size_t index = s.displayedIndex;
  const double time = s.now();
  s.decodeQueue->async([weak = s.owner, decoder, index, time, expected = s.generation] {
    ImagePtr image = decoder->decoder.frameAt(index);
    ErrorPtr failure = image ? nullptr : fetchFailure(decoder->source);
    const bool damaged = !image && !failure && decoder->decoder.lastFrameDamaged();
    // Delivered even when the item changed meanwhile: it is the frame that was on screen.
    DispatchQueue::main()->async([weak, image, at = time, failure, damaged, expected]() mutable {
      auto streamer = weak.lock();
      if (!streamer) return;
      State& st = *streamer->state_;
      if (failure && st.generation == expected) st.fail(failure);
      // A damaged frame is never a snapshot: what is on screen then is the last good picture.
      if (damaged && st.generation == expected && st.shownGood) {
        image = st.frame;
        at = st.frameTime;
      }
      auto d = st.delegate.lock();
      if (d && d->respondsToSelector("cameraStreamer:onSnapshotTaken:atTime:")) {
        d->cameraStreamerOnSnapshotTaken(streamer, image, at);
      }
    });
  });
}

void DKCameraStreamer::startAudioStreaming() {
  State& s = *state_;
  s.log.push_back("startAudioStreaming");
  ErrorPtr scripted;
  {
    std::lock_guard lock(script().mutex);
    if (script().failingAudioStarts > 0) {
      --script().failingAudioStarts;
      scripted = script().audioError ? script().audioError
                                     : Error::make(kStreamerErrorDomain, 5, "The microphone could not be opened");
    }
  }
  if (scripted) {
    s.setAudio(DKAudioStreamingStateStopped, scripted);
    return;
  }
  if (s.audio != DKAudioStreamingStateStopped) return;
  if (!s.item) {
    s.setAudio(DKAudioStreamingStateStopped, Error::make(kStreamerErrorDomain, 6, "There is no camera to talk to"));
    return;
  }
  // 1 while the cloud has not yet taken the talk: not stopped, not yet streaming.
  s.setAudio(kAudioStreamingStateOpening, nullptr);
  if (s.talk) s.talk->cancel();
  TalkUplink::Listener listener;
  listener.started = [weak = s.owner] {
    if (auto streamer = weak.lock()) streamer->state_->setAudio(DKAudioStreamingStateStreaming, nullptr);
  };
  listener.ended = [weak = s.owner](const ErrorPtr& error) {
    if (auto streamer = weak.lock()) streamer->state_->setAudio(DKAudioStreamingStateStopped, error);
  };
  s.talk = TalkUplink::create(s.item->cameraId(), StreamerEnvironment::current().baseURL, std::move(listener));
  s.talk->start();
}

void DKCameraStreamer::stopAudioStreaming() {
  state_->log.push_back("stopAudioStreaming");
  if (state_->audio == DKAudioStreamingStateStopped) return;
  if (state_->talk) {
    state_->talk->stop();  // stopped once the cloud has the end
    return;
  }
  state_->setAudio(DKAudioStreamingStateStopped, nullptr);
}

}  // namespace dk::platform

// The state a DKCameraStreamer keeps, shared by the front (dk_camera_streamer.cpp), the recording
// half (dk_camera_streamer_recording.cpp) and the live half with talk (dk_camera_streamer_live.cpp).
// Included by those three files only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/error.h"
#include "platform/media/live/live_stream_source.h"
#include "platform/media/live/talk_uplink.h"
#include "platform/media/recordings/recording_source.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/media/streamer/streamer_sound.h"

namespace dk::platform {

inline constexpr const char* kStreamerErrorDomain = "DKCameraStreamerErrorDomain";

// What the tests scripted: the environment and the failures they asked for.
struct Script {
  std::mutex mutex;
  StreamerEnvironment environment;
  int failingPreparations = 0;
  ErrorPtr preparationError;
  int failingAudioStarts = 0;
  ErrorPtr audioError;
};

inline Script& script() {
  static Script s;
  return s;
}

// A number as the call log writes it.
inline std::string number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

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

// Why reading a recording failed (the HTTP error, with its reply), unless it was cancelled on
// purpose.
inline ErrorPtr fetchFailure(const RecordingSourcePtr& source) {
  ErrorPtr error = source ? source->error() : nullptr;
  if (!error || (error->domain() == kURLErrorDomain && error->code() == kURLErrorCancelled)) return nullptr;
  return error;
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

  // The recording half (dk_camera_streamer_recording.cpp).
  void tick();
  void reachEnd();
  void park();
  void awaitTable(double seconds, bool playOn);
  void adoptTable(const FrameTable& table);
  void unpark();
  void closedAtItsEnd();
  void show(size_t index, double time = -1, int64_t step = 0);
  void passOverDamage(size_t index);
  void fetch(bool again);
  void awaitGrowth();
  void opened(const std::shared_ptr<DecoderBox>& opened, bool again);

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

  // The live half (dk_camera_streamer_live.cpp).
  void startLive();
  void setLiveRate(float value);
  void endLive() {
    if (live) live->stop();
    live.reset();
    liveTime = 0;
  }
};

}  // namespace dk::platform

// DKCameraStreamer's front: the scripted environment, construction, the accessors, choosing the
// live or the recording half for an item, the rate, muting and snapshots.
#include "platform/media/streamer/dk_camera_streamer.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/dispatch/queue.h"
#include "platform/media/streamer/dk_camera_streamer_state.h"

namespace dk::platform {

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

}  // namespace dk::platform

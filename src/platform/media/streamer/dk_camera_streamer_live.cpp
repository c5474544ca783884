// DKCameraStreamer's live half: a live item played from its LiveStreamSource, its rate, and
// talking to the camera (the talk uplink belongs to the live view).
#include <cmath>
#include <limits>
#include <mutex>

#include "platform/dispatch/queue.h"
#include "platform/graphics/screen_scale.h"
#include "platform/media/live/live_stream_source.h"
#include "platform/media/live/talk_uplink.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/media/streamer/dk_camera_streamer_state.h"
#include "platform/ui/layer.h"

namespace dk::platform {
namespace {

constexpr uint64_t kAudioStreamingStateOpening = 1;

}  // namespace

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
  // The camera's sound plays by the live picture's clock, at 1x whatever rate was asked for;
  // before the first picture (a live view opens playing) by the sound's own clock.
  auto heard = std::make_shared<LiveSoundBuffer>();
  sound.setLiveSound(heard);
  listener.sound = [heard](const LiveSegmentSound& stretch, double time) { heard->add(time, stretch); };
  listener.soundRefused = [heard](const std::string& why) { heard->setRefusal(why); };
  listener.clock = [weak](bool running, double frameTime, double clock) {
    auto s = weak.lock();
    if (!s) return;
    State& st = *s->state_;
    if (running && (st.rate > 0 || st.status == DKCameraStreamerStatusPreparing)) {
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
  if (layer) {
    // The pixels the pictures are drawn into choose among the sizes a stream may be offered in.
    const Size size = layer->bounds().size;
    const double scale = mainScreenScale();
    live->setViewPixelSize(static_cast<int>(std::lround(size.width * scale)),
                           static_cast<int>(std::lround(size.height * scale)));
  }
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
#include "player/kl_player_view_model.h"

#include <cmath>
#include <mutex>

#include "foundation/date_formatting.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/bundle.h"
#include "platform/ui/application.h"

namespace dk {
namespace {

using platform::DKCameraStreamer;
using platform::DKStreamerItem;

std::mutex& saverMutex() {
  static std::mutex mutex;
  return mutex;
}
KLPlayerViewModel::AlbumSaver& albumSaver() {
  static KLPlayerViewModel::AlbumSaver saver;
  return saver;
}

std::optional<std::string> frameworkText(std::string_view key) {
  std::string text = platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(key, "", "");
  if (text.empty()) return std::nullopt;
  return text;
}
std::optional<std::string> mainText(std::string_view key) {
  std::string text = platform::Bundle::main()->localizedString(key, "", "");
  if (text.empty()) return std::nullopt;
  return text;
}

bool isLiveType(int type) { return type == PlayerTypeLive || type == PlayerTypeLivePhoneMic; }

// Truncated to hundredths of a second, as the end check compares them.
double hundredths(double seconds) { return std::trunc(seconds * 100.0) / 100.0; }

constexpr double kUnendingToast = 2147483648.0;

}  // namespace

void KLPlayerViewModel::setAlbumSaver(AlbumSaver saver) {
  std::lock_guard lock(saverMutex());
  albumSaver() = std::move(saver);
}

std::shared_ptr<KLPlayerViewModel> KLPlayerViewModel::initWithCamera(PlayerCameraPtr camera,
                                                                     std::shared_ptr<platform::Layer> layer,
                                                                     std::weak_ptr<PlayerViewModelDelegate> delegate) {
  std::shared_ptr<KLPlayerViewModel> model(new KLPlayerViewModel());
  model->playerType_ = PlayerTypeLive;
  model->camera_ = std::move(camera);
  model->layer_ = layer;
  model->delegate_ = std::move(delegate);
  model->speedRate_ = 1.0;
  model->initCameraStreamerWithLayer(std::move(layer));
  return model;
}

std::shared_ptr<KLPlayerViewModel> KLPlayerViewModel::initWithCamera(PlayerCameraPtr camera,
                                                                     std::shared_ptr<platform::Layer> layer,
                                                                     int playerType,
                                                                     std::weak_ptr<PlayerViewModelDelegate> delegate) {
  auto model = initWithCamera(std::move(camera), std::move(layer), std::move(delegate));
  model->playerType_ = playerType;
  return model;
}

std::shared_ptr<KLPlayerViewModel> KLPlayerViewModel::initWithCamera(PlayerCameraPtr camera, PlayerRecordingPtr recording,
                                                                     std::shared_ptr<platform::Layer> layer,
                                                                     std::weak_ptr<PlayerViewModelDelegate> delegate) {
  std::shared_ptr<KLPlayerViewModel> model(new KLPlayerViewModel());
  model->playerType_ = PlayerTypeRecording;
  model->camera_ = std::move(camera);
  model->recording_ = std::move(recording);
  model->layer_ = layer;
  model->delegate_ = std::move(delegate);
  model->speedRate_ = 1.0;
  model->initCameraStreamerWithLayer(std::move(layer));
  return model;
}

KLPlayerViewModel::~KLPlayerViewModel() {
  if (timer_) timer_->stopTimer();
  // Torn down mid-playback (the streamer goes with it, before its "paused" callback): the
  // screen may lock again.
  if (disabledIdleTimer_) platform::Application::shared().setIdleTimerDisabled(false);
}

bool KLPlayerViewModel::respondsToSelector(std::string_view selector) const {
  return selector == "cameraStreamer:onStatusChanged:" || selector == "cameraStreamer:onPlaybackStateChanged:" ||
         selector == "cameraStreamer:onAudioStreamingStateChanged:" ||
         selector == "cameraStreamer:onSnapshotTaken:atTime:";
}

bool KLPlayerViewModel::isReadyToPlay() const {
  if (!cameraStreamer_) return false;
  const uint64_t status = cameraStreamer_->status();
  return status != platform::DKCameraStreamerStatusPreparing && status != platform::DKCameraStreamerStatusFailed;
}
bool KLPlayerViewModel::isPlaying() const {
  return cameraStreamer_ && cameraStreamer_->playbackState() == platform::DKPlaybackStatePlaying;
}
bool KLPlayerViewModel::isRecordingAudio() const {
  return cameraStreamer_ && cameraStreamer_->audioStreamingState() != platform::DKAudioStreamingStateStopped;
}
double KLPlayerViewModel::rate() const { return cameraStreamer_ ? cameraStreamer_->rate() : 0.0; }

bool KLPlayerViewModel::isCurrent(const platform::DKCameraStreamerPtr& streamer) const {
  return streamer && streamer == cameraStreamer_;
}

void KLPlayerViewModel::initCameraStreamerWithLayer(std::shared_ptr<platform::Layer> layer) {
  cameraStreamer_ = DKCameraStreamer::initWithLayer(std::move(layer));
  cameraStreamer_->setDelegate(std::static_pointer_cast<KLPlayerViewModel>(shared_from_this()));
  // A streamer starts unmuted: one that may not be heard is muted before it plays.
  if (!mayHearCamera()) cameraStreamer_->setMuteAudio(true);
}

bool KLPlayerViewModel::mayHearCamera() const {
  return listeningAllowed_ && camera_ && camera_->microphoneEnabled();
}

void KLPlayerViewModel::setListeningAllowed(bool allowed) {
  listeningAllowed_ = allowed;
  if (!allowed && cameraStreamer_) cameraStreamer_->setMuteAudio(true);
}

void KLPlayerViewModel::setRecording(PlayerRecordingPtr recording) {
  recording_ = std::move(recording);
  initStreamerItem();
}

void KLPlayerViewModel::initStreamerItem() {
  if (!camera_ || camera_->playerCameraID() == 0) return;
  const bool live = isLiveType(playerType_);
  if (!live && (!recording_ || recording_->playerRecordingID() == 0)) return;
  if (live) {
    if (cameraStreamerItem_ && cameraStreamerItem_->cameraId() == camera_->playerCameraID()) return;
    cameraStreamerItem_ = DKStreamerItem::itemWithCameraId(camera_->playerCameraID());
    return;  // handed over at the next updateCameraStreamer
  }
  if (cameraStreamerItem_ && cameraStreamerItem_->recordingId() == recording_->playerRecordingID()) return;
  cameraStreamerItem_ = DKStreamerItem::itemWithCameraId(camera_->playerCameraID(), recording_->playerRecordingID());
  // A failed streamer takes the new item too: otherwise it would stay failed and every later
  // seek would wait for a "ready" that never comes.
  if (cameraStreamer_ && (isReadyToPlay() || cameraStreamer_->status() == platform::DKCameraStreamerStatusFailed)) {
    cameraStreamer_->setCurrentItem(cameraStreamerItem_);
  }
}

void KLPlayerViewModel::updateCameraStreamer() {
  if (!cameraStreamer_) initCameraStreamerWithLayer(layer_);
  initStreamerItem();
  cameraStreamer_->setCurrentItem(cameraStreamerItem_);
}

void KLPlayerViewModel::resetStreamerItem() {
  if (cameraStreamer_ && cameraStreamer_->currentItem()) cameraStreamer_->setCurrentItem(nullptr);
}

void KLPlayerViewModel::didTapPlayButton() {
  if (isLiveType(playerType_)) {
    if (!camera_ || camera_->playerCameraID() == 0) return;
  } else if (!recording_ || recording_->playerCameraID() == 0 || recording_->playerRecordingID() == 0) {
    return;
  }
  updateCameraStreamer();
  auto delegate = delegate_.lock();
  const uint64_t status = cameraStreamer_->status();
  if (status == platform::DKCameraStreamerStatusFailed) {
    if (delegate) delegate->streamerDidEndStreaming();
    initCameraStreamerWithLayer(layer_);
    return;
  }
  if (status == platform::DKCameraStreamerStatusReadyToPlay) {
    switch (cameraStreamer_->playbackState()) {
      case platform::DKPlaybackStatePaused:
        startPlaying();
        return;
      case platform::DKPlaybackStatePlaying:
        pausePlaying();
        return;
      case platform::DKPlaybackStateEnded: {
        const auto& item = cameraStreamer_->currentItem();
        const double duration = item ? item->duration() : 0;
        if (!delegate) return;
        if (hundredths(duration) == hundredths(cameraStreamer_->currentTime())) {
          delegate->streamerDidEndStreaming();
        } else {
          delegate->streamerDidStartLoading();
        }
        return;
      }
      default:
        if (delegate) delegate->streamerDidStartLoading();
        return;
    }
  }
  if (delegate) delegate->streamerDidStartLoading();
}

void KLPlayerViewModel::startPlaying() {
  const auto& item = cameraStreamer_ ? cameraStreamer_->currentItem() : nullptr;
  if (!item) return;  // an idle streamer is "ready" without anything to play
  if (item->capabilitiesMask() & platform::DKStreamerItemCapabilitySeek) cameraStreamer_->seekTo(seekTime_);
  setStreamerRate(speedRate_);
}

void KLPlayerViewModel::pausePlaying() {
  setStreamerRate(0.0);
  if (isLiveType(playerType_)) stopPlaying();
}

void KLPlayerViewModel::stopPlaying() {
  shouldDisplayTakeSnapshotPopUp_ = false;
  if (cameraStreamer_) cameraStreamer_->takeSnapshot();
  cameraStreamerItem_.reset();
  resetStreamerItem();
  if (auto delegate = delegate_.lock()) delegate->streamerDidEndStreaming();
}

void KLPlayerViewModel::stopStreaming() {
  if (!cameraStreamer_ || !cameraStreamer_->currentItem()) return;
  if (auto delegate = delegate_.lock()) delegate->streamerDidEndLoading();
  pausePlaying();
}

void KLPlayerViewModel::restartStreaming() {
  if (cameraStreamer_) stopPlaying();
  updateCameraStreamer();
}

void KLPlayerViewModel::setStreamerRate(double rate) {
  if (!cameraStreamer_ || !cameraStreamer_->currentItem()) return;
  if (rate == 0.0) stopPushToTalk();
  cameraStreamer_->setRate(static_cast<float>(rate));
  // Unmuting at 1x would otherwise let a camera whose microphone is off, or a user without the
  // right to listen, be heard.
  if (playerType_ != PlayerTypeLivePhoneMic) cameraStreamer_->setMuteAudio(rate > 1.0 || !mayHearCamera());
  // The tick follows the rate only while playing: restarting it while ended or buffering would
  // report the recording's end again and again.
  if (rate > 0 && isPlaying()) tickTimer().setInterval(1.0 / rate);
}

namespace {
// Zero would pause every later play, and a rate that is not finite gives the tick no period.
bool isPlayableRate(double rate) { return std::isfinite(rate) && rate > 0; }
}  // namespace

void KLPlayerViewModel::setRate(double rate) {
  if (!isPlayableRate(rate)) return;
  speedRate_ = rate;
  if (cameraStreamer_ && cameraStreamer_->playbackState() != platform::DKPlaybackStatePaused) setStreamerRate(rate);
}

void KLPlayerViewModel::didTapSpeedButtonWithRate(double rate) {
  if (!isPlayableRate(rate)) return;
  setRate(rate);
  if (auto delegate = delegate_.lock()) delegate->streamerDidUpdateSpeedWithRate(rate);
}

void KLPlayerViewModel::seekToTime(double seconds) {
  seekTime_ = seconds;
  if (isReadyToPlay()) startPlaying();
}

void KLPlayerViewModel::muteAudio(bool muted) {
  if (!muted && !mayHearCamera()) return;
  if (cameraStreamer_) cameraStreamer_->setMuteAudio(muted);
}

void KLPlayerViewModel::didTapPreviousFrameButton() { stepBy(-1); }
void KLPlayerViewModel::didTapNextFrameButton() { stepBy(1); }

void KLPlayerViewModel::stepBy(int64_t frames) {
  if (cameraStreamer_) cameraStreamer_->stepBy(frames);
  tick();
}

KLPlayerTimer& KLPlayerViewModel::tickTimer() {
  if (!timer_) {
    // A rate that cannot give a period (zero, negative, not a number) ticks once a second.
    const double interval = KLPlayerTimer::isUsableInterval(1.0 / speedRate_) ? 1.0 / speedRate_ : 1.0;
    timer_ = KLPlayerTimer::initWithTarget(std::static_pointer_cast<KLPlayerViewModel>(shared_from_this()),
                                           &KLPlayerViewModel::tick, interval, true);
  }
  return *timer_;
}

void KLPlayerViewModel::tick() {
  if (!isReadyToPlay()) return;
  const double t = cameraStreamer_->currentTime();
  const double absolute = recording_ ? t + recording_->startTime() : t;
  if (auto delegate = delegate_.lock()) delegate->streamerTimeDidChangeToTime(absolute);
  seekTime_ = t;
}

void KLPlayerViewModel::didTapTakeSnapshotButton() {
  shouldDisplayTakeSnapshotPopUp_ = true;
  if (cameraStreamer_) cameraStreamer_->takeSnapshot();
}

void KLPlayerViewModel::cameraStreamerOnSnapshotTaken(const platform::DKCameraStreamerPtr& streamer,
                                                      const platform::ImagePtr& image, double) {
  if (!isCurrent(streamer) || !image) return;
  if (auto delegate = delegate_.lock()) delegate->snapshotWasCreated(image);
  if (!shouldDisplayTakeSnapshotPopUp_) return;
  AlbumSaver saver;
  {
    std::lock_guard lock(saverMutex());
    saver = albumSaver();
  }
  if (!saver) return;
  std::weak_ptr<KLPlayerViewModel> weak = std::static_pointer_cast<KLPlayerViewModel>(shared_from_this());
  saver(image, [weak] {
    platform::runOnMain([weak] {
      auto self = weak.lock();
      if (!self) return;
      if (auto delegate = self->delegate_.lock()) {
        delegate->playerShouldDisplayInfoToastWithText(frameworkText("SnapshotSaved"), 2.0);
      }
    });
  });
}

void KLPlayerViewModel::startPushToTalk() {
  if (camera_ && !camera_->microphoneEnabled() && playerType_ == PlayerTypeLive) {
    if (auto delegate = delegate_.lock()) {
      delegate->playerShouldDisplayInfoToastWithText(mainText("TheMicOfYourCam"), 2.0);
      delegate->audioInputDidEndPushToTalk();
    }
    return;
  }
  if (cameraStreamer_ && cameraStreamer_->audioStreamingState() == platform::DKAudioStreamingStateStopped) {
    cameraStreamer_->startAudioStreaming();
  }
}

void KLPlayerViewModel::stopPushToTalk() {
  if (cameraStreamer_ && cameraStreamer_->audioStreamingState() != platform::DKAudioStreamingStateStopped) {
    cameraStreamer_->stopAudioStreaming();
  }
}

void KLPlayerViewModel::didTapPushToTalkButtonIsSelected(bool selected) {
  if (selected) startPushToTalk();
  else stopPushToTalk();
}

void KLPlayerViewModel::audioStreamingStarted() {
  auto delegate = delegate_.lock();
  if (!delegate) return;
  delegate->audioInputDidStartPushToTalk();
  if (playerType_ == PlayerTypeLive) {
    delegate->playerShouldDisplayInfoToastWithText(mainText(hasFullDuplexTwoWayAudio_ ? "SpeakAndListen" : "SpeakNow"),
                                                   kUnendingToast);
  } else {
    delegate->playerShouldDisplayInfoToastWithText(mainText("PhoneMicrophoneOn"), 2.0);
  }
}

void KLPlayerViewModel::audioStreamingStoppedWithError(const platform::ErrorPtr& reason) {
  auto delegate = delegate_.lock();
  if (!delegate) return;
  if (reason) {
    delegate->audioInputDidFailPushToTalkWithError(reason);
    return;
  }
  delegate->audioInputDidEndPushToTalk();
  std::optional<std::string> text;
  if (hasFullDuplexTwoWayAudio_ && playerType_ != PlayerTypeLivePhoneMic) {
    text = std::nullopt;
  } else if (!hasFullDuplexTwoWayAudio_ && playerType_ == PlayerTypeLive) {
    text = mainText("ListenNow");
  } else {
    text = mainText("PhoneMicrophoneMuted");
  }
  delegate->playerShouldDisplayInfoToastWithText(text, 2.0);
}

void KLPlayerViewModel::retryConnectionOnStreamerError() {
  if (numberOfRetriesOnError_ < 1) {
    ++numberOfRetriesOnError_;
    cameraStreamerItem_.reset();
    resetStreamerItem();
    updateCameraStreamer();
    return;
  }
  numberOfRetriesOnError_ = 0;
  if (auto delegate = delegate_.lock()) {
    delegate->playerShouldDisplayErrorToastWithText(frameworkText("VideoNotAvailableError"));
  }
}

void KLPlayerViewModel::cameraStreamerOnStatusChanged(const platform::DKCameraStreamerPtr& streamer, uint64_t status) {
  if (!isCurrent(streamer)) return;
  switch (status) {
    case platform::DKCameraStreamerStatusPreparing:
      if (streamer->currentItem()) {
        if (auto delegate = delegate_.lock()) delegate->streamerDidStartLoading();
      }
      return;
    case platform::DKCameraStreamerStatusReadyToPlay:
      // A newer recording was chosen while this one prepared: hand it over instead of starting
      // the old one with the new seek time.
      if (cameraStreamerItem_ && streamer->currentItem() != cameraStreamerItem_) {
        streamer->setCurrentItem(cameraStreamerItem_);
        return;
      }
      startPlaying();
      return;
    case platform::DKCameraStreamerStatusFailed:
      retryConnectionOnStreamerError();
      return;
    default:
      return;
  }
}

void KLPlayerViewModel::cameraStreamerOnPlaybackStateChanged(const platform::DKCameraStreamerPtr& streamer,
                                                             uint64_t state) {
  if (!isCurrent(streamer)) return;
  auto& application = platform::Application::shared();
  auto delegate = delegate_.lock();
  switch (state) {
    case platform::DKPlaybackStatePaused:
      application.setIdleTimerDisabled(false);
      disabledIdleTimer_ = false;
      stopPushToTalk();
      if (timer_) timer_->stopTimer();
      if (isLiveType(playerType_)) stopStreaming();
      if (delegate) {
        delegate->streamerDidPauseStreaming();
        delegate->streamerDidEndLoading();
      }
      return;
    case platform::DKPlaybackStateBuffering:
      application.setIdleTimerDisabled(true);
      disabledIdleTimer_ = true;
      if (timer_) timer_->stopTimer();
      if (delegate) delegate->streamerDidStartLoading();
      return;
    case platform::DKPlaybackStatePlaying: {
      numberOfRetriesOnError_ = 0;
      application.setIdleTimerDisabled(true);
      disabledIdleTimer_ = true;
      const double rate = streamer->rate();
      if (rate > 0) tickTimer().setInterval(1.0 / rate);
      else tickTimer().restartTimer();
      if (delegate) {
        delegate->streamerDidStartStreaming();
        delegate->streamerDidEndLoading();
      }
      return;
    }
    case platform::DKPlaybackStateEnded:
      application.setIdleTimerDisabled(false);
      disabledIdleTimer_ = false;
      stopPushToTalk();
      if (timer_) timer_->stopTimer();
      if (delegate) {
        delegate->streamerDidEndStreaming();
        delegate->streamerDidEndLoading();
      }
      return;
    default:
      return;
  }
}

void KLPlayerViewModel::cameraStreamerOnAudioStreamingStateChanged(const platform::DKCameraStreamerPtr& streamer,
                                                                   uint64_t state) {
  if (!isCurrent(streamer)) return;
  if (state == platform::DKAudioStreamingStateStreaming) audioStreamingStarted();
  else if (state == platform::DKAudioStreamingStateStopped) audioStreamingStoppedWithError(streamer->audioNotStreamingReason());
}

}  // namespace dk

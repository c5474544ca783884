#include "timeline/embedded_player.h"

#include "platform/media/streamer/dk_camera_streamer.h"
#include "player/kl_player_view_controller.h"
#include "player/player_adapters.h"
#include "timeline/kl_timeline_view_controller.h"

namespace dk {

// The player screen's client: every callback the timeline follows, passed on while it lives.
class EmbeddedPlayerDelegate final : public PlayerViewControllerDelegate {
 public:
  std::weak_ptr<KLTimelineViewController> screen;

  bool respondsToSelector(std::string_view s) const override {
    return s == "playerTimeDidChangeToTime:" || s == "playerSpeedWasUpdatedWithRate:" ||
           s == "playerDidStartLoading:" || s == "playerDidEndLoading:" || s == "playerDidEndPlaying:";
  }
  void playerTimeDidChangeToTime(double time) override {
    if (auto s = screen.lock()) s->playerTimeDidChangeToTime(time);
  }
  void playerPreviousEventWasUpdated() override {
    if (auto s = screen.lock()) s->playerPreviousEventWasUpdated();
  }
  void playerNextEventWasUpdated() override {
    if (auto s = screen.lock()) s->playerNextEventWasUpdated();
  }
  void playerSpeedWasUpdatedWithRate(double rate) override {
    if (auto s = screen.lock()) s->playerSpeedWasUpdatedWithRate(rate);
  }
  void playerDidStartLoading(PlayerViewControllerInterface&) override {
    if (auto s = screen.lock()) s->playerDidStartLoading();
  }
  void playerDidEndLoading(PlayerViewControllerInterface&) override {
    if (auto s = screen.lock()) s->playerDidEndLoading();
  }
  void playerDidEndPlaying(PlayerViewControllerInterface&) override {
    if (auto s = screen.lock()) s->playerDidEndPlaying();
  }
};

namespace {

PlayerRecordingPtr playerRecording(const KLTimelineRecordingPtr& recording) {
  if (!recording) return nullptr;
  auto underlying = std::dynamic_pointer_cast<KLRecordingResponse>(recording->timelineRecordingUnderlyingObject());
  return underlying ? RecordingPlayerAdapter::make(underlying) : nullptr;
}

}  // namespace

std::shared_ptr<EmbeddedPlayer> EmbeddedPlayer::make(KLCameraPtr camera, const KLTimelineRecordingPtr& recording) {
  auto result = std::make_shared<EmbeddedPlayer>();
  result->forwarder_ = std::make_shared<EmbeddedPlayerDelegate>();
  result->player_ = std::make_shared<KLPlayerViewController>();
  result->player_->initWithCamera(camera ? CameraPlayerAdapter::make(std::move(camera)) : nullptr,
                                  playerRecording(recording), result->forwarder_);
  return result;
}

EmbeddedPlayer::~EmbeddedPlayer() {
  if (player_) player_->setPlayerDelegate({});
}

bool EmbeddedPlayer::isPlaying() const {
  auto model = player_ ? player_->playerViewModel() : nullptr;
  return model && model->isPlaying();
}

bool EmbeddedPlayer::isInLandscape() const {
  auto model = player_ ? player_->playerViewModel() : nullptr;
  return model && model->isInLandscape();
}

bool EmbeddedPlayer::hasFailed() const {
  auto model = player_ ? player_->playerViewModel() : nullptr;
  const auto& streamer = model ? model->cameraStreamer() : nullptr;
  return streamer && streamer->status() == platform::DKCameraStreamerStatusFailed;
}

void EmbeddedPlayer::pausePlayer() { handleExternalAction(PlayerExternalActionPause); }

void EmbeddedPlayer::setPlayerDelegate(std::weak_ptr<platform::Protocol> delegate) {
  forwarder_->screen = std::dynamic_pointer_cast<KLTimelineViewController>(delegate.lock());
}

void EmbeddedPlayer::setCamera(KLCameraPtr camera) {
  if (player_) player_->setCamera(camera ? CameraPlayerAdapter::make(std::move(camera)) : nullptr);
}

void EmbeddedPlayer::setHasNextEvent(bool value) {
  if (player_) player_->setHasNextEvent(value);
}

void EmbeddedPlayer::setHasPreviousEvent(bool value) {
  if (player_) player_->setHasPreviousEvent(value);
}

void EmbeddedPlayer::handleExternalAction(int action) {
  if (player_) player_->handleExternalAction(action);
}

void EmbeddedPlayer::seekToTime(double seconds) {
  if (player_) player_->seekToTime(seconds);
}

void EmbeddedPlayer::updateSpeedWithRate(double rate) {
  if (player_) player_->updateSpeedWithRate(rate);
}

void EmbeddedPlayer::setRecording(const KLTimelineRecordingPtr& recording) {
  if (player_) player_->setRecording(playerRecording(recording));
}

void EmbeddedPlayer::setRenderViewHidden(bool hidden) {
  if (player_ && player_->renderImageView()) player_->renderImageView()->setHidden(hidden);
}

void EmbeddedPlayer::setListeningAllowed(bool allowed) {
  if (player_) player_->setListeningAllowed(allowed);
}

void EmbeddedPlayer::setCameraImage(platform::ImagePtr image) {
  if (player_) player_->setCameraImage(std::move(image));
}

void EmbeddedPlayer::dismissLandscape() {
  if (!player_) return;
  if (auto landscape = player_->landscapeViewController()) landscape->switchOrientationAnimated(false);
}

std::shared_ptr<platform::ViewController> EmbeddedPlayer::viewController() { return player_; }

}  // namespace dk

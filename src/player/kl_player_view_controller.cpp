#include "player/kl_player_view_controller.h"

#include "player/kl_player_recordings_portrait_controls.h"

namespace dk {

void KLPlayerViewController::setRecording(PlayerRecordingPtr recording) {
  PlayerViewController::setRecording(recording);
  if (landscapeViewController_) landscapeViewController_->setRecording(std::move(recording));
}
void KLPlayerViewController::setCamera(PlayerCameraPtr camera) {
  PlayerViewController::setCamera(camera);
  if (landscapeViewController_) landscapeViewController_->setCamera(std::move(camera));
}
void KLPlayerViewController::setHasPreviousEvent(bool value) {
  PlayerViewController::setHasPreviousEvent(value);
  if (landscapeViewController_) landscapeViewController_->setHasPreviousEvent(value);
}
void KLPlayerViewController::setHasNextEvent(bool value) {
  PlayerViewController::setHasNextEvent(value);
  if (landscapeViewController_) landscapeViewController_->setHasNextEvent(value);
}
void KLPlayerViewController::setHasPanTiltCapability(bool value) {
  PlayerViewController::setHasPanTiltCapability(value);
  if (landscapeViewController_) landscapeViewController_->setHasPanTiltCapability(value);
}
void KLPlayerViewController::setHasZoomCapability(bool value) {
  PlayerViewController::setHasZoomCapability(value);
  if (landscapeViewController_) landscapeViewController_->setHasZoomCapability(value);
}
void KLPlayerViewController::setHasPushAudioCapability(bool value) {
  PlayerViewController::setHasPushAudioCapability(value);
  if (landscapeViewController_) landscapeViewController_->setHasPushAudioCapability(value);
}

void KLPlayerViewController::updateViews() {
  if (auto superview = view()->superview()) view()->setFrame(superview->bounds());
  PlayerViewController::updateViews();
}

void KLPlayerViewController::setUpPlayerControls() {
  initPlayerControls();
  if (!playerControls_) return;
  playerControls_->setUpSubviews();
  if (playerControls_->respondsToSelector("setPlayButtonIsPlaying:")) {
    playerControls_->setPlayButtonIsPlaying(playerViewModel_->isPlaying());
  }
  if (playerControls_->respondsToSelector("updateLiveIndicatorWithCameraIsPlaying:")) {
    playerControls_->updateLiveIndicatorWithCameraIsPlaying(playerViewModel_->isPlaying());
  }
  if (camera_ && playerControls_->respondsToSelector("updateLiveIndicatorWithCameraIsRecording:")) {
    playerControls_->updateLiveIndicatorWithCameraIsRecording(camera_->isRecording());
  }
  if (camera_ && playerControls_->respondsToSelector("updateCameraNameLabelWithText:")) {
    playerControls_->updateCameraNameLabelWithText(camera_->cameraName());
  }
}

void KLPlayerViewController::initPlayerControls() {
  if (playerControls_) playerControls_->underlyingView()->removeFromSuperview();
  playerControls_.reset();
  if (playerType_ != PlayerTypeRecording) return;  // the other types bring no overlay here
  auto self = std::dynamic_pointer_cast<PlayerControlsExternalActionsDelegate>(sharedAs<platform::ViewController>());
  auto controls = std::make_shared<KLPlayerRecordingsPortraitControls>(view()->frame(), playerViewModel_, self);
  controls->setHidden(!recording_);
  playerControlsView_->addSubview(controls);
  playerControls_ = controls;
}

void KLPlayerViewController::updatePlayerControls() {
  PlayerViewController::updatePlayerControls();
  if (landscapeViewController_) landscapeViewController_->updatePlayerControls();
}

}  // namespace dk

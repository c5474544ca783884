#include "player/kl_player_view_controller.h"

#include "player/live_player_controls.h"

#include <typeinfo>

#include "platform/foundation/notification_center.h"
#include "platform/ui/device.h"
#include "platform/ui/ui_notifications.h"
#include "platform/ui/window.h"
#include "player/kl_player_landscape_view_controller.h"
#include "player/kl_player_recordings_portrait_controls.h"
#include "ui/top_most_view_controller.h"

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

void KLPlayerViewController::viewWillAppear(bool animated) {
  if (playerType_ != PlayerTypeLivePhoneMic) {
    std::weak_ptr<KLPlayerViewController> weak =
        std::static_pointer_cast<KLPlayerViewController>(sharedAs<platform::ViewController>());
    orientationObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        platform::kUIDeviceOrientationDidChangeNotification, [weak](const platform::Notification&) {
          if (auto self = weak.lock()) self->handleDeviceOrientationDidChange();
        });
  }
  if (!viewWasLoaded_) PlayerViewController::viewWillAppear(animated);
}

void KLPlayerViewController::viewDidAppear(bool animated) {
  if (viewWasLoaded_) return;
  PlayerViewController::viewDidAppear(animated);
  viewWasLoaded_ = true;
}

void KLPlayerViewController::viewWillDisappear(bool) { orientationObserver_.reset(); }

void KLPlayerViewController::updateViews() {
  if (auto superview = view()->superview()) view()->setFrame(superview->bounds());
  if (landscapeViewController_) {
    // Back from landscape: take the shared playback and what changed there.
    auto landscape = landscapeViewController_;
    hasPreviousEvent_ = landscape->hasPreviousEvent();
    hasNextEvent_ = landscape->hasNextEvent();
    playerType_ = landscape->playerType();
    playerLayer_ = landscape->playerLayer();
    playerViewModel_ = landscape->playerViewModel();
    hasPanTiltCapability_ = landscape->hasPanTiltCapability();
    hasZoomCapability_ = landscape->hasZoomCapability();
    hasPushAudioCapability_ = landscape->hasPushAudioCapability();
    isLoading_ = landscape->isLoading();
    landscapeViewController_.reset();
    if (playerViewModel_) playerViewModel_->setIsInLandscape(false);
  }
  PlayerViewController::updateViews();
}

void KLPlayerViewController::streamerDidStartStreaming() {
  // A phone already held sideways switches as soon as playback starts.
  if (!landscapeViewController_) handleDeviceOrientationDidChange();
  PlayerViewController::streamerDidStartStreaming();
}

void KLPlayerViewController::handleDeviceOrientationDidChange() {
  const auto o = platform::Device::current().orientation();
  const bool sideways = o == platform::DeviceOrientation::LandscapeLeft || o == platform::DeviceOrientation::LandscapeRight;
  if (sideways && playerViewModel_ && playerViewModel_->isPlaying()) switchOrientationAnimated(true);
}

bool KLPlayerViewController::nothingPresentedOverTheClient() const {
  auto parent = parentViewController();
  auto top = topMostViewController();
  if (!parent || !top) return false;
  const auto& topScreen = *top;
  const auto& parentScreen = *parent;
  return typeid(topScreen) == typeid(parentScreen);
}

void KLPlayerViewController::switchOrientationAnimated(bool) {
  if (!nothingPresentedOverTheClient() || landscapeViewController_) return;
  auto self = std::static_pointer_cast<KLPlayerViewController>(sharedAs<platform::ViewController>());
  auto landscape = std::make_shared<KLPlayerLandscapeViewController>();
  landscape->initWithCamera(camera_, playerType_, recording_, playerDelegate_);
  landscape->setTransitioningDelegate(std::static_pointer_cast<platform::TransitioningDelegate>(self));
  landscape->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  landscape->setPortraitViewController(self);  // weak: this screen owns the landscape one
  landscapeViewController_ = landscape;
  viewWasLoaded_ = false;
  if (playerViewModel_) playerViewModel_->setIsInLandscape(true);
  if (playerLayer_ && view()->window()) {
    transitionInitialFrame_ = view()->convertRectTo(playerLayer_->frame(), nullptr);
  }
  std::weak_ptr<KLPlayerViewController> weak = self;
  parentViewController()->presentViewController(landscape, true, [weak] {
    auto me = weak.lock();
    if (!me) return;
    me->landscapeOrientation_ = static_cast<int64_t>(platform::Device::current().orientation());
    if (me->playerViewModel_ && !me->playerViewModel_->isPlaying()) me->handleExternalAction(PlayerExternalActionPlay);
  });
}

std::shared_ptr<platform::AnimatedTransitioning> KLPlayerViewController::animationControllerForPresented(
    const std::shared_ptr<platform::ViewController>&, const std::shared_ptr<platform::ViewController>&,
    const std::shared_ptr<platform::ViewController>&) {
  if (!nothingPresentedOverTheClient()) return nullptr;
  auto picture = snapshotViewForTransitionAnimation();
  // The turn scales by the picture's size: without one, the platform's own animation.
  if (!picture || picture->frame().size.width <= 0 || picture->frame().size.height <= 0) return nullptr;
  return std::make_shared<KLPlayerLandscapeAnimationController>(picture);
}

std::shared_ptr<platform::AnimatedTransitioning> KLPlayerViewController::animationControllerForDismissed(
    const std::shared_ptr<platform::ViewController>& dismissed) {
  auto landscape = std::dynamic_pointer_cast<KLPlayerLandscapeViewController>(dismissed);
  if (!landscape) return nullptr;
  return std::make_shared<KLPlayerPortraitAnimationController>(landscape->snapshotViewForTransitionAnimation(),
                                                               landscape->transitionInitialFrame(),
                                                               transitionInitialFrame());
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
  auto self = std::dynamic_pointer_cast<PlayerControlsExternalActionsDelegate>(sharedAs<platform::ViewController>());
  if (playerType_ != PlayerTypeRecording) {
    // A live view needs its own overlay: its play button is what starts it, and it says it is live.
    auto live = std::make_shared<LivePlayerControls>(view()->frame(), playerViewModel_, self);
    playerControlsView_->addSubview(live);
    playerControls_ = live;
    return;
  }
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

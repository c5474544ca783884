#include "player/kl_player_landscape_view_controller.h"

#include "player/live_player_controls.h"

#include <cmath>

#include "platform/foundation/notification_center.h"
#include "platform/ui/device.h"
#include "platform/ui/image_view.h"
#include "platform/ui/layer.h"
#include "platform/ui/ui_notifications.h"
#include "player/kl_player_recordings_landscape_controls.h"
#include "model/model_keys.h"

namespace dk {

using platform::DeviceOrientation;

platform::Rect KLPlayerLandscapeViewController::transitionInitialFrame() const {
  return isViewLoaded() ? const_cast<KLPlayerLandscapeViewController*>(this)->view()->frame() : platform::Rect{};
}

void KLPlayerLandscapeViewController::loadView() {
  PlayerViewController::loadView();
  // Full screen on a phone held sideways.
  const platform::Rect box{0, 0, 812, 375};
  view()->setFrame(box);
  for (const auto& v : {std::static_pointer_cast<platform::View>(scrollView_), scrollViewContentView_,
                        std::static_pointer_cast<platform::View>(cameraImageView_),
                        std::static_pointer_cast<platform::View>(renderImageView_), utilitiesView_,
                        playerControlsView_, toastView_}) {
    v->setFrame(box);
  }
  scrollView_->setContentSize(box.size);
  loadingImageView_->setFrame({(box.size.width - 48) / 2, (box.size.height - 48) / 2, 48, 48});
}

void KLPlayerLandscapeViewController::viewDidLoad() {
  PlayerViewController::viewDidLoad();
  view()->setHidden(true);  // until it has appeared: the turning snapshot is the only picture
}

void KLPlayerLandscapeViewController::setUpViews() {
  if (auto portrait = portraitViewController()) {
    hasPreviousEvent_ = portrait->hasPreviousEvent();
    hasNextEvent_ = portrait->hasNextEvent();
    playerType_ = portrait->playerType();
    playerLayer_ = portrait->playerLayer();
    playerViewModel_ = portrait->playerViewModel();  // shared, not copied
    hasPanTiltCapability_ = portrait->hasPanTiltCapability();
    hasZoomCapability_ = portrait->hasZoomCapability();
    hasPushAudioCapability_ = portrait->hasPushAudioCapability();
    isLoading_ = portrait->isLoading();
    cameraImage_ = portrait->cameraImage();
    if (playerViewModel_) isRecordingAudio_ = playerViewModel_->isRecordingAudio();
  }
  PlayerViewController::setUpViews();
}

void KLPlayerLandscapeViewController::viewWillAppear(bool animated) {
  PlayerViewController::viewWillAppear(animated);
  if (playerType_ == PlayerTypeLivePhoneMic) return;
  std::weak_ptr<KLPlayerLandscapeViewController> weak =
      std::static_pointer_cast<KLPlayerLandscapeViewController>(sharedAs<platform::ViewController>());
  orientationObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::kUIDeviceOrientationDidChangeNotification, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->handleDeviceOrientationDidChange();
      });
}

void KLPlayerLandscapeViewController::viewDidAppear(bool animated) {
  PlayerViewController::viewDidAppear(animated);
  orientation_ = platform::Device::current().orientation() == DeviceOrientation::LandscapeRight ? 4 : 3;
  view()->setHidden(false);
}

void KLPlayerLandscapeViewController::viewWillDisappear(bool) { orientationObserver_.reset(); }

void KLPlayerLandscapeViewController::setUpPlayerControls() {
  initPlayerControls();
  if (!playerControls_) return;
  playerControls_->setUpSubviews();
  const bool playing = playerViewModel_->isPlaying();
  if (playerControls_->respondsToSelector("setPlayButtonIsPlaying:")) playerControls_->setPlayButtonIsPlaying(playing);
  if (playerControls_->respondsToSelector("updateLiveIndicatorWithCameraIsPlaying:")) {
    playerControls_->updateLiveIndicatorWithCameraIsPlaying(playing);
  }
  if (playerControls_->respondsToSelector("updateSpeedButtonWithRate:")) {
    playerControls_->updateSpeedButtonWithRate(playerViewModel_->rate());
  }
  if (camera_ && playerControls_->respondsToSelector("updateLiveIndicatorWithCameraIsRecording:")) {
    playerControls_->updateLiveIndicatorWithCameraIsRecording(camera_->isRecording());
  }
  if (camera_ && playerControls_->respondsToSelector("updateCameraNameLabelWithText:")) {
    playerControls_->updateCameraNameLabelWithText(camera_->cameraName());
  }
}

void KLPlayerLandscapeViewController::initPlayerControls() {
  if (playerControls_) playerControls_->underlyingView()->removeFromSuperview();
  playerControls_.reset();
  auto self = std::dynamic_pointer_cast<PlayerControlsExternalActionsDelegate>(sharedAs<platform::ViewController>());
  if (playerType_ != PlayerTypeRecording) {
    auto live = std::make_shared<LivePlayerControls>(view()->frame(), playerViewModel_, self);
    live->setFrame(renderImageView_->layer().bounds());
    playerControlsView_->addSubview(live);
    playerControls_ = live;
    return;
  }
  auto controls = std::make_shared<KLPlayerRecordingsLandscapeControls>(view()->frame(), playerViewModel_, self);
  controls->setHidden(!recording_);
  controls->setFrame(renderImageView_->layer().bounds());
  playerControlsView_->addSubview(controls);
  playerControls_ = controls;
}

void KLPlayerLandscapeViewController::updatePlayerControls() {
  if (playerControls_) playerControls_->underlyingView()->setFrame(renderImageView_->layer().bounds());
  PlayerViewController::updatePlayerControls();
}

void KLPlayerLandscapeViewController::streamerDidStartStreaming() {
  PlayerViewController::streamerDidStartStreaming();
  if (auto portrait = portraitViewController()) portrait->updateViewsForStreamingStarted(true);
}
void KLPlayerLandscapeViewController::streamerDidPauseStreaming() {
  PlayerViewController::streamerDidPauseStreaming();
  if (auto portrait = portraitViewController()) portrait->updateViewsForStreamingStarted(false);
}
void KLPlayerLandscapeViewController::streamerDidEndStreaming() {
  PlayerViewController::streamerDidEndStreaming();
  if (auto portrait = portraitViewController()) portrait->updateViewsForStreamingStarted(false);
}

void KLPlayerLandscapeViewController::playerShouldDisplayErrorToastWithText(const std::optional<std::string>& text) {
  PlayerViewController::playerShouldDisplayErrorToastWithText(text);
  if (auto portrait = portraitViewController()) portrait->playerShouldDisplayErrorToastWithText(text);
}

void KLPlayerLandscapeViewController::handleDeviceOrientationDidChange() {
  const DeviceOrientation o = platform::Device::current().orientation();
  if (o == DeviceOrientation::Portrait || o == DeviceOrientation::PortraitUpsideDown) switchOrientationAnimated(false);
}

void KLPlayerLandscapeViewController::switchOrientationAnimated(bool) {
  if (playerType_ != PlayerTypeLivePhoneMic) {
    if (!isBeingDismissed() && presentingViewController()) dismissViewController(true);
    return;
  }
  platform::ValueDictionary info;
  if (camera_) info[std::string(kCameraIDKey)] = platform::Value(camera_->playerCameraID());
  platform::NotificationCenter::defaultCenter().post(kShowDashboardScreenAndScrollNotification, nullptr, info);
}

std::shared_ptr<platform::View> KLPlayerLandscapeViewController::snapshotViewForTransitionAnimation() {
  const double angle = orientation_ == 3 ? M_PI / 2 : -M_PI / 2;
  std::shared_ptr<platform::View> snapshot;
  if (playerViewModel_ && playerViewModel_->isReadyToPlay()) {
    snapshot = std::make_shared<platform::ImageView>(playerLayer_ ? playerLayer_->contents() : nullptr);
    snapshot->setFrame(renderImageView_->frame());
    snapshot->setTransform(platform::AffineTransform::rotation(angle));
    const platform::Rect rotated = snapshot->frame();
    snapshot->setFrame({0, 0, rotated.size.width, rotated.size.height});
  } else {
    snapshot = std::make_shared<platform::ImageView>(cameraImage_);
    snapshot->setFrame(view()->frame());
    snapshot->setTransform(platform::AffineTransform::rotation(angle));
  }
  return snapshot;
}

void KLPlayerLandscapeAnimationController::animateTransition(const std::shared_ptr<platform::TransitionContext>& context) {
  const double angle = platform::Device::current().orientation() == DeviceOrientation::LandscapeRight ? -M_PI / 2 : M_PI / 2;
  auto container = context->containerView();
  auto presented = context->toView();
  auto picture = transitionAnimationView_;
  presented->setHidden(true);
  container->addSubview(presented);
  container->addSubview(picture);
  const platform::Rect box = container->frame();
  const platform::Rect from = picture->frame();
  // The callers only use this animator for a picture with a size (see the transitioning delegate).
  const auto target = platform::AffineTransform::translation(box.midX() - from.midX(), box.midY() - from.midY())
                          .rotatedBy(angle)
                          .scaledBy(box.size.height / from.size.width, box.size.width / from.size.height);
  const platform::Rect laid = presented->frame();
  presented->setFrame({0, 0, laid.size.height, laid.size.width});
  presented->setTransform(platform::AffineTransform::translation(box.midX() - laid.size.height / 2,
                                                                 box.midY() - laid.size.width / 2)
                              .rotatedBy(angle));
  platform::View::animate(transitionDuration(context.get()), [picture, target] { picture->setTransform(target); },
                          [presented, picture, context](bool) {
                            presented->setHidden(false);
                            picture->removeFromSuperview();
                            context->completeTransition(!context->transitionWasCancelled());
                          });
}

void KLPlayerPortraitAnimationController::animateTransition(const std::shared_ptr<platform::TransitionContext>& context) {
  auto container = context->containerView();
  auto dismissed = context->fromView();
  auto picture = transitionAnimationView_;
  if (dismissed) dismissed->setHidden(true);
  container->addSubview(picture);
  const platform::Rect finalFrame = finalFrame_;
  platform::View::animate(transitionDuration(context.get()),
                          [picture, finalFrame] {
                            picture->setTransform(platform::AffineTransform::identity().rotatedBy(0));
                            picture->setFrame(finalFrame);
                          },
                          [picture, context](bool) {
                            picture->removeFromSuperview();
                            context->completeTransition(!context->transitionWasCancelled());
                          });
}

}  // namespace dk

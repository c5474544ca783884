#include "player/player_view_controller.h"

#include <cmath>
#include <mutex>

#include "foundation/color_codes.h"
#include "model/model_keys.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/images/image_response.h"
#include "platform/ui/layer.h"
#include "ui/fonts.h"
#include "ui/image_effects.h"
#include "ui/view_extensions.h"

namespace dk {
namespace {

std::mutex& servicesMutex() {
  static std::mutex mutex;
  return mutex;
}
PlayerServices& services() {
  static PlayerServices s;
  return s;
}

const platform::Color kClear{0, 0, 0, 0};

}  // namespace

void PlayerServices::install(PlayerServices installed) {
  std::lock_guard lock(servicesMutex());
  services() = std::move(installed);
}

PlayerServices PlayerServices::current() {
  std::lock_guard lock(servicesMutex());
  return services();
}

PlayerViewController::PlayerViewController() = default;
PlayerViewController::~PlayerViewController() = default;

void PlayerViewController::initWithCamera(PlayerCameraPtr camera, std::weak_ptr<PlayerViewControllerDelegate> delegate) {
  initWithCamera(std::move(camera), PlayerTypeLive, nullptr, std::move(delegate));
}
void PlayerViewController::initWithCamera(PlayerCameraPtr camera, int playerType,
                                          std::weak_ptr<PlayerViewControllerDelegate> delegate) {
  initWithCamera(std::move(camera), playerType, nullptr, std::move(delegate));
}
void PlayerViewController::initWithCamera(PlayerCameraPtr camera, PlayerRecordingPtr recording,
                                          std::weak_ptr<PlayerViewControllerDelegate> delegate) {
  initWithCamera(std::move(camera), PlayerTypeRecording, std::move(recording), std::move(delegate));
}
void PlayerViewController::initWithCamera(PlayerCameraPtr camera, int playerType, PlayerRecordingPtr recording,
                                          std::weak_ptr<PlayerViewControllerDelegate> delegate) {
  playerType_ = playerType;
  camera_ = std::move(camera);
  recording_ = std::move(recording);
  playerDelegate_ = std::move(delegate);
}

bool PlayerViewController::respondsToSelector(std::string_view selector) const {
  return selector == "didTapEnableMicrophoneButton";
}

std::shared_ptr<platform::ViewController> PlayerViewController::viewController() {
  return sharedAs<platform::ViewController>();
}

void PlayerViewController::tellDelegate(std::string_view selector,
                                        const std::function<void(PlayerViewControllerDelegate&)>& call) {
  // The client is held weakly: it may have gone while playback still reports.
  auto delegate = playerDelegate_.lock();
  if (delegate && delegate->respondsToSelector(selector)) call(*delegate);
}

// ---- views ----

void PlayerViewController::loadView() {
  auto root = std::make_shared<platform::View>(platform::Rect{0, 0, 375, 211});
  const platform::Rect box = root->bounds();
  scrollView_ = std::make_shared<platform::ScrollView>(box);
  scrollViewContentView_ = std::make_shared<platform::View>(box);
  cameraImageView_ = std::make_shared<platform::ImageView>(box);
  cameraImageView_->setContentMode(platform::ContentMode::ScaleAspectFill);
  renderImageView_ = std::make_shared<platform::ImageView>(box);
  scrollViewContentView_->addSubview(cameraImageView_);
  scrollViewContentView_->addSubview(renderImageView_);
  scrollView_->addSubview(scrollViewContentView_);
  scrollView_->setContentSize(box.size);
  utilitiesView_ = std::make_shared<platform::View>(box);
  playerControlsView_ = std::make_shared<platform::View>(box);
  toastView_ = std::make_shared<platform::View>(box);
  toastView_->setUserInteractionEnabled(false);
  loadingImageView_ = std::make_shared<platform::ImageView>(platform::Rect{(box.size.width - 48) / 2,
                                                                           (box.size.height - 48) / 2, 48, 48});
  loadingImageView_->setHidden(true);
  utilitiesView_->addSubview(playerControlsView_);
  utilitiesView_->addSubview(loadingImageView_);
  utilitiesView_->addSubview(toastView_);
  scrollView_->addSubview(utilitiesView_);
  root->addSubview(scrollView_);
  root->setBackgroundColor(platform::Color{0, 0, 0, 1});
  setView(root);
}

void PlayerViewController::viewDidLoad() { setUpViews(); }

void PlayerViewController::setUpViews() {
  for (const auto& v : {view(), std::static_pointer_cast<platform::View>(scrollView_),
                        std::static_pointer_cast<platform::View>(renderImageView_), scrollViewContentView_,
                        utilitiesView_, playerControlsView_, toastView_}) {
    v->setBackgroundColor(kClear);
  }
  scrollView_->setShowsHorizontalScrollIndicator(false);
  scrollView_->setShowsVerticalScrollIndicator(false);
  scrollView_->setBounces(false);
  scrollView_->setBouncesZoom(false);
  scrollView_->setScrollEnabled(true);
  scrollView_->setMinimumZoomScale(1.0);
  scrollView_->setMaximumZoomScale(4.0);
  scrollView_->setDelegate(std::dynamic_pointer_cast<platform::ScrollViewDelegate>(sharedAs<platform::ViewController>()));
  scrollView_->addGestureRecognizer(doubleTapRecognizer());
  scrollView_->addGestureRecognizer(singleTapRecognizer());
  setUpPlayerLayer();
  setUpPlayerViewModel();
  stopLoading();
  playerViewModel_->setRecording(recording_);
}

const std::shared_ptr<platform::TapGestureRecognizer>& PlayerViewController::doubleTapRecognizer() {
  if (!doubleTap_) {
    doubleTap_ = std::make_shared<platform::TapGestureRecognizer>();
    doubleTap_->numberOfTapsRequired = 2;
    doubleTap_->addTarget(std::static_pointer_cast<PlayerViewController>(sharedAs<platform::ViewController>()),
                          &PlayerViewController::doubleTap);
  }
  return doubleTap_;
}

const std::shared_ptr<platform::TapGestureRecognizer>& PlayerViewController::singleTapRecognizer() {
  if (!singleTap_) {
    singleTap_ = std::make_shared<platform::TapGestureRecognizer>();
    singleTap_->addTarget(std::static_pointer_cast<PlayerViewController>(sharedAs<platform::ViewController>()),
                          &PlayerViewController::singleTap);
    singleTap_->requireGestureRecognizerToFail(doubleTapRecognizer());
  }
  return singleTap_;
}

void PlayerViewController::setUpPlayerLayer() {
  if (!playerLayer_) playerLayer_ = std::make_shared<platform::Layer>();
  commitWithoutAnimation([&] { playerLayer_->setBounds(renderImageView_->layer().bounds()); });
  playerLayer_->removeFromSuperlayer();
  renderImageView_->layer().addSublayer(playerLayer_);
}

void PlayerViewController::setUpPlayerViewModel() {
  auto self = std::dynamic_pointer_cast<PlayerViewModelDelegate>(sharedAs<platform::ViewController>());
  if (!playerViewModel_) {
    if (playerType_ == PlayerTypeLivePhoneMic) {
      playerViewModel_ = KLPlayerViewModel::initWithCamera(camera_, playerLayer_, PlayerTypeLivePhoneMic, self);
    } else if (playerType_ == PlayerTypeLive) {
      playerViewModel_ = KLPlayerViewModel::initWithCamera(camera_, playerLayer_, self);
    } else {
      playerViewModel_ = KLPlayerViewModel::initWithCamera(camera_, recording_, playerLayer_, self);
    }
  }
  playerViewModel_->setDelegate(self);
  playerViewModel_->setHasFullDuplexTwoWayAudio(hasFullDuplexTwoWayAudio());
  if (!listeningAllowed_) playerViewModel_->setListeningAllowed(false);
}

void PlayerViewController::setListeningAllowed(bool allowed) {
  listeningAllowed_ = allowed;
  if (playerViewModel_) playerViewModel_->setListeningAllowed(allowed);
}

void PlayerViewController::viewWillAppear(bool) {
  zoomScaleValue_ = 1.0;
  scrollView_->setZoomScale(1.0, false);
}

void PlayerViewController::viewDidAppear(bool) { updateViews(); }

void PlayerViewController::viewWillLayoutSubviews() {
  if (playerLayer_ && playerLayer_->superlayer()) {
    commitWithoutAnimation([&] { playerLayer_->setFrame(playerLayer_->superlayer()->bounds()); });
  }
}

void PlayerViewController::updateViews() {
  setUpPlayerLayer();
  setUpPlayerViewModel();
  setUpPlayerControls();
  updatePlayerControls();
  if (playerControls_) {
    if (playerControls_->respondsToSelector("updateLiveIndicatorWithCameraIsPlaying:")) {
      playerControls_->updateLiveIndicatorWithCameraIsPlaying(playerViewModel_->isPlaying());
    }
    if (camera_ && playerControls_->respondsToSelector("updateCameraNameLabelWithText:")) {
      playerControls_->updateCameraNameLabelWithText(camera_->cameraName());
    }
  }
  if (playerViewModel_->isRecordingAudio() && playerViewModel_->isPlaying()) {
    if (playerType_ == PlayerTypeLive) {
      showInfoToastWithText(platform::Bundle::main()->localizedString("SpeakAndListen", "", ""), 2147483647.0);
    } else if (playerType_ == PlayerTypeLivePhoneMic) {
      showInfoToastWithText(platform::Bundle::main()->localizedString("PhoneMicrophoneOn", "", ""), 2.0);
    }
  }
  if (playerViewModel_->isPlaying() && playerControls_) playerControls_->hideControlsAnimated(false);
  cameraImageView_->setImage(cameraImage_);
  updateLoadingState();
  enableZooming(playerViewModel_->isPlaying());
}

void PlayerViewController::updatePlayerControls() {
  if (!playerControls_) return;
  playerControls_->updateSubviews();
  playerControls_->updateActionsDelegateWithObject(playerViewModel_);
}

// ---- setters ----

void PlayerViewController::setRecording(PlayerRecordingPtr recording) {
  recording_ = std::move(recording);
  if (playerViewModel_) playerViewModel_->setRecording(recording_);
  if (playerControls_) playerControls_->underlyingView()->setHidden(recording_ == nullptr);
}

void PlayerViewController::setCamera(PlayerCameraPtr camera) {
  camera_ = std::move(camera);
  if (playerViewModel_) playerViewModel_->setCamera(camera_);
  if (!playerControls_ || !camera_) return;
  if (playerControls_->respondsToSelector("updateCameraNameLabelWithText:")) {
    playerControls_->updateCameraNameLabelWithText(camera_->cameraName());
  }
  if (playerControls_->respondsToSelector("updateLiveIndicatorWithCameraIsRecording:")) {
    playerControls_->updateLiveIndicatorWithCameraIsRecording(camera_->isRecording());
  }
}

void PlayerViewController::setCameraImage(platform::ImagePtr image) {
  if (!image) return;  // the previous poster stays
  cameraImage_ = std::move(image);
  if (cameraImageView_) cameraImageView_->setImage(cameraImage_);
}

void PlayerViewController::setHasPreviousEvent(bool value) {
  hasPreviousEvent_ = value;
  if (playerControls_) playerControls_->updateSubviews();
}
void PlayerViewController::setHasNextEvent(bool value) {
  hasNextEvent_ = value;
  if (playerControls_) playerControls_->updateSubviews();
}
void PlayerViewController::setIsRecordingAudio(bool value) {
  isRecordingAudio_ = value;
  if (playerControls_) playerControls_->updateSubviews();
}
void PlayerViewController::setHasPushAudioCapability(bool value) {
  hasPushAudioCapability_ = value && (playerType_ == PlayerTypeLive || playerType_ == PlayerTypeLivePhoneMic);
  if (playerControls_) playerControls_->updateSubviews();
}
void PlayerViewController::setHasPanTiltCapability(bool value) {
  hasPanTiltCapability_ = value && playerType_ == PlayerTypeLive;
  if (playerControls_) playerControls_->updateSubviews();
}
void PlayerViewController::setHasZoomCapability(bool value) {
  hasZoomCapability_ = value && playerType_ == PlayerTypeLive;
  if (playerControls_) playerControls_->updateSubviews();
}

bool PlayerViewController::isPushAudioEnabled() const {
  if (!camera_) return false;
  if (playerType_ == PlayerTypeLivePhoneMic) return camera_->microphoneEnabled();
  if (playerType_ == PlayerTypeLive) return camera_->microphoneEnabled() && playerViewModel_ && playerViewModel_->isPlaying();
  return false;
}

// ---- commands ----

void PlayerViewController::seekToTime(double seconds) {
  if (playerViewModel_) playerViewModel_->seekToTime(seconds);
}

void PlayerViewController::updateSpeedWithRate(double rate) {
  if (playerViewModel_) playerViewModel_->setRate(rate);
}

void PlayerViewController::handleExternalAction(int action) {
  if (action < PlayerExternalActionPlay || action > PlayerExternalActionRestartStreaming) return;
  auto controls = playerControls_;
  auto model = playerViewModel_;
  switch (action) {
    case PlayerExternalActionPlay:
      if (model && !model->isPlaying() && controls) controls->playButtonTapped();
      return;
    case PlayerExternalActionPause:
      if (model && model->isPlaying()) {
        if (controls) controls->playButtonTapped();
      } else if (model) {
        model->stopStreaming();
      }
      return;
    case PlayerExternalActionSwitchOrientationAnimated: switchOrientationAnimated(true); return;
    case PlayerExternalActionSwitchOrientation: switchOrientationAnimated(false); return;
    case PlayerExternalActionPreviousEvent: if (controls) controls->previousEventButtonTapped(); return;
    case PlayerExternalActionNextEvent: if (controls) controls->nextEventButtonTapped(); return;
    case PlayerExternalActionPreviousFrame: if (controls) controls->previousFrameButtonTapped(); return;
    case PlayerExternalActionNextFrame: if (controls) controls->nextFrameButtonTapped(); return;
    case PlayerExternalActionTogglePushToTalk:
      if (!model) return;
      if (model->isRecordingAudio()) model->stopPushToTalk();
      else model->startPushToTalk();
      return;
    case PlayerExternalActionTakeSnapshot: if (controls) controls->takeSnapshotButtonTapped(); return;
    case PlayerExternalActionMuteAudio: if (model) model->muteAudio(true); return;
    case PlayerExternalActionUnmuteAudio:
      if (model && camera_ && camera_->microphoneEnabled()) model->muteAudio(false);
      return;
    case PlayerExternalActionRestartStreaming: if (model) model->restartStreaming(); return;
    default: return;
  }
}

// ---- view-model events ----

void PlayerViewController::streamerDidStartStreaming() {
  tellDelegate("playerDidStartPlaying:", [this](auto& d) { d.playerDidStartPlaying(*this); });
  updateViewsForStreamingStarted(true);
}
void PlayerViewController::streamerDidPauseStreaming() {
  tellDelegate("playerDidPausePlaying:", [this](auto& d) { d.playerDidPausePlaying(*this); });
  updateViewsForStreamingStarted(false);
}
void PlayerViewController::streamerDidEndStreaming() {
  tellDelegate("playerDidEndPlaying:", [this](auto& d) { d.playerDidEndPlaying(*this); });
  updateViewsForStreamingStarted(false);
}

void PlayerViewController::streamerTimeDidChangeToTime(double time) {
  tellDelegate("playerTimeDidChangeToTime:", [time](auto& d) { d.playerTimeDidChangeToTime(time); });
  if (playerControls_ && playerControls_->respondsToSelector("updateTimeLabelWithTime:")) {
    playerControls_->updateTimeLabelWithTime(time);
  }
}

void PlayerViewController::streamerDidUpdateSpeedWithRate(double rate) {
  tellDelegate("playerSpeedWasUpdatedWithRate:", [rate](auto& d) { d.playerSpeedWasUpdatedWithRate(rate); });
}

void PlayerViewController::audioInputDidStartPushToTalk() {
  tellDelegate("playerDidStartPushToTalk:", [this](auto& d) { d.playerDidStartPushToTalk(*this); });
  setIsRecordingAudio(playerViewModel_->isRecordingAudio());
}
void PlayerViewController::audioInputDidEndPushToTalk() {
  tellDelegate("playerDidStopPushToTalk:", [this](auto& d) { d.playerDidStopPushToTalk(*this); });
  setIsRecordingAudio(playerViewModel_->isRecordingAudio());
}
void PlayerViewController::audioInputDidFailPushToTalkWithError(const platform::ErrorPtr& error) {
  tellDelegate("playerDidStopPushToTalk:withError:", [this, &error](auto& d) { d.playerDidStopPushToTalk(*this, error); });
  setIsRecordingAudio(playerViewModel_->isRecordingAudio());
}

void PlayerViewController::snapshotWasCreated(const platform::ImagePtr& image) {
  if (camera_) {
    platform::NotificationCenter::defaultCenter().post(
        // Screens are not platform objects: observers find the camera in the user info.
        kNewSnapshotDownloadedNotification, nullptr,
        platform::ValueDictionary{{kLastSnapshotSavedNotification, platform::Value(std::make_shared<platform::ImageObject>(image))},
                                  {std::string(kCameraIDKey), platform::Value(camera_->playerCameraID())}});
  }
  setCameraImage(image);  // the last frame becomes the poster
}

void PlayerViewController::playerShouldDisplayErrorToastWithText(const std::optional<std::string>& text) {
  stopLoading();
  streamerDidEndStreaming();
  if (playerControls_) playerControls_->showControlsAnimated(false);
  showErrorToastWithText(text, 5.0);
}

void PlayerViewController::playerShouldDisplayInfoToastWithText(const std::optional<std::string>& text, double duration) {
  showInfoToastWithText(text, duration);
}

void PlayerViewController::updateViewsForStreamingStarted(bool started) {
  enableZooming(started);
  if (playerControls_) {
    if (playerControls_->respondsToSelector("setPlayButtonIsPlaying:")) {
      playerControls_->setPlayButtonIsPlaying(playerViewModel_->isPlaying());
    }
    if (playerControls_->respondsToSelector("updateLiveIndicatorWithCameraIsPlaying:")) {
      playerControls_->updateLiveIndicatorWithCameraIsPlaying(playerViewModel_->isPlaying());
    }
  }
  if (!started) {
    zoomScaleValue_ = 1.0;
    scrollView_->setZoomScale(1.0, false);
    if (playerControls_) playerControls_->showControlsAnimated(false);
  } else if (playerControls_) {
    playerControls_->hideControlsAnimated(false);
  }
  if (playerControls_) playerControls_->updateSubviews();
}

void PlayerViewController::enableZooming(bool enabled) {
  scrollView_->pinchGestureRecognizer()->setEnabled(enabled);
  scrollView_->panGestureRecognizer()->setEnabled(enabled);
}

// ---- loading and toasts ----

const std::vector<platform::ImagePtr>& PlayerViewController::animationImages() {
  static const std::vector<platform::ImagePtr> frames = imagesForAnimation(1, 90, "loadingWhite");
  return frames;
}

void PlayerViewController::updateLoadingState() {
  if (isLoading_) startLoading();
  else stopLoading();
}

void PlayerViewController::startLoading() {
  isLoading_ = true;
  if (loadingImageView_->isAnimating()) return;
  loadingImageView_->setHidden(false);
  loadingImageView_->setAnimationImages(animationImages());
  loadingImageView_->setAnimationDuration(3.0);
  loadingImageView_->startAnimating();
  tellDelegate("playerDidStartLoading:", [this](auto& d) { d.playerDidStartLoading(*this); });
  if (playerControls_) playerControls_->hideControlsAnimated(false);
}

void PlayerViewController::stopLoading() {
  isLoading_ = false;
  tellDelegate("playerDidEndLoading:", [this](auto& d) { d.playerDidEndLoading(*this); });
  loadingImageView_->stopAnimating();
  loadingImageView_->setHidden(true);
}

platform::ToastStyle& PlayerViewController::infoToastStyle() {
  if (!infoToastStyle_) {
    platform::ToastStyle style;
    style.backgroundColor = lightGreyColorWithAlpha(0.6);
    style.messageColor = darkBlueColorWithAlpha(0.8);
    infoToastStyle_ = style;
  }
  return *infoToastStyle_;
}

platform::ToastStyle& PlayerViewController::errorToastStyle() {
  if (!errorToastStyle_) {
    platform::ToastStyle style;
    style.backgroundColor = specialActionColor();
    style.messageColor = platform::Color{1, 1, 1, 1};
    errorToastStyle_ = style;
  }
  return *errorToastStyle_;
}

void PlayerViewController::showInfoToastWithText(const std::optional<std::string>& text, double duration) {
  showToast(text, duration, infoToastStyle());
}

void PlayerViewController::showErrorToastWithText(const std::optional<std::string>& text, double duration) {
  showToast(text, duration, errorToastStyle());
}

void PlayerViewController::showToast(const std::optional<std::string>& text, double duration,
                                     platform::ToastStyle style) {
  if (!text || text->empty()) return;
  style.messageFont = XS_RegularTextFont();
  style.messageAlignment = platform::TextAlignment::Center;
  style.cornerRadius = 22.0;
  style.maxHeightPercentage = 1.0;
  style.verticalPadding = 14.0;
  style.horizontalPadding = 18.0;
  platform::makeToast(*toastView_, *text, duration, platform::ToastPosition::Center, style);
}

// ---- taps and zoom ----

void PlayerViewController::singleTap(platform::GestureRecognizer& recognizer) {
  if (playerControls_ && playerControls_->controlHitByGestureRecognizer(recognizer)) return;
  if (!playerViewModel_->isPlaying()) {
    handleExternalAction(PlayerExternalActionPlay);
  } else if (playerControls_) {
    playerControls_->showHideControls();
  }
}

void PlayerViewController::doubleTap(platform::GestureRecognizer& recognizer) {
  if (playerControls_ && playerControls_->controlHitByGestureRecognizer(recognizer)) return;
  if (!playerViewModel_->isPlaying()) return;
  if (zoomScaleValue_ == 1.0) {
    zoomScaleValue_ = 2.0;
    const platform::Point at = recognizer.locationInView(scrollView_.get());
    scrollView_->zoomToRect(zoomRectForScale(*renderImageView_, 2.0f, at, scrollView_.get()), true);
  } else {
    zoomScaleValue_ = 1.0;
    scrollView_->setZoomScale(1.0, true);
  }
}

std::shared_ptr<platform::View> PlayerViewController::viewForZooming(platform::ScrollView&) { return renderImageView_; }

void PlayerViewController::scrollViewDidScroll(platform::ScrollView& scrollView) {
  platform::Rect frame = utilitiesView_->frame();
  frame.origin = scrollView.contentOffset();
  utilitiesView_->setFrame(frame);
}

void PlayerViewController::scrollViewDidZoom(platform::ScrollView&) {
  utilitiesView_->setTransform(platform::AffineTransform::identity());
}

void PlayerViewController::scrollViewDidEndZooming(platform::ScrollView& scrollView, platform::View*, double scale) {
  if (scale < 1.0) {
    zoomScaleValue_ = 1.0;
    scrollView.setZoomScale(1.0, false);
  } else {
    zoomScaleValue_ = std::min(scale, 4.0);
  }
}

// ---- overlay's requests ----

void PlayerViewController::didTapPreviousEventButton() {
  // Every client implements the two event jumps; it may be gone, though.
  if (auto d = playerDelegate_.lock()) d->playerPreviousEventWasUpdated();
}
void PlayerViewController::didTapNextEventButton() {
  if (auto d = playerDelegate_.lock()) d->playerNextEventWasUpdated();
}

void PlayerViewController::didTapPtzButtonForDirection(uint64_t direction) {
  auto move = PlayerServices::current().moveCamera;
  if (move && camera_) move(camera_->underlyingObject(), direction);
}

bool PlayerViewController::shouldDisplayButtonForPlaybackCapability(int capability) {
  switch (capability) {
    case PlayerPlaybackCapabilityPanTilt: return hasPanTiltCapability_;
    case PlayerPlaybackCapabilityZoom: return hasZoomCapability_;
    case PlayerPlaybackCapabilityPushAudio: return hasPushAudioCapability_;
    case PlayerPlaybackCapabilityPreviousEvent: return hasPreviousEvent_;
    case PlayerPlaybackCapabilityNextEvent: return hasNextEvent_;
    case PlayerPlaybackCapabilityFullDuplexTwoWayAudio: return hasFullDuplexTwoWayAudio();
    default: return false;
  }
}

bool PlayerViewController::shouldEnableButtonForPlaybackCapability(int capability) {
  if (capability == PlayerPlaybackCapabilityPushAudio) return isPushAudioEnabled();
  if (capability == PlayerPlaybackCapabilityRecordingAudio) return isRecordingAudio_;
  return false;
}

void PlayerViewController::didTapEnableMicrophoneButton() {
  tellDelegate("playerRequestedMicrohoneEnabled:", [this](auto& d) { d.playerRequestedMicrohoneEnabled(*this); });
}

void PlayerViewController::didFailWithErrorMessage(const std::string& message) { showInfoToastWithText(message, 2.0); }

std::shared_ptr<platform::View> PlayerViewController::snapshotViewForTransitionAnimation() {
  std::shared_ptr<platform::View> snapshot;
  if (playerViewModel_ && playerViewModel_->isReadyToPlay()) {
    auto frame = std::make_shared<platform::ImageView>(playerLayer_ ? playerLayer_->contents() : nullptr);
    snapshot = frame;
  } else {
    snapshot = std::make_shared<platform::ImageView>(cameraImage_);
  }
  snapshot->setFrame(transitionInitialFrame());
  return snapshot;
}

}  // namespace dk

#include "player/kl_player_controls.h"

#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/system_sound.h"
#include "ui/button_tint.h"
#include "ui/view_extensions.h"

namespace dk {
KLPlayerControls::KLPlayerControls(const platform::Rect& frame,
                                   std::weak_ptr<PlayerControlsActionsDelegate> actionsDelegate,
                                   std::weak_ptr<PlayerControlsExternalActionsDelegate> externalActionsDelegate)
    : View(frame), actionsDelegate_(std::move(actionsDelegate)), externalActionsDelegate_(std::move(externalActionsDelegate)) {}

bool KLPlayerControls::respondsToSelector(std::string_view selector) const {
  return selector == "setPlayButtonIsPlaying:";
}

const std::shared_ptr<KLForwardingTouchesView>& KLPlayerControls::containerView() {
  if (!containerView_) {
    const platform::Rect box{0, 0, frame().size.width, frame().size.height};
    containerView_ = std::make_shared<KLForwardingTouchesView>(box);
    buildLayout(*containerView_);
  }
  return containerView_;
}

void KLPlayerControls::buildLayout(KLForwardingTouchesView& container) {
  const platform::Size size = container.bounds().size;
  controlsView_ = std::make_shared<PlayerControlsView>(platform::Rect{0, 0, size.width, size.height});
  container.addSubview(controlsView_);
  const double band = std::min(72.0, size.height / 3);
  topGradientView_ = std::make_shared<AlphaGradientView>(platform::Rect{0, 0, size.width, band});
  bottomGradientView_ = std::make_shared<AlphaGradientView>(platform::Rect{0, size.height - band, size.width, band});
  controlsView_->addSubview(topGradientView_);
  controlsView_->addSubview(bottomGradientView_);
  playButton_ = std::make_shared<KLPlayButton>(platform::Rect{(size.width - 56) / 2, (size.height - 56) / 2, 56, 56});
  setImageForAllControlStates(*playButton_, platform::Image::named("Play"));
  wire(*playButton_, &KLPlayerControls::playButtonTapped);
  controlsView_->addSubview(playButton_);
}

void KLPlayerControls::updateActionsDelegateWithObject(std::weak_ptr<PlayerControlsActionsDelegate> object) {
  actionsDelegate_ = std::move(object);
}

void KLPlayerControls::setUpSubviews() {
  addSubview(containerView());
  setUpGradients();
}

void KLPlayerControls::setUpGradients() {
  constexpr double kGradientAlpha = static_cast<double>(0.6f);
  for (const auto& [gradient, direction] : {std::pair{topGradientView_, 0}, std::pair{bottomGradientView_, 1}}) {
    gradient->setBackgroundColor(platform::Color{0, 0, 0, 0});
    gradient->setDirection(direction);
    gradient->setAlpha(kGradientAlpha);
    setMaxAlpha(*gradient, kGradientAlpha);
  }
}

std::shared_ptr<platform::View> KLPlayerControls::controlHitByGestureRecognizer(platform::GestureRecognizer& recognizer) {
  const platform::Point point = recognizer.locationInView(controlsView_.get());
  return containerView()->hitTest(point, nullptr);
}

void KLPlayerControls::showHideControls() { controlsView_->showHideSubviews(); }
void KLPlayerControls::hideControlsAnimated(bool animated) { controlsView_->hideSubviewsAnimated(animated); }
void KLPlayerControls::showControlsAnimated(bool animated) { controlsView_->showSubviewsAnimated(animated); }

void KLPlayerControls::setPlayButtonIsPlaying(bool playing) {
  playButton_->setIsPlaying(playing);
  controlsView_->setCanHideSubviews(playing);
  updateSubviews();
}

void KLPlayerControls::playButtonTapped() {
  playButton_->setIsPlaying(!playButton_->isPlaying());  // the icon morphs before the stream reacts
  if (auto d = actionsDelegate()) d->didTapPlayButton();
}
void KLPlayerControls::switchOrientationButtonTapped() {
  if (auto d = externalActionsDelegate()) d->didTapSwitchOrientationButton();
}
void KLPlayerControls::previousEventButtonTapped() {
  if (auto d = externalActionsDelegate()) d->didTapPreviousEventButton();
}
void KLPlayerControls::nextEventButtonTapped() {
  if (auto d = externalActionsDelegate()) d->didTapNextEventButton();
}
void KLPlayerControls::previousFrameButtonTapped() {
  if (auto d = actionsDelegate()) d->didTapPreviousFrameButton();
}
void KLPlayerControls::nextFrameButtonTapped() {
  if (auto d = actionsDelegate()) d->didTapNextFrameButton();
}
void KLPlayerControls::speedButtonTapped() {
  if (auto d = actionsDelegate()) d->didTapSpeedButtonWithRate(1.0);
}
void KLPlayerControls::ptzButtonTapped(const std::shared_ptr<platform::Object>&) {
  if (auto d = externalActionsDelegate()) d->didTapPtzButtonForDirection(0);
}
void KLPlayerControls::pushToTalkButtonTapped() {
  if (playButton_->isPlaying()) platform::SystemSound::playAlertSound(platform::kSystemSoundID_Vibrate);
}
void KLPlayerControls::takeSnapshotButtonTapped() {
  if (auto d = actionsDelegate()) d->didTapTakeSnapshotButton();
  setUpTakeSnapshotView();
}

void KLPlayerControls::setUpTakeSnapshotView() {
  auto flash = std::make_shared<platform::View>(frame());
  flash->setBackgroundColor(platform::Color{1, 1, 1, 1});
  flash->setAlpha(0);
  addSubview(flash);
  platform::View::animate(0.5, [flash] { flash->setAlpha(0.5); }, [flash](bool) {
    platform::View::animate(0.5, [flash] { flash->setAlpha(0); }, [flash](bool) { flash->removeFromSuperview(); });
  });
}

bool KLPlayerControls::hasPreviousEvent() const {
  auto d = externalActionsDelegate();
  return d && d->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityPreviousEvent);
}

bool KLPlayerControls::hasNextEvent() const {
  auto d = externalActionsDelegate();
  return d && d->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityNextEvent);
}

void KLPlayerControls::updateEventButtons(KLLargerHitTestAreaButton* previous, KLLargerHitTestAreaButton* next) const {
  if (!previous || !next) return;
  const bool hasPrevious = hasPreviousEvent(), hasNext = hasNextEvent();
  previous->setHidden(!hasPrevious);
  setMaxAlpha(*previous, hasPrevious ? 1.0 : 0.0);
  next->setHidden(!hasNext);
  setMaxAlpha(*next, hasNext ? 1.0 : 0.0);
  previous->largeHitTestArea()->setHidden(!hasPrevious);
  next->largeHitTestArea()->setHidden(!hasNext);
}

}  // namespace dk

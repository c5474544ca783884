#include "player/live_player_controls.h"

#include "ui/button_tint.h"
#include "ui/fonts.h"
#include "ui/view_extensions.h"

namespace dk {
namespace {
const platform::Color kLiveWhite{1, 1, 1, 1};
const platform::Color kLiveRed{0.86, 0.12, 0.14, 1};
const platform::Color kLiveIdleGrey{0.45, 0.45, 0.45, 0.9};
}  // namespace

bool LivePlayerControls::respondsToSelector(std::string_view selector) const {
  return selector == "updateLiveIndicatorWithCameraIsPlaying:" || selector == "updateLiveIndicatorWithCameraIsRecording:" ||
         selector == "updateCameraNameLabelWithText:" || KLPlayerControls::respondsToSelector(selector);
}

void LivePlayerControls::buildLayout(KLForwardingTouchesView& container) {
  KLPlayerControls::buildLayout(container);
  const platform::Size size = container.bounds().size;
  cameraNameLabel_ = std::make_shared<platform::Label>(platform::Rect{16, 12, size.width - 100, 22});
  liveIndicatorLabel_ = std::make_shared<platform::Label>(platform::Rect{size.width - 70, 12, 54, 22});
  switchOrientationButton_ =
      std::make_shared<KLLargerHitTestAreaButton>(platform::Rect{size.width - 44, size.height - 44, 32, 32});
  controlsView_->addSubview(cameraNameLabel_);
  controlsView_->addSubview(switchOrientationButton_);
  // The indicator stays on screen when the controls fade: it says what the picture is.
  container.addSubview(liveIndicatorLabel_);
}

void LivePlayerControls::setUpSubviews() {
  KLPlayerControls::setUpSubviews();
  cameraNameLabel_->setFont(XS_MediumTextFont());
  cameraNameLabel_->setTextColor(kLiveWhite);
  setShouldNotUpdate(*cameraNameLabel_, true);
  liveIndicatorLabel_->setFont(XXS_RegularTextFont());
  liveIndicatorLabel_->setTextColor(kLiveWhite);
  liveIndicatorLabel_->setTextAlignment(platform::TextAlignment::Center);
  liveIndicatorLabel_->setText("LIVE");
  liveIndicatorLabel_->layer().setCornerRadius(11);
  liveIndicatorLabel_->layer().setMasksToBounds(true);
  updateLiveIndicatorWithCameraIsPlaying(playing_);
  wire(*switchOrientationButton_->largeHitTestArea(), &KLPlayerControls::switchOrientationButtonTapped);
  wire(*switchOrientationButton_, &KLPlayerControls::switchOrientationButtonTapped);
  setImageAndTint(*switchOrientationButton_, platform::Image::named("open_fs"), kLiveWhite);
}

void LivePlayerControls::updateLiveIndicatorWithCameraIsPlaying(bool playing) {
  playing_ = playing;
  if (liveIndicatorLabel_) liveIndicatorLabel_->setBackgroundColor(playing ? kLiveRed : kLiveIdleGrey);
}

// Whether the camera records to the cloud does not change what the live view shows.
void LivePlayerControls::updateLiveIndicatorWithCameraIsRecording(bool) {}

void LivePlayerControls::updateCameraNameLabelWithText(const std::string& text) {
  if (cameraNameLabel_) cameraNameLabel_->setText(text);
}

}  // namespace dk

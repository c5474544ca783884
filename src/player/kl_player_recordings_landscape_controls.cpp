#include "player/kl_player_recordings_landscape_controls.h"

#include <cmath>
#include <cstdio>

#include "foundation/color_codes.h"
#include "foundation/date_formatting.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/bundle.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"
#include "ui/view_extensions.h"

namespace dk {
namespace {

const platform::Color kWhite{1, 1, 1, 1};

std::string speedText() {
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString("Speed", "", "");
}

// Upper case of the button titles ("2X\nSPEED"); the titles are ASCII letters and digits.
std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

constexpr long kSpeedOptionTags[] = {101, 102, 103, 104};
constexpr const char* kSpeedOptionTitles[] = {"1X", "2X", "5X", "10X"};

}  // namespace

bool KLPlayerRecordingsLandscapeControls::respondsToSelector(std::string_view selector) const {
  return selector == "updateTimeLabelWithTime:" || selector == "updateSpeedButtonWithRate:" ||
         selector == "updateCameraNameLabelWithText:" || KLPlayerControls::respondsToSelector(selector);
}

void KLPlayerRecordingsLandscapeControls::buildLayout(KLForwardingTouchesView& container) {
  KLPlayerControls::buildLayout(container);
  const platform::Size size = container.bounds().size;
  const double w = size.width, h = size.height;
  cameraNameLabel_ = std::make_shared<platform::Label>(platform::Rect{24, 16, w / 3, 24});
  timeLabel_ = std::make_shared<platform::Label>(platform::Rect{w / 3, 16, w / 3, 24});
  timeLabel_->setTextAlignment(platform::TextAlignment::Center);
  switchOrientationButton_ = std::make_shared<KLLargerHitTestAreaButton>(platform::Rect{w - 56, 12, 32, 32});
  speedButton_ = std::make_shared<KLVerticallyCenteredClearButton>(platform::Rect{24, h - 64, 72, 48});
  speedButton_->titleLabel()->setNumberOfLines(2);
  speedOptionsView_ = std::make_shared<platform::View>(platform::Rect{24, h - 64 - 4 * 40 - 8, 72, 4 * 40});
  speedOptionsView_->setBackgroundColor(lightColor());
  speedOptionsView_->layer().setCornerRadius(8);
  for (size_t i = 0; i < 4; ++i) {
    auto option = std::make_shared<platform::Button>(platform::Rect{0, 40.0 * (3 - i), 72, 40});
    option->setTag(kSpeedOptionTags[i]);
    option->setTitle(std::string(kSpeedOptionTitles[i]), platform::kControlStateNormal);
    speedOptionsView_->addSubview(option);
    speedOptions_.push_back(option);
  }
  const double row = h - 56;
  const double middle = w / 2;
  previousEventButton_ = std::make_shared<KLLargerHitTestAreaButton>(platform::Rect{middle - 148, row, 40, 40});
  previousFrameButton_ = std::make_shared<KLLargerHitTestAreaButton>(platform::Rect{middle - 92, row, 40, 40});
  nextFrameButton_ = std::make_shared<KLLargerHitTestAreaButton>(platform::Rect{middle + 52, row, 40, 40});
  nextEventButton_ = std::make_shared<KLLargerHitTestAreaButton>(platform::Rect{middle + 108, row, 40, 40});
  const double snapX = w - 24 - fullScreenBackgroundHeight_, snapY = (h - fullScreenBackgroundHeight_) / 2;
  snapshotView_ = std::make_shared<platform::View>(
      platform::Rect{snapX, snapY, fullScreenBackgroundHeight_, fullScreenBackgroundHeight_});
  const double inset = (fullScreenBackgroundHeight_ - fullScreenButtonHeight_) / 2;
  snapshotButton_ = std::make_shared<KLLightAccentButton>(
      platform::Rect{snapX + inset, snapY + inset, fullScreenButtonHeight_, fullScreenButtonHeight_});
  snapshotImageView_ = std::make_shared<platform::ImageView>(platform::Rect{snapX + 22, snapY + 22, 28, 28});
  setImageAndTint(*snapshotImageView_, platform::Image::named("Player_iOs_shot"), kWhite);
  bigSnapshotButton_ = std::make_shared<platform::Button>(
      platform::Rect{snapX - 8, snapY - 8, fullScreenBackgroundHeight_ + 16, fullScreenBackgroundHeight_ + 16});
  for (const std::shared_ptr<platform::View>& view :
       std::initializer_list<std::shared_ptr<platform::View>>{
           cameraNameLabel_, timeLabel_, switchOrientationButton_, speedButton_, previousEventButton_,
           previousFrameButton_, nextFrameButton_, nextEventButton_, snapshotView_, snapshotButton_,
           snapshotImageView_, bigSnapshotButton_, speedOptionsView_}) {
    controlsView_->addSubview(view);
  }
}

void KLPlayerRecordingsLandscapeControls::setUpSubviews() {
  KLPlayerControls::setUpSubviews();
  wire(*switchOrientationButton_->largeHitTestArea(), &KLPlayerControls::switchOrientationButtonTapped);
  wire(*switchOrientationButton_, &KLPlayerControls::switchOrientationButtonTapped);
  setImageAndTint(*switchOrientationButton_, platform::Image::named("open_fs"), kWhite);
  timeLabel_->setTextColor(kWhite);
  timeLabel_->setFont(S_MediumTextFont());
  setUpButton(*speedButton_, "1X\n" + speedText(), "");
  wire(*speedButton_, &KLPlayerControls::speedButtonTapped);
  setUpButton(*previousFrameButton_, std::nullopt, "prev_frame");
  setUpButton(*nextFrameButton_, std::nullopt, "next_frame");
  setUpButton(*previousEventButton_, std::nullopt, "Player_Prev");
  setUpButton(*nextEventButton_, std::nullopt, "Player_Next");
  updatePreviousNextEventButtons();
  // The buttons and their larger touch areas (which hold the button's centre too).
  for (const auto& [button, action] :
       {std::pair{previousFrameButton_, &KLPlayerControls::previousFrameButtonTapped},
        std::pair{nextFrameButton_, &KLPlayerControls::nextFrameButtonTapped},
        std::pair{previousEventButton_, &KLPlayerControls::previousEventButtonTapped},
        std::pair{nextEventButton_, &KLPlayerControls::nextEventButtonTapped}}) {
    wire(*button->largeHitTestArea(), action);
    wire(*button, action);
  }
  speedOptionsView_->setAlpha(0);
  setShouldNotUpdate(*speedOptionsView_, true);
  auto self = std::static_pointer_cast<KLPlayerRecordingsLandscapeControls>(sharedAs<platform::View>());
  for (const auto& option : speedOptions_) {
    option->titleLabel()->setFont(XS_MediumTextFont());
    option->setTitleColor(darkColor(), platform::kControlStateNormal);
    option->addTarget(self, &KLPlayerRecordingsLandscapeControls::speedOptionButtonTapped,
                      platform::kControlEventTouchUpInside);
  }
  cameraNameLabel_->setFont(S_RegularTextFont());
  cameraNameLabel_->setTextColor(kWhite);
  // The snapshot button: hidden until a snapshot flashes it.
  snapshotView_->setAlpha(0);
  snapshotButton_->setAlpha(0);
  setShouldNotUpdate(*snapshotView_, true);
  setShouldNotUpdate(*snapshotButton_, true);
  snapshotView_->setBackgroundColor(lightColor());
  snapshotButton_->setBackgroundColor(lightColor());
  snapshotButton_->layer().setCornerRadius(std::round(fullScreenButtonHeight_ / 2));
  snapshotView_->layer().setCornerRadius(std::round(fullScreenBackgroundHeight_ / 2));
  setMinAlpha(*snapshotImageView_, 0.4);
  wire(*snapshotButton_, &KLPlayerControls::takeSnapshotButtonTapped);
  wire(*bigSnapshotButton_, &KLPlayerControls::takeSnapshotButtonTapped);
  updateSubviews();
}

void KLPlayerRecordingsLandscapeControls::setUpButton(platform::Button& button, const std::optional<std::string>& title,
                                                      const std::string& imageName) {
  if (!imageName.empty()) {
    setImageAndTint(button, platform::Image::named(imageName), kWhite, platform::kControlStateNormal);
  }
  if (title) button.setTitle(upper(*title), platform::kControlStateNormal);
}

void KLPlayerRecordingsLandscapeControls::updateSubviews() {
  KLPlayerControls::updateSubviews();
  updatePreviousNextEventButtons();
  updateSnapshotButton();
}

void KLPlayerRecordingsLandscapeControls::updatePreviousNextEventButtons() { updateEventButtons(previousEventButton_.get(), nextEventButton_.get()); }

void KLPlayerRecordingsLandscapeControls::updateSnapshotButton() {
  if (snapshotImageView_ && !playButton_->isPlaying()) snapshotImageView_->setAlpha(0);
}

void KLPlayerRecordingsLandscapeControls::updateTimeLabelWithTime(double time) {
  timeLabel_->setText(stringDateFromDate(time) + ", " + calendarComponents(time));
}

void KLPlayerRecordingsLandscapeControls::updateSpeedButtonWithRate(double rate) {
  if (rate < 1.0) return;  // paused: the chosen speed stays on the button
  char number[32];
  std::snprintf(number, sizeof number, "%.0fX\n", rate);
  speedButton_->setTitle(upper(number + speedText()), platform::kControlStateNormal);
}

void KLPlayerRecordingsLandscapeControls::updateCameraNameLabelWithText(const std::string& text) {
  std::weak_ptr<platform::Label> label = cameraNameLabel_;
  auto apply = [label, text] {
    if (auto l = label.lock()) l->setText(text);
  };
  if (platform::isMainThread()) apply();
  else platform::DispatchQueue::main()->async(apply);
}

void KLPlayerRecordingsLandscapeControls::speedButtonTapped() { updateSpeedOptionsView(); }

void KLPlayerRecordingsLandscapeControls::updateSpeedOptionsView() {
  const bool opening = speedOptionsView_->alpha() == 0;
  if (opening) {
    setShouldNotUpdate(*speedButton_, true);
    setShouldNotUpdate(*snapshotImageView_, true);
    snapshotButton_->setUserInteractionEnabled(false);
    bigSnapshotButton_->setUserInteractionEnabled(false);
    snapshotImageView_->setAlpha(playButton_->isPlaying() ? minAlpha(*snapshotImageView_) : 0.0);
    speedButton_->setAlpha(maxAlpha(*speedButton_));
  } else {
    setShouldNotUpdate(*speedButton_, false);
    setShouldNotUpdate(*snapshotImageView_, false);
    snapshotButton_->setUserInteractionEnabled(true);
    bigSnapshotButton_->setUserInteractionEnabled(true);
    updateSnapshotButton();
    speedButton_->setAlpha(playButton_->alpha() == 1.0 ? maxAlpha(*speedButton_) : minAlpha(*speedButton_));
  }
  auto options = speedOptionsView_;
  platform::View::animate(0.4, [options, opening] { options->setAlpha(opening ? 1.0 : 0.0); });
}

double KLPlayerRecordingsLandscapeControls::speedRateForButton(const platform::View& button) {
  switch (button.tag()) {
    case 102: return 2.0;
    case 103: return 5.0;
    case 104: return 10.0;
    default: return 1.0;
  }
}

void KLPlayerRecordingsLandscapeControls::speedOptionButtonTapped(platform::Control& control) {
  if (speedOptionsView_->alpha() == 0) return;  // the menu is closed
  auto& option = static_cast<platform::Button&>(control);
  speedButton_->setTitle(upper(option.currentTitle() + "\n" + speedText()), platform::kControlStateNormal);
  updateSpeedOptionsView();
  if (auto d = actionsDelegate()) d->didTapSpeedButtonWithRate(speedRateForButton(option));
}

void KLPlayerRecordingsLandscapeControls::takeSnapshotButtonTapped() {
  if (auto d = actionsDelegate()) d->didTapTakeSnapshotButton();
  const float quick = 0.2f;
  auto view = snapshotView_;
  auto button = snapshotButton_;
  auto image = snapshotImageView_;
  auto play = playButton_;
  platform::View::animate(quick, [view, button, image] {
    view->setAlpha(0.4);
    button->setAlpha(0.8);
    image->setAlpha(1.0);
    view->setTransform(platform::AffineTransform::scale(1.3, 1.3));
  }, [view, button, image, play, quick](bool) {
    platform::View::animate(quick, [view, button, image, play] {
      view->setTransform(platform::AffineTransform::identity());
      view->setAlpha(0);
      button->setAlpha(0);
      image->setAlpha(play->alpha() == 1.0 ? maxAlpha(*image) : minAlpha(*image));
    });
  });
  setUpTakeSnapshotView();
}

}  // namespace dk

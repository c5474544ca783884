#include "player/kl_player_recordings_portrait_controls.h"

#include "platform/dispatch/queue.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"
#include "ui/view_extensions.h"

namespace dk {
namespace {
const platform::Color kControlsWhite{1, 1, 1, 1};
}  // namespace

bool KLPlayerRecordingsPortraitControls::respondsToSelector(std::string_view selector) const {
  return selector == "updateCameraNameLabelWithText:" || KLPlayerControls::respondsToSelector(selector);
}

void KLPlayerRecordingsPortraitControls::buildLayout(KLForwardingTouchesView& container) {
  KLPlayerControls::buildLayout(container);
  const platform::Size size = container.bounds().size;
  cameraNameLabel_ = std::make_shared<platform::Label>(platform::Rect{16, 12, size.width - 80, 22});
  switchOrientationButton_ =
      std::make_shared<KLLargerHitTestAreaButton>(platform::Rect{size.width - 44, size.height - 44, 32, 32});
  previousEventButton_ = std::make_shared<KLLargerHitTestAreaButton>(platform::Rect{24, (size.height - 40) / 2, 40, 40});
  nextEventButton_ =
      std::make_shared<KLLargerHitTestAreaButton>(platform::Rect{size.width - 64, (size.height - 40) / 2, 40, 40});
  setImageAndTint(*previousEventButton_, platform::Image::named("Player_Prev"), kControlsWhite);
  setImageAndTint(*nextEventButton_, platform::Image::named("Player_Next"), kControlsWhite);
  for (const auto& view : {std::static_pointer_cast<platform::View>(cameraNameLabel_),
                           std::static_pointer_cast<platform::View>(switchOrientationButton_),
                           std::static_pointer_cast<platform::View>(previousEventButton_),
                           std::static_pointer_cast<platform::View>(nextEventButton_)}) {
    controlsView_->addSubview(view);
  }
}

void KLPlayerRecordingsPortraitControls::setUpSubviews() {
  KLPlayerControls::setUpSubviews();
  cameraNameLabel_->setFont(XS_MediumTextFont());
  cameraNameLabel_->setTextColor(kControlsWhite);
  setShouldNotUpdate(*cameraNameLabel_, true);  // the name stays visible
  // One tap, one switch: the action fires on touch-up-inside only, not for every touch phase.
  wire(*switchOrientationButton_->largeHitTestArea(), &KLPlayerControls::switchOrientationButtonTapped);
  wire(*switchOrientationButton_, &KLPlayerControls::switchOrientationButtonTapped);
  setImageAndTint(*switchOrientationButton_, platform::Image::named("open_fs"), kControlsWhite);
  wire(*previousEventButton_->largeHitTestArea(), &KLPlayerControls::previousEventButtonTapped);
  wire(*previousEventButton_, &KLPlayerControls::previousEventButtonTapped);
  wire(*nextEventButton_->largeHitTestArea(), &KLPlayerControls::nextEventButtonTapped);
  wire(*nextEventButton_, &KLPlayerControls::nextEventButtonTapped);
  updateSubviews();
}

void KLPlayerRecordingsPortraitControls::updateSubviews() {
  KLPlayerControls::updateSubviews();
  updatePreviousNextEventButtons();
}

void KLPlayerRecordingsPortraitControls::updatePreviousNextEventButtons() { updateEventButtons(previousEventButton_.get(), nextEventButton_.get()); }

void KLPlayerRecordingsPortraitControls::updateCameraNameLabelWithText(const std::string& text) {
  std::weak_ptr<platform::Label> label = cameraNameLabel_;
  auto apply = [label, text] {
    if (auto l = label.lock()) l->setText(text);
  };
  if (platform::isMainThread()) apply();
  else platform::DispatchQueue::main()->async(apply);
}

}  // namespace dk

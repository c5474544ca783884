#include "player/player_controls_view.h"

#include "ui/view_extensions.h"

namespace dk {

void PlayerControlsView::showHideSubviews() {
  if (!timer_) {
    timer_ = KLPlayerTimer::initWithTarget(sharedAs<PlayerControlsView>(), &PlayerControlsView::timedHidingSubviews,
                                           3.0, false);
  }
  timer_->restartTimer();
  if (areSubviewsHidden_) {
    if (canHideSubviews_) hideSubviews(false, false);
    return;
  }
  hideSubviews(true, true);
}

void PlayerControlsView::timedHidingSubviews() {
  if (!areSubviewsHidden_ && canHideSubviews_) hideSubviews(true, true);
}

void PlayerControlsView::hideSubviewsAnimated(bool animated) { hideSubviews(true, animated); }

void PlayerControlsView::showSubviewsAnimated(bool animated) {
  if (timer_) timer_->stopTimer();
  hideSubviews(false, animated);
}

void PlayerControlsView::hideSubviews(bool hide, bool animated) {
  auto children = subviews();
  platform::View::animate(animated ? 0.5 : 0.0, [children, hide] {
    for (const auto& child : children) {
      if (shouldNotUpdate(*child)) continue;
      child->setAlpha(hide ? minAlpha(*child) : maxAlpha(*child));
      child->setUserInteractionEnabled(!hide || minAlpha(*child) > 0);
    }
  });
  areSubviewsHidden_ = hide;
}

}  // namespace dk

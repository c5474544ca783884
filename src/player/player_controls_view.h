// PlayerControlsView: the layer of the control overlay that holds the controls and fades them:
// shown while paused, hidden while video plays, toggled by taps on the video, and hidden again
// 3.0 s after the last tap. Each direct subview fades between its minAlpha and maxAlpha unless it
// is marked shouldNotUpdate (view_extensions.h).
//
// Main thread only.
#pragma once

#include <memory>

#include "platform/ui/view.h"
#include "player/kl_player_timer.h"

namespace dk {

class PlayerControlsView : public platform::View {
 public:
  using View::View;

  bool canHideSubviews() const { return canHideSubviews_; }
  void setCanHideSubviews(bool value) { canHideSubviews_ = value; }
  bool areSubviewsHidden() const { return areSubviewsHidden_; }
  const std::shared_ptr<KLPlayerTimer>& timer() const { return timer_; }

  // A tap on the video while playing: shows hidden controls at once, fades shown ones out.
  void showHideSubviews();
  void hideSubviewsAnimated(bool animated);
  void showSubviewsAnimated(bool animated);
  void hideSubviews(bool hide, bool animated);
  // 3.0 s after the last tap: fades shown controls out while video plays.
  void timedHidingSubviews();

 private:
  bool canHideSubviews_ = false;
  bool areSubviewsHidden_ = false;
  std::shared_ptr<KLPlayerTimer> timer_;
};

}  // namespace dk

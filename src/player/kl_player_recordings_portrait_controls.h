// KLPlayerRecordingsPortraitControls: the small overlay of the embedded player: the camera's
// name, the full-screen button and the previous/next event buttons (hidden while the screen
// reports no such event).
//
// Main thread only.
#pragma once

#include "platform/ui/label.h"
#include "player/kl_player_controls.h"
#include "ui/kl_larger_hit_test_area_button.h"

namespace dk {

class KLPlayerRecordingsPortraitControls : public KLPlayerControls {
 public:
  using KLPlayerControls::KLPlayerControls;
  std::string xibName() const override { return "Recordings_PORTRAIT_Controls"; }
  bool respondsToSelector(std::string_view selector) const override;

  const std::shared_ptr<KLLargerHitTestAreaButton>& switchOrientationButton() const { return switchOrientationButton_; }
  const std::shared_ptr<KLLargerHitTestAreaButton>& previousEventButton() const { return previousEventButton_; }
  const std::shared_ptr<KLLargerHitTestAreaButton>& nextEventButton() const { return nextEventButton_; }
  const std::shared_ptr<platform::Label>& cameraNameLabel() const { return cameraNameLabel_; }

  // Asked of the screen (capabilities 4 and 5).
  using KLPlayerControls::hasNextEvent;
  using KLPlayerControls::hasPreviousEvent;

  void setUpSubviews() override;
  void updateSubviews() override;
  void updatePreviousNextEventButtons();
  void updateCameraNameLabelWithText(const std::string& text) override;

 protected:
  void buildLayout(KLForwardingTouchesView& container) override;

 private:
  std::shared_ptr<KLLargerHitTestAreaButton> switchOrientationButton_, previousEventButton_, nextEventButton_;
  std::shared_ptr<platform::Label> cameraNameLabel_;
};

}  // namespace dk

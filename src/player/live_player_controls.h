// LivePlayerControls: the overlay of a live player (types 1 and 2): the camera's name, the live
// indicator ("LIVE", red while the live video plays, grey otherwise), the play button (which
// starts the live view, or stops its stream) and the full-screen button. Without it a live
// player would have nothing to start it and no sign that it is live.
//
// Owned by the player screen; main thread only.
#pragma once

#include "platform/ui/label.h"
#include "player/kl_player_controls.h"
#include "ui/kl_larger_hit_test_area_button.h"

namespace dk {

class LivePlayerControls : public KLPlayerControls {
 public:
  using KLPlayerControls::KLPlayerControls;
  bool respondsToSelector(std::string_view selector) const override;

  const std::shared_ptr<platform::Label>& liveIndicatorLabel() const { return liveIndicatorLabel_; }
  const std::shared_ptr<platform::Label>& cameraNameLabel() const { return cameraNameLabel_; }
  const std::shared_ptr<KLLargerHitTestAreaButton>& switchOrientationButton() const { return switchOrientationButton_; }
  bool liveIndicatorShowsPlaying() const { return playing_; }

  void setUpSubviews() override;
  void updateLiveIndicatorWithCameraIsPlaying(bool playing) override;
  void updateLiveIndicatorWithCameraIsRecording(bool recording) override;
  void updateCameraNameLabelWithText(const std::string& text) override;

 protected:
  void buildLayout(KLForwardingTouchesView& container) override;

 private:
  std::shared_ptr<platform::Label> liveIndicatorLabel_, cameraNameLabel_;
  std::shared_ptr<KLLargerHitTestAreaButton> switchOrientationButton_;
  bool playing_ = false;
};

}  // namespace dk

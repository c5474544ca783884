// KLPlayerRecordingsLandscapeControls: the full-screen overlay: time of the frame on screen, the
// camera's name, the speed button with its menu (1x, 2x, 5x, 10x), frame steps, event jumps and
// the snapshot button with its flash.
//
// Main thread only.
#pragma once

#include <vector>

#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "player/kl_player_controls.h"
#include "ui/kl_bordered_button.h"
#include "ui/kl_larger_hit_test_area_button.h"
#include "ui/kl_verlically_centered_button.h"

namespace dk {

class KLPlayerRecordingsLandscapeControls : public KLPlayerControls {
 public:
  using KLPlayerControls::KLPlayerControls;
  std::string xibName() const override { return "Recordings_LANDSCAPE_Controls"; }
  bool respondsToSelector(std::string_view selector) const override;

  const std::shared_ptr<KLLargerHitTestAreaButton>& switchOrientationButton() const { return switchOrientationButton_; }
  const std::shared_ptr<platform::Label>& timeLabel() const { return timeLabel_; }
  const std::shared_ptr<platform::Label>& cameraNameLabel() const { return cameraNameLabel_; }
  const std::shared_ptr<KLVerticallyCenteredClearButton>& speedButton() const { return speedButton_; }
  const std::shared_ptr<platform::View>& speedOptionsView() const { return speedOptionsView_; }
  const std::vector<std::shared_ptr<platform::Button>>& speedOptions() const { return speedOptions_; }
  const std::shared_ptr<KLLargerHitTestAreaButton>& previousFrameButton() const { return previousFrameButton_; }
  const std::shared_ptr<KLLargerHitTestAreaButton>& nextFrameButton() const { return nextFrameButton_; }
  const std::shared_ptr<KLLargerHitTestAreaButton>& previousEventButton() const { return previousEventButton_; }
  const std::shared_ptr<KLLargerHitTestAreaButton>& nextEventButton() const { return nextEventButton_; }
  const std::shared_ptr<platform::View>& snapshotView() const { return snapshotView_; }
  const std::shared_ptr<KLLightAccentButton>& snapshotButton() const { return snapshotButton_; }
  const std::shared_ptr<platform::ImageView>& snapshotImageView() const { return snapshotImageView_; }
  const std::shared_ptr<platform::Button>& bigSnapshotButton() const { return bigSnapshotButton_; }

  using KLPlayerControls::hasNextEvent;
  using KLPlayerControls::hasPreviousEvent;

  void setUpSubviews() override;
  void updateSubviews() override;
  void updateTimeLabelWithTime(double time) override;
  void updateSpeedButtonWithRate(double rate) override;
  void updateCameraNameLabelWithText(const std::string& text) override;
  void speedButtonTapped() override;
  void takeSnapshotButtonTapped() override;

  void speedOptionButtonTapped(platform::Control& button);
  static double speedRateForButton(const platform::View& button);
  void updateSpeedOptionsView();
  void updatePreviousNextEventButtons();
  void updateSnapshotButton();
  void setUpButton(platform::Button& button, const std::optional<std::string>& title, const std::string& imageName);

 protected:
  void buildLayout(KLForwardingTouchesView& container) override;

 private:
  std::shared_ptr<KLLargerHitTestAreaButton> switchOrientationButton_, previousFrameButton_, nextFrameButton_,
      previousEventButton_, nextEventButton_;
  std::shared_ptr<platform::Label> timeLabel_, cameraNameLabel_;
  std::shared_ptr<KLVerticallyCenteredClearButton> speedButton_;
  std::shared_ptr<platform::View> speedOptionsView_, snapshotView_;
  std::vector<std::shared_ptr<platform::Button>> speedOptions_;
  std::shared_ptr<KLLightAccentButton> snapshotButton_;
  std::shared_ptr<platform::ImageView> snapshotImageView_;
  std::shared_ptr<platform::Button> bigSnapshotButton_;
  double fullScreenButtonHeight_ = 56, fullScreenBackgroundHeight_ = 72;  // the layout's two heights
};

}  // namespace dk

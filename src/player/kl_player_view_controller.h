// KLPlayerViewController: the embedded (portrait) player screen the timeline places in its view.
// It adds the portrait control overlay to the player screen base, presents the landscape screen
// (with a quarter-turn animation) when the phone turns sideways while video plays or the
// full-screen button is tapped, passes the timeline's updates on to it while it is up, and takes
// playback back when it goes.
//
// Main thread only.
#pragma once

#include "player/player_view_controller.h"

namespace dk {

class KLPlayerViewController : public PlayerViewController, public platform::TransitioningDelegate {
 public:
  // The landscape screen while it is presented.
  const std::shared_ptr<PlayerViewController>& landscapeViewController() const { return landscapeViewController_; }

  void setRecording(PlayerRecordingPtr recording) override;
  void setCamera(PlayerCameraPtr camera) override;
  void setHasPreviousEvent(bool value) override;
  void setHasNextEvent(bool value) override;
  void setHasPanTiltCapability(bool value) override;
  void setHasZoomCapability(bool value) override;
  void setHasPushAudioCapability(bool value) override;

  int64_t landscapeOrientation() const { return landscapeOrientation_; }
  bool viewWasLoaded() const { return viewWasLoaded_; }

  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void updateViews() override;
  void streamerDidStartStreaming() override;
  void handleDeviceOrientationDidChange();
  // Into landscape, only while nothing is presented over the embedding screen.
  void switchOrientationAnimated(bool animated) override;

  std::shared_ptr<platform::AnimatedTransitioning> animationControllerForPresented(
      const std::shared_ptr<platform::ViewController>& presented, const std::shared_ptr<platform::ViewController>& presenting,
      const std::shared_ptr<platform::ViewController>& source) override;
  std::shared_ptr<platform::AnimatedTransitioning> animationControllerForDismissed(
      const std::shared_ptr<platform::ViewController>& dismissed) override;
  void setUpPlayerControls() override;
  void updatePlayerControls() override;
  void initPlayerControls();

 protected:
  std::shared_ptr<PlayerViewController> landscapeViewController_;

 private:
  bool nothingPresentedOverTheClient() const;
  int64_t landscapeOrientation_ = 0;
  bool viewWasLoaded_ = false;
  std::shared_ptr<const void> orientationObserver_;
};

}  // namespace dk

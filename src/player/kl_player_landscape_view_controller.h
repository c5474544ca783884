// KLPlayerLandscapeViewController: the full-screen player presented over the timeline while the
// phone is held sideways. It shares the portrait screen's view model and drawing layer (the
// stream does not restart), shows the landscape overlay, keeps the hidden portrait screen in step
// and goes away when the phone turns upright or its full-screen button is tapped.
// KLPlayerLandscapeAnimationController and KLPlayerPortraitAnimationController draw the quarter
// turn into and out of it.
//
// Holds its portrait screen weakly (the portrait screen owns it while it is up). Main thread only.
#pragma once

#include "player/player_view_controller.h"

namespace dk {

inline constexpr const char* kShowDashboardScreenAndScrollNotification = "kShowDashboardScreenAndScrollNotification";

class KLPlayerLandscapeViewController : public PlayerViewController {
 public:
  std::shared_ptr<PlayerViewController> portraitViewController() const { return portraitViewController_.lock(); }
  void setPortraitViewController(std::weak_ptr<PlayerViewController> portrait) {
    portraitViewController_ = std::move(portrait);
  }
  int64_t orientation() const { return orientation_; }
  bool prefersStatusBarHidden() const override { return true; }
  platform::Rect transitionInitialFrame() const override;

  void loadView() override;
  void viewDidLoad() override;
  void setUpViews() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void setUpPlayerControls() override;
  void initPlayerControls();
  void updatePlayerControls() override;
  void streamerDidStartStreaming() override;
  void streamerDidPauseStreaming() override;
  void streamerDidEndStreaming() override;
  void playerShouldDisplayErrorToastWithText(const std::optional<std::string>& text) override;
  void handleDeviceOrientationDidChange();
  void didTapSwitchOrientationButton() override { switchOrientationAnimated(false); }
  void switchOrientationAnimated(bool animated) override;
  std::shared_ptr<platform::View> snapshotViewForTransitionAnimation() override;

 private:
  std::weak_ptr<PlayerViewController> portraitViewController_;
  int64_t orientation_ = 3;
  std::shared_ptr<const void> orientationObserver_;
};

class KLPlayerLandscapeAnimationController : public platform::AnimatedTransitioning {
 public:
  explicit KLPlayerLandscapeAnimationController(std::shared_ptr<platform::View> transitionAnimationView)
      : transitionAnimationView_(std::move(transitionAnimationView)) {}
  double transitionDuration(platform::TransitionContext*) override { return static_cast<double>(0.3f); }
  void animateTransition(const std::shared_ptr<platform::TransitionContext>& context) override;
  const std::shared_ptr<platform::View>& transitionAnimationView() const { return transitionAnimationView_; }

 private:
  std::shared_ptr<platform::View> transitionAnimationView_;
};

class KLPlayerPortraitAnimationController : public platform::AnimatedTransitioning {
 public:
  KLPlayerPortraitAnimationController(std::shared_ptr<platform::View> transitionAnimationView, platform::Rect initialFrame,
                                      platform::Rect finalFrame)
      : transitionAnimationView_(std::move(transitionAnimationView)), initialFrame_(initialFrame), finalFrame_(finalFrame) {}
  double transitionDuration(platform::TransitionContext*) override { return static_cast<double>(0.3f); }
  void animateTransition(const std::shared_ptr<platform::TransitionContext>& context) override;

 private:
  std::shared_ptr<platform::View> transitionAnimationView_;
  platform::Rect initialFrame_, finalFrame_;
};

}  // namespace dk

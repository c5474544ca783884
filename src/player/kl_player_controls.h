// KLPlayerControls: the control overlay drawn over the video. It builds its layout (the
// containerView, a forwarding view that lets touches off the controls through to the video)
// on first use, sends button taps to the view model (actions delegate) and to the player screen
// (external actions delegate), both held weakly, and shows or hides its controls through its
// PlayerControlsView. The portrait and landscape layouts are subclasses.
//
// Owned by the player screen; main thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/view.h"
#include "player/kl_play_button.h"
#include "player/player_controls_view.h"
#include "player/player_interfaces.h"
#include "ui/alpha_gradient_view.h"
#include "ui/kl_forwarding_touches_view.h"
#include "ui/kl_larger_hit_test_area_button.h"

namespace dk {

class KLPlayerControls : public platform::View, public PlayerControlsInterface {
 public:
  // initWithFrame:actionsDelegate:externalActionsDelegate: (make with std::make_shared).
  KLPlayerControls(const platform::Rect& frame, std::weak_ptr<PlayerControlsActionsDelegate> actionsDelegate,
                   std::weak_ptr<PlayerControlsExternalActionsDelegate> externalActionsDelegate);

  bool respondsToSelector(std::string_view selector) const override;

  const std::shared_ptr<KLPlayButton>& playButton() const { return playButton_; }
  const std::shared_ptr<PlayerControlsView>& controlsView() const { return controlsView_; }
  const std::shared_ptr<AlphaGradientView>& topGradientView() const { return topGradientView_; }
  const std::shared_ptr<AlphaGradientView>& bottomGradientView() const { return bottomGradientView_; }
  std::shared_ptr<PlayerControlsActionsDelegate> actionsDelegate() const { return actionsDelegate_.lock(); }
  std::shared_ptr<PlayerControlsExternalActionsDelegate> externalActionsDelegate() const {
    return externalActionsDelegate_.lock();
  }
  // The layout's name (the nib the layout stands for); empty in the base.
  virtual std::string xibName() const { return {}; }
  // Made on first use at (0, 0, the overlay's size).
  const std::shared_ptr<KLForwardingTouchesView>& containerView();

  // PlayerControlsInterface
  std::shared_ptr<platform::View> underlyingView() override { return sharedAs<platform::View>(); }
  void updateActionsDelegateWithObject(std::weak_ptr<PlayerControlsActionsDelegate> object) override;
  void setUpSubviews() override;
  void updateSubviews() override {}
  std::shared_ptr<platform::View> controlHitByGestureRecognizer(platform::GestureRecognizer& recognizer) override;
  void showHideControls() override;
  void hideControlsAnimated(bool animated) override;
  void showControlsAnimated(bool animated) override;
  void setPlayButtonIsPlaying(bool playing) override;

  // PlayerControlsActionsInterface
  void playButtonTapped() override;
  void switchOrientationButtonTapped() override;
  void previousEventButtonTapped() override;
  void nextEventButtonTapped() override;
  void previousFrameButtonTapped() override;
  void nextFrameButtonTapped() override;
  void speedButtonTapped() override;
  void ptzButtonTapped(const std::shared_ptr<platform::Object>& sender) override;
  void pushToTalkButtonTapped() override;
  void takeSnapshotButtonTapped() override;

  void setUpGradients();
  // The white flash of a snapshot over the whole overlay.
  void setUpTakeSnapshotView();

 protected:
  // Lays the controls out in the container (the nib's work); the base places the gradients and
  // the play button in the controls view.
  virtual void buildLayout(KLForwardingTouchesView& container);
  // A button of the layout wired to `action` on touch-up-inside through its larger touch area.
  template <class Self>
  void wire(platform::Button& button, void (Self::*action)()) {
    auto self = std::static_pointer_cast<Self>(sharedAs<platform::View>());
    button.addTarget(self, action, platform::kControlEventTouchUpInside);
  }

  // Whether the client offers the previous / next event (the recordings overlays' arrows).
  bool hasPreviousEvent() const;
  bool hasNextEvent() const;
  // Shows or hides the two event arrows by what the client offers; a hidden arrow's larger touch
  // area goes too, since the overlay's hit test looks into hidden buttons.
  void updateEventButtons(KLLargerHitTestAreaButton* previous, KLLargerHitTestAreaButton* next) const;

  std::shared_ptr<KLPlayButton> playButton_;
  std::shared_ptr<PlayerControlsView> controlsView_;
  std::shared_ptr<AlphaGradientView> topGradientView_, bottomGradientView_;

 private:
  std::weak_ptr<PlayerControlsActionsDelegate> actionsDelegate_;
  std::weak_ptr<PlayerControlsExternalActionsDelegate> externalActionsDelegate_;
  std::shared_ptr<KLForwardingTouchesView> containerView_;
};

}  // namespace dk

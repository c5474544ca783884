// KLPlayerViewController: the embedded (portrait) player screen the timeline places in its view.
// It adds the portrait control overlay to the player screen base and passes the timeline's
// updates on to the landscape screen while that one is up.
//
// Main thread only.
#pragma once

#include "player/player_view_controller.h"

namespace dk {

class KLPlayerViewController : public PlayerViewController {
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

  void updateViews() override;
  void setUpPlayerControls() override;
  void updatePlayerControls() override;
  void initPlayerControls();

 protected:
  std::shared_ptr<PlayerViewController> landscapeViewController_;
};

}  // namespace dk

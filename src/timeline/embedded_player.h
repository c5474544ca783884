// EmbeddedPlayer: the timeline's player over the portrait player screen. It makes the screen for a
// camera and recording, turns the timeline's calls into the screen's, and passes the screen's
// callbacks on to the timeline screen (held weakly, looked at before every call).
//
// Main thread only.
#pragma once

#include <memory>

#include "timeline/timeline_player.h"

namespace dk {

class KLPlayerViewController;
class KLTimelineViewController;
class EmbeddedPlayerDelegate;

class EmbeddedPlayer final : public TimelinePlayer {
 public:
  static std::shared_ptr<EmbeddedPlayer> make(KLCameraPtr camera, const KLTimelineRecordingPtr& recording);
  ~EmbeddedPlayer() override;

  const std::shared_ptr<KLPlayerViewController>& playerViewController() const { return player_; }

  bool isPlaying() const override;
  bool isInLandscape() const override;
  bool hasFailed() const override;
  void pausePlayer() override;
  void setPlayerDelegate(std::weak_ptr<platform::Protocol> delegate) override;
  void setCamera(KLCameraPtr camera) override;
  void setHasNextEvent(bool value) override;
  void setHasPreviousEvent(bool value) override;
  void handleExternalAction(int action) override;
  void seekToTime(double seconds) override;
  void updateSpeedWithRate(double rate) override;
  void setRecording(const KLTimelineRecordingPtr& recording) override;
  void setRenderViewHidden(bool hidden) override;
  void setListeningAllowed(bool allowed) override;
  void setCameraImage(platform::ImagePtr image) override;
  void dismissLandscape() override;
  std::shared_ptr<platform::ViewController> viewController() override;

 private:
  std::shared_ptr<KLPlayerViewController> player_;
  std::shared_ptr<EmbeddedPlayerDelegate> forwarder_;
};

}  // namespace dk

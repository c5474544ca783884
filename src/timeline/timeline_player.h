// What the timeline screen needs of its embedded player: whether it plays, whether it shows in
// landscape, the player actions, seeking, speed, the recording it plays, its render view and its
// screen to embed. EmbeddedPlayer adopts it over the real player screen; tests give the screen a
// player of their own through the factory. Main thread only.
#pragma once

#include <memory>

#include "model/kl_camera_response.h"
#include "platform/foundation/object.h"
#include "platform/graphics/image.h"
#include "timeline/kl_timeline_item_interfaces.h"

namespace dk::platform {
class ViewController;
}

namespace dk {

class TimelinePlayer : public virtual platform::Protocol {
 public:
  virtual bool isPlaying() const = 0;
  virtual bool isInLandscape() const = 0;
  // The player gave up on its recording (the error toast shows): its playback ended without
  // reaching the recording's end.
  virtual bool hasFailed() const { return false; }
  virtual void pausePlayer() = 0;
  // The screen the player reports to; nullptr clears it.
  virtual void setPlayerDelegate(std::weak_ptr<platform::Protocol> delegate) = 0;
  virtual void setCamera(KLCameraPtr camera) = 0;
  virtual void setHasNextEvent(bool value) = 0;
  virtual void setHasPreviousEvent(bool value) = 0;
  // The player's external actions (pause 1, previous frame 6, next frame 7, snapshot 9).
  virtual void handleExternalAction(int /*action*/) {}
  // Seconds into the current recording; negative values start at its beginning.
  virtual void seekToTime(double /*seconds*/) {}
  virtual void updateSpeedWithRate(double /*rate*/) {}
  virtual void setRecording(const KLTimelineRecordingPtr& /*recording*/) {}
  virtual void setRenderViewHidden(bool /*hidden*/) {}
  // Whether the user may listen to the camera's sound (the screen's permission).
  virtual void setListeningAllowed(bool /*allowed*/) {}
  // The poster shown under the video (the thumbnail the strip last showed); nullptr is ignored.
  virtual void setCameraImage(platform::ImagePtr /*image*/) {}
  // Brings playback back to the embedded screen when the landscape screen is up.
  virtual void dismissLandscape() {}
  // The screen to embed; nullptr for players without one.
  virtual std::shared_ptr<platform::ViewController> viewController() { return nullptr; }
};

}  // namespace dk

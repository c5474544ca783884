// What the timeline screen needs of its embedded player: whether it plays, whether its view model
// is in landscape, pausing it, its delegate and its camera. The player screens adopt it; until
// they are wired in, tests give the screen a player of their own. Main thread only.
#pragma once

#include <memory>

#include "model/kl_camera_response.h"
#include "platform/foundation/object.h"

namespace dk {

class TimelinePlayer : public virtual platform::Protocol {
 public:
  virtual bool isPlaying() const = 0;
  virtual bool isInLandscape() const = 0;
  virtual void pausePlayer() = 0;
  // The screen the player reports to; nullptr clears it.
  virtual void setPlayerDelegate(std::weak_ptr<platform::Protocol> delegate) = 0;
  virtual void setCamera(KLCameraPtr camera) = 0;
  virtual void setHasNextEvent(bool value) = 0;
  virtual void setHasPreviousEvent(bool value) = 0;
};

}  // namespace dk

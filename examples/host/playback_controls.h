// How the demo session works the timeline screen's playback controls: the speed, a frame step, a
// snapshot, pausing and the jump to the next event, each a tap: the player row ("more", the frame
// steps and the speed menu, found by accessibility identifier) and the snapshot button of the
// screen, and for pausing and the event jump the embedded player's own overlay, shown by a tap on
// the video.
// Main thread only.
#pragma once

#include <memory>
#include <string>

namespace dk {
class KLTimelineViewController;
namespace platform {
class UiTestDriver;
}
}  // namespace dk

class PlaybackControls {
 public:
  virtual ~PlaybackControls() = default;
  // Each returns how the user did it, for the session's log line.
  virtual std::string chooseSpeed(double rate) = 0;
  // Pauses with the player's play button.
  virtual std::string pause() = 0;
  virtual std::string stepFrame(bool forward) = 0;
  virtual std::string takeSnapshot() = 0;
  virtual std::string nextEvent() = 0;
};

std::unique_ptr<PlaybackControls> makePlaybackControls(std::shared_ptr<dk::KLTimelineViewController> screen,
                                                       dk::platform::UiTestDriver& driver);

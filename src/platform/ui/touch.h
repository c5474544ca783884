// Touches and touch events, as the window delivers them to gesture recognisers and responders.
//
// A Touch follows one finger from down to up: its phase, its place in window coordinates, the
// time on the current clock, the number of quick taps at one place, and the view hit at the
// start. Main-thread objects.
#pragma once

#include <memory>
#include <vector>

#include "platform/graphics/geometry.h"

namespace dk::platform {

class View;
class Window;
class GestureRecognizer;

enum class TouchPhase { Began, Moved, Stationary, Ended, Cancelled };

class Touch {
 public:
  TouchPhase phase = TouchPhase::Began;
  double timestamp = 0;
  int tapCount = 1;
  Point locationInWindow;
  Point previousLocationInWindow;
  std::weak_ptr<View> view;
  std::weak_ptr<Window> window;
  // Recognisers that receive this touch (collected at touch down).
  std::vector<std::weak_ptr<GestureRecognizer>> gestureRecognizers;
  // Set once a recogniser took the touch from its view (the view got touchesCancelled).
  bool cancelledForView = false;

  // The location in `view`'s coordinates (nullptr: window coordinates).
  Point locationInView(const View* inView) const;
  Point previousLocationInView(const View* inView) const;
};

using TouchList = std::vector<std::shared_ptr<Touch>>;

struct Event {
  double timestamp = 0;
  TouchList allTouches;
};

}  // namespace dk::platform

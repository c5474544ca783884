// UiTestDriver: drives the headless UI as a user would, for tests of every layer.
//
// Fingers move at 60 samples per second of the manual clock: each step advances the clock by one
// frame and pumps the main run loop, so timers, animations and scroll physics run as they would
// on a device. drag() moves, rests a tenth of a second and lifts (nothing is thrown); fling()
// lifts while moving (the content decelerates); tap(), longPress(), swipe() and pinch() do what
// their names say. settle() runs frames until no scroll, zoom or picker animation is left.
// Points are window coordinates. Tests install a ManualClock (tests/support); on the system clock
// (the demo host against a cloud of another's making) every step waits for real time to pass
// instead. Used on the main thread.
#pragma once

#include <memory>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/ui/device.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/touch.h"

namespace dk::platform {

class View;
class ViewController;
class Window;

class UiTestDriver {
 public:
  static constexpr double kFrame = 1.0 / 60.0;

  // Drives `window`, or the key window when nullptr.
  explicit UiTestDriver(std::shared_ptr<Window> window = nullptr);
  Window& window() const { return *window_; }

  // ---- time ----
  // Moves the manual clock forward in frame steps, pumping the run loop after each.
  void advance(double seconds);
  void advanceFrames(int frames);
  // Runs the main run loop until idle without moving the clock.
  void pump();
  // Runs frames until no display link is active; false when `maxSeconds` of clock time passed.
  bool settle(double maxSeconds = 10);

  // ---- gestures ----
  void tap(Point point, int taps = 1);
  void tap(const View& view, int taps = 1);
  void longPress(Point point, double duration = 0.8);
  void drag(Point from, Point to, double duration = 0.5);
  void fling(Point from, Point to, double duration = 0.08);
  void swipe(Point from, SwipeDirection direction, double distance = 120, double duration = 0.12);
  void pinch(Point center, double startSpan, double endSpan, double duration = 0.3);
  // A firm press where the device has force touch (Window::forcePress): the preview the
  // delegate under the point gives, or nullptr.
  std::shared_ptr<ViewController> peek(Point point);

  // ---- fingers, one event at a time ----
  TouchList touchDown(const std::vector<Point>& points);
  void touchMove(const TouchList& touches, const std::vector<Point>& points);
  void touchUp(const TouchList& touches);
  // Moves fingers along straight lines over `duration`, one sample per frame.
  void moveAlong(const TouchList& touches, const std::vector<Point>& from, const std::vector<Point>& to,
                 double duration);

  // ---- the device and the application ----
  void rotate(DeviceOrientation orientation);
  void enterBackground();
  void enterForeground();

  // The centre of a view in window coordinates.
  static Point centerOf(const View& view);

 private:
  std::shared_ptr<Window> window_;
};

// Back to a fresh application, device, screen, storyboards and nibs (tests call it in set-up).
void resetUiForTesting();

}  // namespace dk::platform

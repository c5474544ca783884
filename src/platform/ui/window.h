// Window: the root of a view tree shown on the screen (UIWindow), and the entry point of touches.
//
// A window hosts its root view controller's view and everything presented over it. It turns
// touch input (from the test driver or a host) into touch events: each new touch is hit-tested,
// offered to the gesture recognisers of the touched view and its ancestors, then delivered to the
// touched view unless a recogniser has taken it. It also runs the coalesced layout pass that
// setNeedsLayout() schedules on the main queue. The Application keeps visible windows alive.
// Main thread only.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/view.h"

namespace dk::platform {

class ViewController;
struct PreviewingContext;

class Window : public View {
 public:
  // A window covering the main screen.
  Window();
  explicit Window(const Rect& frame);
  ~Window() override;

  std::shared_ptr<ViewController> rootViewController() const { return rootViewController_; }
  // Replaces the root controller: the old one's view leaves the window (it disappears), the new
  // one's view is loaded, sized to the window and shown (it appears).
  void setRootViewController(std::shared_ptr<ViewController> controller);
  // Registers the window with the Application as its key window.
  void makeKeyAndVisible();
  bool isKeyWindow() const;
  double windowLevel() const { return windowLevel_; }
  void setWindowLevel(double level) { windowLevel_ = level; }

  // The controller the user sees at the top: the root's presented chain, followed to its end.
  std::shared_ptr<ViewController> topPresentedViewController() const;

  // ---- touch input: one call is one event for the given fingers ----
  TouchList beginTouches(const std::vector<Point>& locationsInWindow);
  void moveTouches(const TouchList& touches, const std::vector<Point>& locationsInWindow);
  void endTouches(const TouchList& touches);
  void cancelTouches(const TouchList& touches);
  const TouchList& activeTouches() const { return active_; }
  // A firm press (peek) at a point: where the device has force touch, the previewing delegate
  // registered for the topmost source view under the finger is asked for its preview, with the
  // point in that view's coordinates. Answers the preview and the context that gave it (nullptr
  // when the device has no force touch, nothing is registered there or the delegate declines).
  struct Peek {
    std::shared_ptr<ViewController> preview;
    std::shared_ptr<PreviewingContext> context;
  };
  Peek forcePress(Point locationInWindow);
  // Pressing on after a peek (pop): the delegate commits the preview.
  static void commitPeek(const Peek& peek);

  // ---- layout ----
  void scheduleLayoutPass();
  // Lays out every window that asked for it (what the scheduled pass does).
  static void layoutAllWindowsNow();

 private:
  void dispatch(TouchPhase phase, const TouchList& touches);

  std::shared_ptr<ViewController> rootViewController_;
  TouchList active_;
  double windowLevel_ = 0;
  bool layoutScheduled_ = false;
  // Multi-tap bookkeeping.
  double lastTapTime_ = -1;
  Point lastTapPoint_;
  int lastTapCount_ = 0;
};

}  // namespace dk::platform

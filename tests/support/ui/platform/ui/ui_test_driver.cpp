#include "platform/ui/ui_test_driver.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/display_link.h"
#include "platform/ui/document_interaction_controller.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/storyboard.h"
#include "platform/ui/system_sound.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace dk::platform {
namespace {

// Tests install a ManualClock; on the system clock (the demo host against a cloud of another's
// making) each step waits for real time instead, the run loop turning meanwhile.
ManualClock* manualClock() { return dynamic_cast<ManualClock*>(&platform::clock()); }

void runUntilTime(double until) {
  while (now() < until) {
    if (!MainRunLoop::runUntil([until] { return now() >= until; }, until - now() + 1.0)) {
      // Idle before the time came: rest a little while, as a display waits for its next frame.
      const double left = std::max(0.0, until - now());
      std::this_thread::sleep_for(std::chrono::duration<double>(std::min(UiTestDriver::kFrame / 4, left)));
    }
  }
  MainRunLoop::runPending();
}

Point lerp(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

}  // namespace

UiTestDriver::UiTestDriver(std::shared_ptr<Window> window) : window_(std::move(window)) {
  if (!window_) window_ = Application::shared().keyWindow();
  assert(window_ && "UiTestDriver needs a window");
}

void UiTestDriver::pump() { MainRunLoop::runUntilIdle(); }

void UiTestDriver::advanceFrames(int frames) {
  auto* clock = manualClock();
  const double start = now();
  for (int i = 1; i <= frames; ++i) {
    if (!clock) {
      runUntilTime(start + i * kFrame);
      continue;
    }
    clock->set(start + i * kFrame);
    MainRunLoop::runUntilIdle();
  }
}

void UiTestDriver::advance(double seconds) {
  auto* clock = manualClock();
  if (!clock) {
    runUntilTime(now() + seconds);
    return;
  }
  MainRunLoop::runUntilIdle();
  // Steps of one frame, the last one landing exactly on the target: no rounding piles up.
  const double start = clock->now();
  const int steps = static_cast<int>(std::ceil(seconds / kFrame - 1e-9));
  for (int i = 1; i <= steps; ++i) {
    clock->set(i == steps ? start + seconds : start + i * kFrame);
    MainRunLoop::runUntilIdle();
  }
}

bool UiTestDriver::settle(double maxSeconds) {
  MainRunLoop::runUntilIdle();
  double spent = 0;
  while (DisplayLink::activeCount() > 0) {
    if (spent >= maxSeconds) return false;
    advanceFrames(1);
    spent += kFrame;
  }
  return true;
}

TouchList UiTestDriver::touchDown(const std::vector<Point>& points) {
  auto touches = window_->beginTouches(points);
  MainRunLoop::runUntilIdle();
  return touches;
}

void UiTestDriver::touchMove(const TouchList& touches, const std::vector<Point>& points) {
  window_->moveTouches(touches, points);
  MainRunLoop::runUntilIdle();
}

void UiTestDriver::touchUp(const TouchList& touches) {
  window_->endTouches(touches);
  MainRunLoop::runUntilIdle();
}

void UiTestDriver::moveAlong(const TouchList& touches, const std::vector<Point>& from, const std::vector<Point>& to,
                             double duration) {
  const int steps = std::max(1, static_cast<int>(std::lround(duration / kFrame)));
  for (int i = 1; i <= steps; ++i) {
    advanceFrames(1);
    std::vector<Point> points;
    for (size_t k = 0; k < from.size(); ++k) points.push_back(lerp(from[k], to[k], double(i) / steps));
    touchMove(touches, points);
  }
}

void UiTestDriver::tap(Point point, int taps) {
  for (int i = 0; i < taps; ++i) {
    auto touches = touchDown({point});
    advanceFrames(3);
    touchUp(touches);
    if (i + 1 < taps) advanceFrames(6);
  }
}

void UiTestDriver::tap(const View& view, int taps) { tap(centerOf(view), taps); }

void UiTestDriver::longPress(Point point, double duration) {
  auto touches = touchDown({point});
  advance(duration);
  touchUp(touches);
}

void UiTestDriver::drag(Point from, Point to, double duration) {
  auto touches = touchDown({from});
  moveAlong(touches, {from}, {to}, duration);
  advance(0.1);  // the finger rests: nothing is thrown
  touchUp(touches);
}

void UiTestDriver::fling(Point from, Point to, double duration) {
  auto touches = touchDown({from});
  moveAlong(touches, {from}, {to}, duration);
  touchUp(touches);
}

void UiTestDriver::swipe(Point from, SwipeDirection direction, double distance, double duration) {
  Point to = from;
  if (direction & kSwipeRight) to.x += distance;
  if (direction & kSwipeLeft) to.x -= distance;
  if (direction & kSwipeUp) to.y -= distance;
  if (direction & kSwipeDown) to.y += distance;
  fling(from, to, duration);
}

void UiTestDriver::pinch(Point center, double startSpan, double endSpan, double duration) {
  const std::vector<Point> from{{center.x - startSpan / 2, center.y}, {center.x + startSpan / 2, center.y}};
  const std::vector<Point> to{{center.x - endSpan / 2, center.y}, {center.x + endSpan / 2, center.y}};
  auto touches = touchDown(from);
  moveAlong(touches, from, to, duration);
  touchUp(touches);
}

std::shared_ptr<ViewController> UiTestDriver::peek(Point point) {
  auto peeked = window_->forcePress(point);
  MainRunLoop::runUntilIdle();
  return peeked.preview;
}

void UiTestDriver::rotate(DeviceOrientation orientation) {
  Device::current().setOrientation(orientation);
  MainRunLoop::runUntilIdle();
}

void UiTestDriver::enterBackground() {
  Application::shared().enterBackground();
  MainRunLoop::runUntilIdle();
}

void UiTestDriver::enterForeground() {
  Application::shared().enterForeground();
  MainRunLoop::runUntilIdle();
}

Point UiTestDriver::centerOf(const View& view) {
  const Rect b = view.bounds();
  return view.convertPointTo({b.midX(), b.midY()}, nullptr);
}

void resetUiForTesting() {
  Application::shared().resetForTesting();
  Device::current().resetForTesting();
  Screen::main().resetForTesting();
  Storyboard::resetForTesting();
  Nib::resetForTesting();
  DocumentInteractionController::resetForTesting();
  SystemSound::resetForTesting();
  View::setAnimationsEnabled(true);
}

}  // namespace dk::platform

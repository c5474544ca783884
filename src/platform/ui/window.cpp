#include "platform/ui/window.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/application.h"
#include "platform/ui/device.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/view_controller.h"

namespace dk::platform {

Point Touch::locationInView(const View* inView) const {
  return inView ? inView->convertPointFrom(locationInWindow, nullptr) : locationInWindow;
}

Point Touch::previousLocationInView(const View* inView) const {
  return inView ? inView->convertPointFrom(previousLocationInWindow, nullptr) : previousLocationInWindow;
}

Window::Window() : Window(Screen::main().bounds()) {}

Window::Window(const Rect& frame) : View(frame) {}

Window::~Window() = default;

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  DK_ASSERT_MAIN_THREAD();
  if (controller == rootViewController_) return;
  auto old = std::move(rootViewController_);
  rootViewController_ = controller;
  if (old) {
    if (auto v = old->viewIfLoaded(); v && v->superview().get() == this) v->removeFromSuperview();
  }
  if (controller) {
    auto v = controller->view();
    v->setFrame(bounds());
    v->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
    insertSubview(v, 0);
  }
}

void Window::makeKeyAndVisible() {
  setHidden(false);
  Application::shared().makeKeyWindow(sharedAs<Window>());
  layoutIfNeeded();
}

bool Window::isKeyWindow() const { return Application::shared().keyWindow().get() == this; }

std::shared_ptr<ViewController> Window::topPresentedViewController() const {
  auto c = rootViewController_;
  while (c && c->presentedViewController()) c = c->presentedViewController();
  return c;
}

// ---- layout ----

void Window::scheduleLayoutPass() {
  if (layoutScheduled_) return;
  layoutScheduled_ = true;
  std::weak_ptr<Responder> weak = weak_from_this();
  DispatchQueue::main()->async([weak] {
    auto self = std::static_pointer_cast<Window>(weak.lock());
    if (!self) return;
    self->layoutScheduled_ = false;
    self->layoutSubtreeIfNeeded();
  });
}

void Window::layoutAllWindowsNow() {
  for (auto& w : Application::shared().windows()) w->layoutSubtreeIfNeeded();
}

// ---- touches ----

TouchList Window::beginTouches(const std::vector<Point>& locations) {
  DK_ASSERT_MAIN_THREAD();
  auto keep = sharedAs<Window>();
  // The screen is laid out before a finger lands on it.
  layoutIfNeeded();
  const double t = now();
  TouchList touches;
  for (const Point& p : locations) {
    auto touch = std::make_shared<Touch>();
    touch->phase = TouchPhase::Began;
    touch->timestamp = t;
    touch->locationInWindow = touch->previousLocationInWindow = p;
    touch->window = keep;
    if (t - lastTapTime_ <= TapGestureRecognizer::kMultiTapInterval &&
        std::hypot(p.x - lastTapPoint_.x, p.y - lastTapPoint_.y) <= 4 * TapGestureRecognizer::kAllowableMovement) {
      touch->tapCount = lastTapCount_ + 1;
    }
    Event probe{t, touches};
    auto hit = hitTest(p, &probe);
    touch->view = hit;
    for (auto v = hit; v; v = v->superview()) {
      for (auto& g : v->gestureRecognizers()) {
        if (g->isEnabled()) touch->gestureRecognizers.push_back(g);
      }
    }
    touches.push_back(touch);
    active_.push_back(touch);
  }
  dispatch(TouchPhase::Began, touches);
  return touches;
}

void Window::moveTouches(const TouchList& touches, const std::vector<Point>& locations) {
  const double t = now();
  for (size_t i = 0; i < touches.size() && i < locations.size(); ++i) {
    touches[i]->previousLocationInWindow = touches[i]->locationInWindow;
    touches[i]->locationInWindow = locations[i];
    touches[i]->timestamp = t;
  }
  dispatch(TouchPhase::Moved, touches);
}

void Window::endTouches(const TouchList& touches) {
  const double t = now();
  for (auto& touch : touches) {
    lastTapTime_ = t;
    lastTapPoint_ = touch->locationInWindow;
    lastTapCount_ = touch->tapCount;
  }
  dispatch(TouchPhase::Ended, touches);
}

void Window::cancelTouches(const TouchList& touches) { dispatch(TouchPhase::Cancelled, touches); }

void Window::dispatch(TouchPhase phase, const TouchList& touches) {
  auto keep = sharedAs<Window>();
  const double t = now();
  for (auto& touch : touches) {
    touch->phase = phase;
    touch->timestamp = t;
  }
  Event event{t, active_};
  // Recognisers first, innermost view's first.
  std::vector<std::shared_ptr<GestureRecognizer>> order;
  std::map<GestureRecognizer*, TouchList> perRecognizer;
  for (auto& touch : touches) {
    for (auto& w : touch->gestureRecognizers) {
      auto g = w.lock();
      if (!g) continue;
      auto& list = perRecognizer[g.get()];
      if (list.empty()) order.push_back(g);
      list.push_back(touch);
    }
  }
  for (auto& g : order) g->deliverTouches(phase, perRecognizer[g.get()], event);
  // Then the touched views, unless a recogniser took the touch.
  std::vector<std::shared_ptr<View>> views;
  std::map<View*, TouchList> perView;
  for (auto& touch : touches) {
    if (touch->cancelledForView) continue;
    auto v = touch->view.lock();
    if (!v) continue;
    auto& list = perView[v.get()];
    if (list.empty()) views.push_back(v);
    list.push_back(touch);
  }
  for (auto& v : views) {
    const TouchList& list = perView[v.get()];
    switch (phase) {
      case TouchPhase::Began: v->touchesBegan(list, event); break;
      case TouchPhase::Moved:
      case TouchPhase::Stationary: v->touchesMoved(list, event); break;
      case TouchPhase::Ended: v->touchesEnded(list, event); break;
      case TouchPhase::Cancelled: v->touchesCancelled(list, event); break;
    }
  }
  if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) {
    active_.erase(std::remove_if(active_.begin(), active_.end(),
                                 [&](const auto& a) { return std::find(touches.begin(), touches.end(), a) != touches.end(); }),
                  active_.end());
  }
}

// ---- peek and pop ----

namespace {
// The controllers showing in a window, the topmost (last presented, then children) first.
void collectShowing(const std::shared_ptr<ViewController>& controller,
                    std::vector<std::shared_ptr<ViewController>>& out) {
  const auto& children = controller->childViewControllers();
  for (auto it = children.rbegin(); it != children.rend(); ++it) collectShowing(*it, out);
  out.push_back(controller);
}
}  // namespace

Window::Peek Window::forcePress(Point locationInWindow) {
  DK_ASSERT_MAIN_THREAD();
  if (!Device::current().isForceTouchAvailable()) return {};
  std::vector<std::shared_ptr<ViewController>> chain;
  for (auto c = rootViewController_; c; c = c->presentedViewController()) chain.push_back(c);
  std::vector<std::shared_ptr<ViewController>> showing;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) collectShowing(*it, showing);
  for (auto& controller : showing) {
    const auto contexts = controller->previewingContexts();
    for (auto& context : contexts) {
      auto source = context->sourceView.lock();
      auto delegate = context->delegate.lock();
      if (!source || !delegate || source->window().get() != this) continue;
      const Point p = source->convertPointFrom(locationInWindow, nullptr);
      if (!source->bounds().contains(p)) continue;
      return {delegate->previewingViewControllerForLocation(*context, p), context};
    }
  }
  return {};
}

void Window::commitPeek(const Peek& peek) {
  DK_ASSERT_MAIN_THREAD();
  if (!peek.preview || !peek.context) return;
  if (auto delegate = peek.context->delegate.lock()) delegate->previewingCommitViewController(*peek.context, peek.preview);
}

}  // namespace dk::platform

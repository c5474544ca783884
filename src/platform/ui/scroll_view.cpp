#include "platform/ui/scroll_view.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/clock.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {
namespace {

// The scroll view's own pan: tells the view when fingers land and lift, and refuses to begin
// for movement along an axis the view cannot scroll.
class ScrollPanRecognizer : public PanGestureRecognizer {
 public:
  explicit ScrollPanRecognizer(ScrollView* owner) : owner_(owner) {}
  bool recognizesSimultaneouslyByDefault(const GestureRecognizer& other) const override {
    return &other == owner_->pinchGestureRecognizer().get();
  }

 protected:
  void firstTouchBegan() override { owner_->panTouchDown(); }
  void allTouchesEnded() override { owner_->panTouchUpWithoutDrag(); }
  bool canBeginWithMovement(Point deltaInWindow) override {
    const Point o = owner_->convertPointFrom({0, 0}, nullptr);
    const Point p = owner_->convertPointFrom(deltaInWindow, nullptr);
    const double dx = std::abs(p.x - o.x), dy = std::abs(p.y - o.y);
    const bool h = owner_->canScrollHorizontally(), v = owner_->canScrollVertically();
    if (h && v) return true;
    if (h) return dx >= dy;
    if (v) return dy >= dx;
    return false;
  }

 private:
  ScrollView* owner_;
};

class ScrollPinchRecognizer : public PinchGestureRecognizer {
 public:
  explicit ScrollPinchRecognizer(ScrollView* owner) : owner_(owner) {}
  bool recognizesSimultaneouslyByDefault(const GestureRecognizer& other) const override {
    return &other == owner_->panGestureRecognizer().get();
  }

 private:
  ScrollView* owner_;
};

double easeInOut(double p) { return p < 0.5 ? 2 * p * p : 1 - std::pow(-2 * p + 2, 2) / 2; }

}  // namespace

ScrollView::ScrollView() { setUp(); }

ScrollView::ScrollView(const Rect& frame) : View(frame) { setUp(); }

ScrollView::~ScrollView() = default;

void ScrollView::setUp() {
  setClipsToBounds(true);
  pan_ = std::make_shared<ScrollPanRecognizer>(this);
  pan_->addTarget(this, [this](GestureRecognizer& g) { handlePan(g); });
  pinch_ = std::make_shared<ScrollPinchRecognizer>(this);
  pinch_->addTarget(this, [this](GestureRecognizer& g) { handlePinch(g); });
  addGestureRecognizer(pan_);
  addGestureRecognizer(pinch_);
}

bool ScrollView::gestureRecognizerShouldBegin(const GestureRecognizer& recognizer) const {
  if (&recognizer == pan_.get()) return scrollEnabled_;
  if (&recognizer == pinch_.get()) {
    return maximumZoomScale_ > minimumZoomScale_ && const_cast<ScrollView*>(this)->zoomView() != nullptr;
  }
  return View::gestureRecognizerShouldBegin(recognizer);
}

// ---- offset and content ----

void ScrollView::setBounds(const Rect& bounds) {
  const Point old = contentOffset();
  View::setBounds(bounds);
  if (bounds.origin != old) {
    contentOffsetDidChange();
    if (auto d = delegate()) d->scrollViewDidScroll(*this);
  }
}

void ScrollView::setContentOffset(Point offset) {
  DK_ASSERT_MAIN_THREAD();
  const bool wasDecelerating = decelerating_ && animation_ && animation_->kind == Animation::Kind::Deceleration;
  if (animation_ && animation_->kind != Animation::Kind::Zoom) stopAnimation();
  setBounds(Rect(offset, bounds().size));
  if (wasDecelerating && decelerating_) {
    // Setting the offset stops a fling; its end is still reported.
    decelerating_ = false;
    if (auto d = delegate()) d->scrollViewDidEndDecelerating(*this);
  }
}

void ScrollView::setContentOffset(Point offset, bool animated) {
  if (!animated) {
    setContentOffset(offset);
    return;
  }
  const Point from = contentOffset();
  if (animation_) stopAnimation();
  if (decelerating_) decelerating_ = false;
  if (from == offset) return;
  Animation a;
  a.kind = Animation::Kind::Offset;
  a.from = from;
  a.to = offset;
  a.duration = kScrollAnimationDuration;
  startAnimation(a);
}

void ScrollView::setContentSize(Size size) {
  if (size == contentSize_) return;
  contentSize_ = size;
  setNeedsLayout();
}

void ScrollView::setContentInset(const EdgeInsets& inset) {
  contentInset_ = inset;
  setNeedsLayout();
}

Point ScrollView::minimumContentOffset() const { return {-contentInset_.left, -contentInset_.top}; }

Point ScrollView::maximumContentOffset() const {
  const Point mn = minimumContentOffset();
  const Size b = bounds().size;
  return {std::max(mn.x, contentSize_.width + contentInset_.right - b.width),
          std::max(mn.y, contentSize_.height + contentInset_.bottom - b.height)};
}

bool ScrollView::canScrollHorizontally() const {
  return alwaysBounceHorizontal_ ||
         contentSize_.width + contentInset_.left + contentInset_.right > bounds().size.width + 1e-9;
}

bool ScrollView::canScrollVertically() const {
  return alwaysBounceVertical_ ||
         contentSize_.height + contentInset_.top + contentInset_.bottom > bounds().size.height + 1e-9;
}

Point ScrollView::clampOffset(Point p) const {
  const Point mn = minimumContentOffset(), mx = maximumContentOffset();
  return {std::clamp(p.x, mn.x, mx.x), std::clamp(p.y, mn.y, mx.y)};
}

Point ScrollView::rubberBand(Point p) const {
  const Point c = clampOffset(p);
  if (!bounces_) return c;
  // Beyond an edge the content follows the finger at half speed.
  return {c.x + (p.x - c.x) * 0.5, c.y + (p.y - c.y) * 0.5};
}

void ScrollView::scrollRectToVisible(const Rect& rect, bool animated) {
  const Rect b = bounds();
  Point target = b.origin;
  if (rect.minX() < b.minX()) {
    target.x = rect.minX();
  } else if (rect.maxX() > b.maxX()) {
    target.x = std::min(rect.minX(), rect.maxX() - b.width());
  }
  if (rect.minY() < b.minY()) {
    target.y = rect.minY();
  } else if (rect.maxY() > b.maxY()) {
    target.y = std::min(rect.minY(), rect.maxY() - b.height());
  }
  setContentOffset(clampOffset(target), animated);
}

// ---- dragging ----

void ScrollView::panTouchDown() {
  tracking_ = true;
  if (animation_ && animation_->kind == Animation::Kind::Deceleration) {
    // The finger catches the moving content; isDecelerating stays until a drag begins.
    stopAnimation();
    caughtDeceleration_ = true;
  } else if (animation_ && animation_->kind == Animation::Kind::Offset) {
    stopAnimation();
  }
}

void ScrollView::panTouchUpWithoutDrag() {
  tracking_ = false;
  if (caughtDeceleration_) {
    caughtDeceleration_ = false;
    if (decelerating_ && !animation_) {
      // Settle where it stopped, inside the edges.
      const Point rest = clampOffset(contentOffset());
      if (rest != contentOffset()) setBounds(Rect(rest, bounds().size));
      decelerating_ = false;
      if (auto d = delegate()) d->scrollViewDidEndDecelerating(*this);
    }
  }
}

void ScrollView::handlePan(GestureRecognizer& recognizer) {
  auto keep = sharedAs<ScrollView>();
  auto& pan = static_cast<PanGestureRecognizer&>(recognizer);
  switch (pan.state()) {
    case GestureState::Began: {
      dragStartOffset_ = contentOffset();
      dragging_ = true;
      if (auto d = delegate()) d->scrollViewWillBeginDragging(*this);
      if (caughtDeceleration_) {
        caughtDeceleration_ = false;
        decelerating_ = false;
      }
      [[fallthrough]];
    }
    case GestureState::Changed: {
      const Point t = pan.translationInView(this);
      Point next = dragStartOffset_;
      if (canScrollHorizontally()) next.x -= t.x;
      if (canScrollVertically()) next.y -= t.y;
      next = rubberBand(next);
      if (next != contentOffset()) setBounds(Rect(next, bounds().size));
      break;
    }
    case GestureState::Ended:
    case GestureState::Cancelled: {
      Point fingerVelocity = pan.state() == GestureState::Ended ? pan.velocityInView(this) : Point{};
      // Content moves against the finger; the platform reports points per millisecond.
      Point velocity{canScrollHorizontally() ? -fingerVelocity.x / 1000 : 0,
                     canScrollVertically() ? -fingerVelocity.y / 1000 : 0};
      const Point current = contentOffset();
      Point target;
      if (clampOffset(current) != current) {
        target = clampOffset(current);  // released beyond an edge: bounce back
      } else {
        const double k = -1 / std::log(decelerationRate_);  // distance per unit of velocity (ms)
        target = clampOffset({current.x + velocity.x * k, current.y + velocity.y * k});
        if (pagingEnabled_) {
          const Size page = bounds().size;
          auto snap = [](double start, double projected, double size) {
            if (size <= 0) return projected;
            const double from = std::round(start / size);
            const double to = std::clamp(std::round(projected / size), from - 1, from + 1);
            return to * size;
          };
          target = clampOffset({snap(dragStartOffset_.x, target.x, page.width), snap(dragStartOffset_.y, target.y, page.height)});
        }
      }
      if (auto d = delegate()) d->scrollViewWillEndDragging(*this, velocity, &target);
      target = clampOffset(target);
      const bool willDecelerate = std::hypot(target.x - current.x, target.y - current.y) > 0.5;
      if (auto d = delegate()) d->scrollViewDidEndDragging(*this, willDecelerate);
      dragging_ = false;
      if (willDecelerate) {
        decelerating_ = true;
        if (auto d = delegate()) d->scrollViewWillBeginDecelerating(*this);
        Animation a;
        a.kind = Animation::Kind::Deceleration;
        a.from = contentOffset();
        a.to = target;
        startAnimation(a);
      }
      break;
    }
    default: break;
  }
}

// ---- zooming ----

std::shared_ptr<View> ScrollView::zoomView() {
  auto d = delegate();
  return d ? d->viewForZooming(*this) : nullptr;
}

void ScrollView::applyZoom(double scale, std::shared_ptr<View> view) {
  zoomScale_ = scale;
  if (!view) return;
  const Size s = view->bounds().size;
  view->setTransform(AffineTransform::scale(scale, scale));
  // The zoomed view keeps its top-left corner at the content's origin.
  view->setCenter({s.width * scale / 2, s.height * scale / 2});
  contentSize_ = {s.width * scale, s.height * scale};
}

void ScrollView::setZoomScale(double scale, bool animated) {
  auto view = zoomView();
  if (!view) return;
  scale = std::clamp(scale, minimumZoomScale_, std::max(minimumZoomScale_, maximumZoomScale_));
  const Size b = bounds().size;
  const Point offset = contentOffset();
  const Point centre{(offset.x + b.width / 2) / zoomScale_, (offset.y + b.height / 2) / zoomScale_};
  if (!animated) {
    if (animation_ && animation_->kind == Animation::Kind::Zoom) stopAnimation();
    applyZoom(scale, view);
    const Point next = clampOffset({centre.x * scale - b.width / 2, centre.y * scale - b.height / 2});
    setBounds(Rect(next, b));
    if (auto d = delegate()) d->scrollViewDidZoom(*this);
    return;
  }
  Animation a;
  a.kind = Animation::Kind::Zoom;
  a.fromScale = zoomScale_;
  a.toScale = scale;
  a.from = offset;
  const Size content{view->bounds().size.width * scale, view->bounds().size.height * scale};
  const Point mx{std::max(-contentInset_.left, content.width + contentInset_.right - b.width),
                 std::max(-contentInset_.top, content.height + contentInset_.bottom - b.height)};
  a.to = {std::clamp(centre.x * scale - b.width / 2, -contentInset_.left, mx.x),
          std::clamp(centre.y * scale - b.height / 2, -contentInset_.top, mx.y)};
  a.duration = kScrollAnimationDuration;
  a.reportsZoomEnd = true;
  if (animation_) stopAnimation();
  startAnimation(a);
}

void ScrollView::zoomToRect(const Rect& rect, bool animated) {
  auto view = zoomView();
  if (!view || rect.width() <= 0 || rect.height() <= 0) return;
  const Size b = bounds().size;
  const double scale = std::clamp(std::min(b.width / rect.width(), b.height / rect.height()), minimumZoomScale_,
                                  std::max(minimumZoomScale_, maximumZoomScale_));
  const Size content{view->bounds().size.width * scale, view->bounds().size.height * scale};
  const Point mx{std::max(-contentInset_.left, content.width + contentInset_.right - b.width),
                 std::max(-contentInset_.top, content.height + contentInset_.bottom - b.height)};
  const Point to{std::clamp(rect.midX() * scale - b.width / 2, -contentInset_.left, mx.x),
                 std::clamp(rect.midY() * scale - b.height / 2, -contentInset_.top, mx.y)};
  if (animation_) stopAnimation();
  if (!animated) {
    applyZoom(scale, view);
    setBounds(Rect(to, b));
    if (auto d = delegate()) d->scrollViewDidZoom(*this);
    return;
  }
  Animation a;
  a.kind = Animation::Kind::Zoom;
  a.fromScale = zoomScale_;
  a.toScale = scale;
  a.from = contentOffset();
  a.to = to;
  a.duration = kScrollAnimationDuration;
  a.reportsZoomEnd = true;
  startAnimation(a);
}

void ScrollView::handlePinch(GestureRecognizer& recognizer) {
  auto keep = sharedAs<ScrollView>();
  auto& pinch = static_cast<PinchGestureRecognizer&>(recognizer);
  auto view = zoomView();
  if (!view) return;
  const double maxScale = std::max(minimumZoomScale_, maximumZoomScale_);
  switch (pinch.state()) {
    case GestureState::Began: {
      if (animation_) stopAnimation();
      zooming_ = true;
      pinchStartScale_ = zoomScale_;
      const Point loc = pinch.locationInView(this);
      pinchAnchor_ = {loc.x / zoomScale_, loc.y / zoomScale_};
      if (auto d = delegate()) d->scrollViewWillBeginZooming(*this, view.get());
      [[fallthrough]];
    }
    case GestureState::Changed: {
      double s = pinchStartScale_ * pinch.scale();
      if (!bouncesZoom_) {
        s = std::clamp(s, minimumZoomScale_, maxScale);
      } else if (s > maxScale) {
        s = maxScale * std::pow(s / maxScale, 0.5);
      } else if (s < minimumZoomScale_) {
        s = minimumZoomScale_ * std::pow(s / minimumZoomScale_, 0.5);
      }
      const Point offset = contentOffset();
      const Point loc = pinch.locationInView(this);
      const Point visible{loc.x - offset.x, loc.y - offset.y};
      applyZoom(s, view);
      const Point next = clampOffset({pinchAnchor_.x * s - visible.x, pinchAnchor_.y * s - visible.y});
      setBounds(Rect(next, bounds().size));
      if (auto d = delegate()) d->scrollViewDidZoom(*this);
      break;
    }
    case GestureState::Ended:
    case GestureState::Cancelled: {
      zooming_ = false;
      const double settled = std::clamp(zoomScale_, minimumZoomScale_, maxScale);
      if (settled != zoomScale_) {
        zoomBouncing_ = true;
        Animation a;
        a.kind = Animation::Kind::Zoom;
        a.fromScale = zoomScale_;
        a.toScale = settled;
        a.from = contentOffset();
        const Size b = bounds().size;
        const Point centre{(a.from.x + b.width / 2) / zoomScale_, (a.from.y + b.height / 2) / zoomScale_};
        const Size content{view->bounds().size.width * settled, view->bounds().size.height * settled};
        a.to = {std::clamp(centre.x * settled - b.width / 2, -contentInset_.left,
                           std::max(-contentInset_.left, content.width + contentInset_.right - b.width)),
                std::clamp(centre.y * settled - b.height / 2, -contentInset_.top,
                           std::max(-contentInset_.top, content.height + contentInset_.bottom - b.height))};
        a.duration = kScrollAnimationDuration;
        a.reportsZoomEnd = true;
        startAnimation(a);
      } else if (auto d = delegate()) {
        d->scrollViewDidEndZooming(*this, view.get(), zoomScale_);
      }
      break;
    }
    default: break;
  }
}

// ---- frame-driven motion ----

void ScrollView::startAnimation(Animation animation) {
  animation.start = now();
  if (animation.kind == Animation::Kind::Deceleration) {
    // Exponential decay reaching the target: velocity (per ms) for the distance, and the time
    // at which less than half a point is left.
    const double distance = std::hypot(animation.to.x - animation.from.x, animation.to.y - animation.from.y);
    const double lnRate = std::log(decelerationRate_);
    animation.duration = distance > 0.5 ? std::log(0.5 / distance) / lnRate / 1000.0 : 0;
  }
  animation_ = animation;
  std::weak_ptr<Responder> weak = weak_from_this();
  link_ = DisplayLink::create([weak](double t) {
    if (auto self = std::static_pointer_cast<ScrollView>(weak.lock())) self->tick(t);
  });
}

void ScrollView::stopAnimation() {
  animation_.reset();
  if (link_) link_->invalidate();
  link_.reset();
}

void ScrollView::tick(double t) {
  if (!animation_) return;
  auto keep = sharedAs<ScrollView>();
  const Animation a = *animation_;
  const double elapsed = t - a.start;
  const double p = a.duration > 0 ? std::clamp(elapsed / a.duration, 0.0, 1.0) : 1.0;
  switch (a.kind) {
    case Animation::Kind::Offset: {
      const double e = easeInOut(p);
      setBounds(Rect(Point{a.from.x + (a.to.x - a.from.x) * e, a.from.y + (a.to.y - a.from.y) * e}, bounds().size));
      break;
    }
    case Animation::Kind::Deceleration: {
      const double total = 1 - std::pow(decelerationRate_, a.duration * 1000);
      const double done = total > 0 ? (1 - std::pow(decelerationRate_, std::min(elapsed, a.duration) * 1000)) / total : 1;
      setBounds(Rect(Point{a.from.x + (a.to.x - a.from.x) * done, a.from.y + (a.to.y - a.from.y) * done}, bounds().size));
      break;
    }
    case Animation::Kind::Zoom: {
      const double e = easeInOut(p);
      applyZoom(a.fromScale + (a.toScale - a.fromScale) * e, zoomView());
      setBounds(Rect(Point{a.from.x + (a.to.x - a.from.x) * e, a.from.y + (a.to.y - a.from.y) * e}, bounds().size));
      if (auto d = delegate()) d->scrollViewDidZoom(*this);
      break;
    }
  }
  // A delegate may have stopped or replaced the motion from its callback.
  if (!animation_ || animation_->start != a.start || animation_->kind != a.kind) return;
  if (p >= 1.0) finishAnimation();
}

void ScrollView::finishAnimation() {
  const Animation a = *animation_;
  stopAnimation();
  auto keep = sharedAs<ScrollView>();
  switch (a.kind) {
    case Animation::Kind::Offset:
      if (auto d = delegate()) d->scrollViewDidEndScrollingAnimation(*this);
      break;
    case Animation::Kind::Deceleration:
      decelerating_ = false;
      if (auto d = delegate()) d->scrollViewDidEndDecelerating(*this);
      break;
    case Animation::Kind::Zoom:
      zoomBouncing_ = false;
      if (a.reportsZoomEnd) {
        if (auto d = delegate()) d->scrollViewDidEndZooming(*this, zoomView().get(), zoomScale_);
      }
      break;
  }
}

}  // namespace dk::platform

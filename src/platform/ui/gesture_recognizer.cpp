#include "platform/ui/gesture_recognizer.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/view.h"

namespace dk::platform {
namespace {

// Recognisers that received touches of the current gesture session.
std::vector<std::weak_ptr<GestureRecognizer>>& involvedRecognizers() {
  static std::vector<std::weak_ptr<GestureRecognizer>> list;  // main thread only
  return list;
}

std::vector<std::shared_ptr<GestureRecognizer>> involvedSnapshot() {
  std::vector<std::shared_ptr<GestureRecognizer>> result;
  auto& list = involvedRecognizers();
  list.erase(std::remove_if(list.begin(), list.end(), [](const auto& w) { return w.expired(); }), list.end());
  for (auto& w : list) result.push_back(w.lock());
  return result;
}

bool isActiveState(GestureState s) { return s == GestureState::Began || s == GestureState::Changed; }
bool isWinningState(GestureState s) { return isActiveState(s) || s == GestureState::Ended; }
bool isTerminal(GestureState s) {
  return s == GestureState::Ended || s == GestureState::Cancelled || s == GestureState::Failed;
}

// Commits waiting recognisers whose prerequisites failed, then resets the finished ones.
void settleAll() {
  bool changed = true;
  for (int guard = 0; changed && guard < 16; ++guard) {
    changed = false;
    for (auto& g : involvedSnapshot()) {
      if (!g->hasPendingState()) continue;
      g->commitPendingIfReady();
      changed = changed || !g->hasPendingState();
    }
  }
  for (auto& g : involvedSnapshot()) g->resetIfFinished();
}

Point centroidInWindow(const TouchList& touches) {
  Point sum;
  if (touches.empty()) return sum;
  for (auto& t : touches) sum.x += t->locationInWindow.x, sum.y += t->locationInWindow.y;
  return {sum.x / touches.size(), sum.y / touches.size()};
}

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// A window-space vector expressed in `view`'s coordinates (rotation and scale, no offset).
Point vectorToView(Point v, const View* view) {
  if (!view) return v;
  const Point o = view->convertPointFrom({0, 0}, nullptr);
  const Point p = view->convertPointFrom(v, nullptr);
  return {p.x - o.x, p.y - o.y};
}

Point vectorToWindow(Point v, const View* view) {
  if (!view) return v;
  const Point o = view->convertPointTo({0, 0}, nullptr);
  const Point p = view->convertPointTo(v, nullptr);
  return {p.x - o.x, p.y - o.y};
}

}  // namespace

GestureRecognizer::GestureRecognizer(Action action) { addTarget(nullptr, std::move(action)); }

GestureRecognizer::~GestureRecognizer() = default;

void GestureRecognizer::addTarget(const void* owner, Action action) {
  if (action) actions_.push_back({owner, std::move(action)});
}

void GestureRecognizer::removeTarget(const void* owner) {
  actions_.erase(std::remove_if(actions_.begin(), actions_.end(), [owner](const Entry& e) { return e.owner == owner; }),
                 actions_.end());
}

void GestureRecognizer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled) return;
  pending_.reset();
  if (isActiveState(state_)) {
    state_ = GestureState::Cancelled;
    fireActions();
  } else if (state_ == GestureState::Possible && involved_) {
    state_ = GestureState::Failed;
  }
  touches_.clear();
  settleAll();
  resetIfFinished();
}

std::shared_ptr<View> GestureRecognizer::view() const {
  return view_ ? std::static_pointer_cast<View>(view_->weak_from_this().lock()) : nullptr;
}

void GestureRecognizer::attachToView(View* view) {
  view_ = view;
  if (!view) touches_.clear();
}

void GestureRecognizer::requireGestureRecognizerToFail(const std::shared_ptr<GestureRecognizer>& other) {
  if (other && other.get() != this) requiresToFail_.push_back(other);
}

Point GestureRecognizer::locationInView(const View* view) const {
  const Point window = touches_.empty() ? lastCentroid_ : centroidInWindow(touches_);
  return view ? view->convertPointFrom(window, nullptr) : window;
}

Point GestureRecognizer::locationOfTouch(size_t index, const View* view) const {
  if (index >= touches_.size()) return locationInView(view);
  return touches_[index]->locationInView(view);
}

void GestureRecognizer::updateCentroid() {
  if (!touches_.empty()) lastCentroid_ = centroidInWindow(touches_);
}

void GestureRecognizer::deliverTouches(TouchPhase phase, const TouchList& touches, const Event& event) {
  if (!enabled_ || !view_) return;
  auto keep = shared_from_this();
  TouchList mine;
  const bool wasEmpty = touches_.empty();
  if (phase == TouchPhase::Began) {
    auto d = delegate_.lock();
    for (auto& t : touches) {
      if (d && d->shouldReceiveTouch(*this, *t) == std::optional<bool>(false)) continue;
      touches_.push_back(t);
      mine.push_back(t);
    }
    if (mine.empty()) return;
    if (!involved_) {
      involved_ = true;
      involvedRecognizers().push_back(weak_from_this());
    }
  } else {
    for (auto& t : touches) {
      if (std::find(touches_.begin(), touches_.end(), t) != touches_.end()) mine.push_back(t);
    }
    if (mine.empty()) return;
  }
  updateCentroid();
  if (phase == TouchPhase::Began && wasEmpty) firstTouchBegan();
  const bool listening = (state_ == GestureState::Possible && !pending_) || isActiveState(state_);
  if (listening) {
    switch (phase) {
      case TouchPhase::Began: touchesBegan(mine, event); break;
      case TouchPhase::Moved:
      case TouchPhase::Stationary: touchesMoved(mine, event); break;
      case TouchPhase::Ended: touchesEnded(mine, event); break;
      case TouchPhase::Cancelled: touchesCancelled(mine, event); break;
    }
  }
  if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) {
    touches_.erase(std::remove_if(touches_.begin(), touches_.end(),
                                  [&](const auto& t) { return std::find(mine.begin(), mine.end(), t) != mine.end(); }),
                   touches_.end());
    if (touches_.empty()) {
      allTouchesEnded();
      settleAll();  // a finished gesture is ready for the next one once its fingers are gone
    }
  }
}

void GestureRecognizer::touchesCancelled(const TouchList&, const Event&) {
  if (isActiveState(state_)) {
    setState(GestureState::Cancelled);
  } else if (state_ == GestureState::Possible) {
    setState(GestureState::Failed);
  }
}

void GestureRecognizer::reset() {}

bool GestureRecognizer::shouldBegin() {
  if (auto d = delegate_.lock(); d && d->gestureRecognizerShouldBegin(*this) == std::optional<bool>(false)) return false;
  if (view_ && !view_->gestureRecognizerShouldBegin(*this)) return false;
  // Views between the touched view and ours may refuse too (a button keeps its taps).
  for (auto& t : touches_) {
    for (auto v = t->view.lock(); v && v.get() != view_; v = v->superview()) {
      if (!v->gestureRecognizerShouldBegin(*this)) return false;
    }
  }
  return true;
}

bool GestureRecognizer::allowsSimultaneousWith(GestureRecognizer& other) {
  if (recognizesSimultaneouslyByDefault(other) || other.recognizesSimultaneouslyByDefault(*this)) return true;
  if (auto d = delegate_.lock(); d && d->shouldRecognizeSimultaneously(*this, other) == std::optional<bool>(true)) {
    return true;
  }
  if (auto d = other.delegate_.lock(); d && d->shouldRecognizeSimultaneously(other, *this) == std::optional<bool>(true)) {
    return true;
  }
  return false;
}

void GestureRecognizer::setState(GestureState next) {
  DK_ASSERT_MAIN_THREAD();
  auto keep = shared_from_this();
  if (pending_) {
    // Waiting for a prerequisite to fail: remember where the gesture got to.
    if (next == GestureState::Failed || next == GestureState::Cancelled) {
      pending_.reset();
      state_ = GestureState::Failed;
    } else if (next != GestureState::Changed) {
      pending_ = next;
    }
    settleAll();
    return;
  }
  if (state_ == GestureState::Possible && (next == GestureState::Began || next == GestureState::Ended)) {
    if (!shouldBegin()) {
      state_ = GestureState::Failed;
      settleAll();
      return;
    }
    for (auto& w : requiresToFail_) {
      auto other = w.lock();
      if (!other) continue;
      if (isWinningState(other->state_)) {
        state_ = GestureState::Failed;
        settleAll();
        return;
      }
      if (other->state_ == GestureState::Possible && other->involved_) pending_ = next;
    }
    if (pending_) return;
    commit(next);
    settleAll();
    return;
  }
  if (next == GestureState::Failed) {
    if (state_ == GestureState::Possible) state_ = GestureState::Failed;
    settleAll();
    return;
  }
  if (!isActiveState(state_)) return;  // Changed/Ended/Cancelled only follow a begun gesture
  state_ = next;
  fireActions();
  settleAll();
}

void GestureRecognizer::commit(GestureState next) {
  state_ = next;
  // The winner: every other recogniser of the session still deciding fails.
  for (auto& other : involvedSnapshot()) {
    if (other.get() == this) continue;
    if (other->state_ != GestureState::Possible) continue;
    bool dependsOnUs = false;
    for (auto& w : other->requiresToFail_) dependsOnUs = dependsOnUs || w.lock().get() == this;
    if (!dependsOnUs && allowsSimultaneousWith(*other)) continue;
    other->forceFail();
  }
  if (cancelsTouchesInView_) {
    Event event{now(), touches_};
    for (auto& t : touches_) {
      if (t->cancelledForView) continue;
      t->cancelledForView = true;
      if (auto v = t->view.lock()) v->touchesCancelled({t}, event);
    }
  }
  fireActions();
}

void GestureRecognizer::forceFail() {
  pending_.reset();
  if (state_ == GestureState::Possible) state_ = GestureState::Failed;
}

void GestureRecognizer::commitPendingIfReady() {
  if (!pending_) return;
  for (auto& w : requiresToFail_) {
    auto other = w.lock();
    if (!other) continue;
    if (isWinningState(other->state_)) {
      forceFail();
      return;
    }
    if (other->state_ == GestureState::Possible && other->involved_) return;  // still deciding
  }
  const GestureState target = *pending_;
  pending_.reset();
  if (!shouldBegin()) {
    state_ = GestureState::Failed;
    return;
  }
  if (isContinuous() && target != GestureState::Began) {
    commit(GestureState::Began);
    if (target == GestureState::Ended || target == GestureState::Cancelled) {
      state_ = target;
      fireActions();
    }
    return;
  }
  commit(target);
}

void GestureRecognizer::resetIfFinished() {
  if (!touches_.empty() || pending_ || !isTerminal(state_)) return;
  state_ = GestureState::Possible;
  involved_ = false;
  auto& list = involvedRecognizers();
  list.erase(std::remove_if(list.begin(), list.end(),
                            [this](const auto& w) {
                              auto g = w.lock();
                              return !g || g.get() == this;
                            }),
             list.end());
  reset();
}

void GestureRecognizer::fireActions() {
  auto actions = actions_;  // an action may remove targets
  for (auto& e : actions) e.action(*this);
}

// ---- tap ----

void TapGestureRecognizer::touchesBegan(const TouchList& touches, const Event& event) {
  ++generation_;  // a new finger cancels the wait for it
  if (trackedTouches().size() > static_cast<size_t>(numberOfTouchesRequired)) {
    setState(GestureState::Failed);
    return;
  }
  const Point here = centroidInWindow(trackedTouches());
  if (tapsSeen_ == 0) {
    start_ = here;
  } else if (distance(here, start_) > 4 * kAllowableMovement) {
    setState(GestureState::Failed);
  }
}

void TapGestureRecognizer::touchesMoved(const TouchList& touches, const Event& event) {
  for (auto& t : touches) {
    if (distance(t->locationInWindow, start_) > kAllowableMovement * (tapsSeen_ == 0 ? 1 : 4)) {
      setState(GestureState::Failed);
      return;
    }
  }
}

void TapGestureRecognizer::touchesEnded(const TouchList& touches, const Event& event) {
  // A tap ends when its last finger lifts.
  for (auto& t : trackedTouches()) {
    if (std::find(touches.begin(), touches.end(), t) == touches.end()) return;
  }
  if (++tapsSeen_ >= numberOfTapsRequired) {
    setState(kGestureRecognized);
  } else {
    armTimeout();
  }
}

void TapGestureRecognizer::armTimeout() {
  const unsigned long generation = ++generation_;
  std::weak_ptr<GestureRecognizer> weak = weak_from_this();
  DispatchQueue::main()->after(kMultiTapInterval, [weak, generation] {
    auto self = std::static_pointer_cast<TapGestureRecognizer>(weak.lock());
    if (!self || self->generation_ != generation || self->state() != GestureState::Possible) return;
    if (self->numberOfTouches() > 0) return;
    self->setState(GestureState::Failed);
  });
}

void TapGestureRecognizer::reset() {
  GestureRecognizer::reset();
  tapsSeen_ = 0;
  ++generation_;
}

// ---- pan ----

void PanGestureRecognizer::touchesBegan(const TouchList& touches, const Event& event) {
  if (trackedTouches().size() > maximumNumberOfTouches) {
    if (state() == GestureState::Possible) setState(GestureState::Failed);
    return;
  }
  start_ = centroidInWindow(trackedTouches());
  samples_.clear();
  sample(event.timestamp);
}

void PanGestureRecognizer::sample(double time) {
  samples_.push_back({time, centroidInWindow(trackedTouches())});
  // Keep a short history: velocity looks at the last 0.1 s.
  while (samples_.size() > 2 && samples_.back().time - samples_.front().time > 0.2) samples_.erase(samples_.begin());
}

void PanGestureRecognizer::touchesMoved(const TouchList& touches, const Event& event) {
  const Point here = centroidInWindow(trackedTouches());
  sample(event.timestamp);
  if (state() == GestureState::Possible) {
    const Point delta{here.x - start_.x, here.y - start_.y};
    if (std::hypot(delta.x, delta.y) < kHysteresis || trackedTouches().size() < minimumNumberOfTouches) return;
    if (!canBeginWithMovement(delta)) {
      setState(GestureState::Failed);
      return;
    }
    // Translation counts from where the finger came down, so content follows it exactly.
    translationBase_ = {};
    setState(GestureState::Began);
    return;
  }
  setState(GestureState::Changed);
}

void PanGestureRecognizer::touchesEnded(const TouchList& touches, const Event& event) {
  for (auto& t : trackedTouches()) {
    if (std::find(touches.begin(), touches.end(), t) == touches.end()) return;  // fingers remain
  }
  if (state() == GestureState::Possible) {
    setState(GestureState::Failed);
    return;
  }
  // A finger that rested before lifting throws nothing.
  lastVelocity_ = {};
  if (!samples_.empty() && event.timestamp - samples_.back().time <= 0.05) lastVelocity_ = recentVelocity();
  samples_.clear();
  setState(GestureState::Ended);
}

Point PanGestureRecognizer::translationInView(const View* view) const {
  const Point here = trackedTouches().empty() ? lastCentroidInWindow() : centroidInWindow(trackedTouches());
  if (state() == GestureState::Possible) return {};
  return vectorToView({here.x - start_.x + translationBase_.x, here.y - start_.y + translationBase_.y}, view);
}

void PanGestureRecognizer::setTranslation(Point translation, const View* view) {
  const Point here = trackedTouches().empty() ? lastCentroidInWindow() : centroidInWindow(trackedTouches());
  const Point wanted = vectorToWindow(translation, view);
  translationBase_ = {wanted.x - (here.x - start_.x), wanted.y - (here.y - start_.y)};
}

Point PanGestureRecognizer::recentVelocity() const {
  if (samples_.size() < 2) return {};
  const Sample& last = samples_.back();
  const Sample* first = &samples_.front();
  for (auto& s : samples_) {
    if (last.time - s.time <= 0.1) {
      first = &s;
      break;
    }
  }
  const double dt = last.time - first->time;
  if (dt <= 0) return {};
  return {(last.location.x - first->location.x) / dt, (last.location.y - first->location.y) / dt};
}

Point PanGestureRecognizer::velocityInView(const View* view) const {
  if (state() == GestureState::Ended || samples_.size() < 2) return vectorToView(lastVelocity_, view);
  return vectorToView(recentVelocity(), view);
}

void PanGestureRecognizer::reset() {
  GestureRecognizer::reset();
  samples_.clear();
  translationBase_ = {};
  lastVelocity_ = {};
}

// ---- pinch ----

double PinchGestureRecognizer::span() const {
  const auto& t = trackedTouches();
  if (t.size() < 2) return 0;
  return distance(t[0]->locationInWindow, t[1]->locationInWindow);
}

void PinchGestureRecognizer::touchesBegan(const TouchList& touches, const Event& event) {
  if (trackedTouches().size() == 2 && state() == GestureState::Possible) {
    initialSpan_ = span();
    lastTime_ = event.timestamp;
  }
}

void PinchGestureRecognizer::touchesMoved(const TouchList& touches, const Event& event) {
  if (trackedTouches().size() < 2) return;
  const double s = span();
  if (state() == GestureState::Possible) {
    if (initialSpan_ <= 0 || std::abs(s - initialSpan_) < kHysteresis) return;
    spanAtBase_ = initialSpan_;
    scaleBase_ = 1;
    scale_ = s / spanAtBase_;
    lastTime_ = event.timestamp;
    setState(GestureState::Began);
    return;
  }
  const double next = spanAtBase_ > 0 ? scaleBase_ * s / spanAtBase_ : scale_;
  const double dt = event.timestamp - lastTime_;
  if (dt > 0) velocity_ = (next - scale_) / dt;
  scale_ = next;
  lastTime_ = event.timestamp;
  setState(GestureState::Changed);
}

void PinchGestureRecognizer::touchesEnded(const TouchList& touches, const Event& event) {
  if (state() == GestureState::Possible) {
    if (trackedTouches().size() <= touches.size()) setState(GestureState::Failed);
    return;
  }
  // The pinch ends when either finger lifts.
  if (event.timestamp - lastTime_ > 0.05) velocity_ = 0;
  setState(GestureState::Ended);
}

void PinchGestureRecognizer::setScale(double scale) {
  scale_ = scale;
  scaleBase_ = scale;
  spanAtBase_ = span() > 0 ? span() : spanAtBase_;
}

void PinchGestureRecognizer::reset() {
  GestureRecognizer::reset();
  initialSpan_ = spanAtBase_ = 0;
  scale_ = scaleBase_ = 1;
  velocity_ = 0;
}

// ---- swipe ----

void SwipeGestureRecognizer::touchesBegan(const TouchList& touches, const Event& event) {
  if (trackedTouches().size() > static_cast<size_t>(numberOfTouchesRequired)) {
    setState(GestureState::Failed);
    return;
  }
  start_ = centroidInWindow(trackedTouches());
  startTime_ = event.timestamp;
}

void SwipeGestureRecognizer::evaluate(bool ended) {
  if (now() - startTime_ > kMaximumDuration) {
    setState(GestureState::Failed);
    return;
  }
  if (trackedTouches().size() < static_cast<size_t>(numberOfTouchesRequired)) return;
  const Point here = centroidInWindow(trackedTouches());
  // Measured in the view's coordinates, so a turned view swipes along its own axes.
  const Point d = vectorToView({here.x - start_.x, here.y - start_.y}, view().get());
  struct Dir {
    unsigned bit;
    double along, off;
  } dirs[] = {{kSwipeRight, d.x, d.y}, {kSwipeLeft, -d.x, d.y}, {kSwipeUp, -d.y, d.x}, {kSwipeDown, d.y, d.x}};
  bool plausible = false;
  for (auto& dir : dirs) {
    if (!(direction & dir.bit)) continue;
    if (dir.along >= kMinimumDistance && std::abs(dir.off) <= dir.along * kMaximumDeviation) {
      setState(kGestureRecognized);
      return;
    }
    if (dir.along > -PanGestureRecognizer::kHysteresis && std::abs(dir.off) <= std::max(dir.along, 0.0) + 2 * PanGestureRecognizer::kHysteresis) {
      plausible = true;
    }
  }
  if (!plausible || ended) setState(GestureState::Failed);
}

void SwipeGestureRecognizer::touchesMoved(const TouchList& touches, const Event& event) { evaluate(false); }

void SwipeGestureRecognizer::touchesEnded(const TouchList& touches, const Event& event) {
  if (state() == GestureState::Possible) evaluate(true);
}

void SwipeGestureRecognizer::reset() { GestureRecognizer::reset(); }

// ---- long press ----

void LongPressGestureRecognizer::touchesBegan(const TouchList& touches, const Event& event) {
  start_ = centroidInWindow(trackedTouches());
  const unsigned long generation = ++generation_;
  std::weak_ptr<GestureRecognizer> weak = weak_from_this();
  DispatchQueue::main()->after(minimumPressDuration, [weak, generation] {
    auto self = std::static_pointer_cast<LongPressGestureRecognizer>(weak.lock());
    if (!self || self->generation_ != generation || self->state() != GestureState::Possible) return;
    if (self->numberOfTouches() == 0) return;
    self->setState(GestureState::Began);
  });
}

void LongPressGestureRecognizer::touchesMoved(const TouchList& touches, const Event& event) {
  const Point here = centroidInWindow(trackedTouches());
  if (state() == GestureState::Possible) {
    if (distance(here, start_) > allowableMovement) setState(GestureState::Failed);
    return;
  }
  setState(GestureState::Changed);
}

void LongPressGestureRecognizer::touchesEnded(const TouchList& touches, const Event& event) {
  ++generation_;
  setState(state() == GestureState::Possible ? GestureState::Failed : GestureState::Ended);
}

void LongPressGestureRecognizer::reset() {
  GestureRecognizer::reset();
  ++generation_;
}

}  // namespace dk::platform

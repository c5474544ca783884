#include "platform/ui/control.h"

#include <algorithm>

#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {

void Control::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!enabled) {
    tracking_ = false;
    highlighted_ = false;
  }
  stateDidChange();
  setNeedsDisplay();
}

void Control::setSelected(bool selected) {
  if (selected == selected_) return;
  selected_ = selected;
  stateDidChange();
  setNeedsDisplay();
}

void Control::setHighlighted(bool highlighted) {
  if (highlighted == highlighted_) return;
  highlighted_ = highlighted;
  stateDidChange();
  setNeedsDisplay();
}

unsigned Control::state() const {
  unsigned s = kControlStateNormal;
  if (highlighted_) s |= kControlStateHighlighted;
  if (!enabled_) s |= kControlStateDisabled;
  if (selected_) s |= kControlStateSelected;
  return s;
}

void Control::addTarget(const void* owner, Action action, unsigned events) {
  if (action && events) actions_.push_back({owner, std::move(action), events});
}

void Control::removeTarget(const void* owner, unsigned events) {
  for (auto& e : actions_) {
    if (!owner || e.owner == owner) e.events &= ~events;
  }
  actions_.erase(std::remove_if(actions_.begin(), actions_.end(), [](const Entry& e) { return e.events == 0; }),
                 actions_.end());
}

size_t Control::numberOfActions(unsigned events) const {
  return std::count_if(actions_.begin(), actions_.end(), [events](const Entry& e) { return (e.events & events) != 0; });
}

unsigned Control::allControlEvents() const {
  unsigned all = 0;
  for (auto& e : actions_) all |= e.events;
  return all;
}

void Control::sendActionsForControlEvents(unsigned events) {
  DK_ASSERT_MAIN_THREAD();
  auto keep = sharedAs<Control>();
  auto actions = actions_;  // an action may change the list
  for (auto& e : actions) {
    if (e.events & events) e.action(*this);
  }
}

bool Control::insideWithSlack(Point p) const {
  return bounds().insetBy(-kTrackingSlack, -kTrackingSlack).contains(p);
}

void Control::touchesBegan(const TouchList& touches, const Event& event) {
  if (!enabled_ || touches.empty()) return;
  auto keep = sharedAs<Control>();
  tracking_ = true;
  touchInside_ = true;
  setHighlighted(true);
  unsigned events = kControlEventTouchDown;
  if (touches.front()->tapCount > 1) events |= kControlEventTouchDownRepeat;
  sendActionsForControlEvents(events);
}

void Control::touchesMoved(const TouchList& touches, const Event& event) {
  if (!tracking_ || touches.empty()) return;
  auto keep = sharedAs<Control>();
  const bool inside = insideWithSlack(touches.front()->locationInView(this));
  unsigned events = inside ? kControlEventTouchDragInside : kControlEventTouchDragOutside;
  if (inside != touchInside_) events |= inside ? kControlEventTouchDragEnter : kControlEventTouchDragExit;
  touchInside_ = inside;
  setHighlighted(inside);
  sendActionsForControlEvents(events);
}

void Control::touchesEnded(const TouchList& touches, const Event& event) {
  if (!tracking_ || touches.empty()) return;
  auto keep = sharedAs<Control>();
  const bool inside = insideWithSlack(touches.front()->locationInView(this));
  tracking_ = false;
  touchInside_ = inside;
  setHighlighted(false);
  sendActionsForControlEvents(inside ? kControlEventTouchUpInside : kControlEventTouchUpOutside);
}

void Control::touchesCancelled(const TouchList& touches, const Event& event) {
  if (!tracking_) return;
  auto keep = sharedAs<Control>();
  tracking_ = false;
  setHighlighted(false);
  sendActionsForControlEvents(kControlEventTouchCancel);
}

bool Control::gestureRecognizerShouldBegin(const GestureRecognizer& recognizer) const {
  if (!enabled_) return true;
  if (recognizer.view().get() == this) return true;
  // The control handles its own single taps.
  if (auto tap = dynamic_cast<const TapGestureRecognizer*>(&recognizer)) {
    return !(tap->numberOfTapsRequired == 1 && tap->numberOfTouchesRequired == 1);
  }
  return true;
}

}  // namespace dk::platform

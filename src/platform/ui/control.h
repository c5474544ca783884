// Control: a view that turns touches into target-action events (UIControl).
//
// A control tracks a touch from down to up and sends the platform's control events: touch down,
// drag inside/outside (with the platform's 70-point slack around the bounds), touch up inside or
// outside, cancel; subclasses send value changes. Actions are registered for a mask of events and
// run in registration order; a target given as a shared object is held weakly. Disabled controls
// send nothing. A control keeps its single taps from tap recognisers of its ancestors, as the
// platform's controls do. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/view.h"

namespace dk::platform {

// UIControlState bits.
enum ControlState : unsigned {
  kControlStateNormal = 0,
  kControlStateHighlighted = 1 << 0,
  kControlStateDisabled = 1 << 1,
  kControlStateSelected = 1 << 2,
};

// UIControlEvents bits.
enum ControlEvents : unsigned {
  kControlEventTouchDown = 1 << 0,
  kControlEventTouchDownRepeat = 1 << 1,
  kControlEventTouchDragInside = 1 << 2,
  kControlEventTouchDragOutside = 1 << 3,
  kControlEventTouchDragEnter = 1 << 4,
  kControlEventTouchDragExit = 1 << 5,
  kControlEventTouchUpInside = 1 << 6,
  kControlEventTouchUpOutside = 1 << 7,
  kControlEventTouchCancel = 1 << 8,
  kControlEventValueChanged = 1 << 12,
  kControlEventPrimaryActionTriggered = 1 << 13,
  kControlEventAllTouchEvents = 0x00000FFF,
  kControlEventAllEditingEvents = 0x000F0000,
  kControlEventAllEvents = 0xFFFFFFFF,
};

class Control : public View {
 public:
  using Action = std::function<void(Control& sender)>;

  Control() = default;
  explicit Control(const Rect& frame) : View(frame) {}

  bool isEnabled() const { return enabled_; }
  virtual void setEnabled(bool enabled);
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted);
  unsigned state() const;
  bool isTracking() const { return tracking_; }
  bool isTouchInside() const { return touchInside_; }

  // `owner` identifies the target for removeTarget (may be nullptr).
  void addTarget(const void* owner, Action action, unsigned events);
  template <typename T>
  void addTarget(const std::shared_ptr<T>& target, void (T::*method)(Control&), unsigned events) {
    std::weak_ptr<T> weak = target;
    addTarget(target.get(), [weak, method](Control& c) {
      if (auto t = weak.lock()) ((*t).*method)(c);
    }, events);
  }
  template <typename T>
  void addTarget(const std::shared_ptr<T>& target, void (T::*method)(), unsigned events) {
    std::weak_ptr<T> weak = target;
    addTarget(target.get(), [weak, method](Control&) {
      if (auto t = weak.lock()) ((*t).*method)();
    }, events);
  }
  // Removes the owner's actions for these events (owner nullptr: every owner's).
  void removeTarget(const void* owner, unsigned events = kControlEventAllEvents);
  size_t numberOfActions(unsigned events = kControlEventAllEvents) const;
  // The events any action is registered for.
  unsigned allControlEvents() const;
  // Runs the actions registered for any of `events`.
  void sendActionsForControlEvents(unsigned events);

  void touchesBegan(const TouchList& touches, const Event& event) override;
  void touchesMoved(const TouchList& touches, const Event& event) override;
  void touchesEnded(const TouchList& touches, const Event& event) override;
  void touchesCancelled(const TouchList& touches, const Event& event) override;
  bool gestureRecognizerShouldBegin(const GestureRecognizer& recognizer) const override;

  // Points around the bounds that still count as "inside" while dragging.
  static constexpr double kTrackingSlack = 70;

 protected:
  // Called when the control's state changed (enabled, selected, highlighted).
  virtual void stateDidChange() {}

 private:
  struct Entry {
    const void* owner;
    Action action;
    unsigned events;
  };
  bool insideWithSlack(Point p) const;
  std::vector<Entry> actions_;
  bool enabled_ = true, selected_ = false, highlighted_ = false;
  bool tracking_ = false, touchInside_ = false;
};

}  // namespace dk::platform

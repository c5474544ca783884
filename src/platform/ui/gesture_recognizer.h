// Gesture recognisers (UIGestureRecognizer family): tap, pan, pinch, swipe and long press.
//
// A recogniser is attached to one view (which owns it) and receives every touch that starts in
// that view or its descendants, before the views themselves do. Its state machine follows the
// platform: discrete gestures go Possible → Recognized (Ended) or Failed; continuous ones
// Possible → Began → Changed… → Ended or Cancelled. Actions run at each reported state.
// Among the recognisers that see the same touches, the first to begin or recognise wins and the
// others fail, unless a delegate lets them recognise simultaneously; requireGestureRecognizerToFail
// makes one wait until the other has failed (and fail when the other wins). A winner with
// cancelsTouchesInView (the default) cancels the touches it took from the views.
// Timing (multi-tap windows, long-press duration, velocities) reads the current clock.
// Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/ui/touch.h"

namespace dk::platform {

class View;
class GestureRecognizer;

enum class GestureState { Possible, Began, Changed, Ended, Cancelled, Failed };
inline constexpr GestureState kGestureRecognized = GestureState::Ended;

// Optional questions a recogniser's delegate may answer (nullopt: not answered, the default).
class GestureRecognizerDelegate {
 public:
  virtual ~GestureRecognizerDelegate() = default;
  virtual std::optional<bool> gestureRecognizerShouldBegin(GestureRecognizer& recognizer) { return std::nullopt; }
  virtual std::optional<bool> shouldRecognizeSimultaneously(GestureRecognizer& recognizer, GestureRecognizer& other) {
    return std::nullopt;
  }
  virtual std::optional<bool> shouldReceiveTouch(GestureRecognizer& recognizer, const Touch& touch) {
    return std::nullopt;
  }
};

class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
 public:
  using Action = std::function<void(GestureRecognizer&)>;

  GestureRecognizer() = default;
  explicit GestureRecognizer(Action action);
  virtual ~GestureRecognizer();
  GestureRecognizer(const GestureRecognizer&) = delete;
  GestureRecognizer& operator=(const GestureRecognizer&) = delete;

  // Target-action: `owner` identifies the target for removeTarget (may be nullptr).
  void addTarget(const void* owner, Action action);
  // Binds a member function of a shared target, held weakly (a gone target is skipped).
  template <typename T>
  void addTarget(const std::shared_ptr<T>& target, void (T::*method)(GestureRecognizer&)) {
    std::weak_ptr<T> weak = target;
    addTarget(target.get(), [weak, method](GestureRecognizer& g) {
      if (auto t = weak.lock()) ((*t).*method)(g);
    });
  }
  void removeTarget(const void* owner);
  size_t numberOfTargets() const { return actions_.size(); }

  GestureState state() const { return state_; }
  bool isEnabled() const { return enabled_; }
  // Disabling a recogniser in the middle of a gesture cancels (or fails) it.
  void setEnabled(bool enabled);
  std::shared_ptr<View> view() const;
  void setDelegate(std::weak_ptr<GestureRecognizerDelegate> delegate) { delegate_ = std::move(delegate); }
  std::shared_ptr<GestureRecognizerDelegate> delegate() const { return delegate_.lock(); }

  bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
  void setCancelsTouchesInView(bool value) { cancelsTouchesInView_ = value; }

  // This recogniser waits for `other` to fail before it recognises, and fails if `other` wins.
  void requireGestureRecognizerToFail(const std::shared_ptr<GestureRecognizer>& other);

  // The centroid of the tracked touches in `view`'s coordinates (nullptr: the window's); the last
  // known place once the touches have ended.
  Point locationInView(const View* view) const;
  size_t numberOfTouches() const { return touches_.size(); }
  Point locationOfTouch(size_t index, const View* view) const;

  virtual bool isContinuous() const { return false; }
  // Built-in pairs that recognise together (a scroll view's pan and pinch).
  virtual bool recognizesSimultaneouslyByDefault(const GestureRecognizer& other) const { return false; }

  // ---- called by the window ----
  void attachToView(View* view);
  void deliverTouches(TouchPhase phase, const TouchList& touches, const Event& event);
  bool isInvolved() const { return involved_; }
  bool hasPendingState() const { return pending_.has_value(); }
  const std::vector<std::weak_ptr<GestureRecognizer>>& failureRequirements() const { return requiresToFail_; }
  // Moves a finished recogniser back to Possible once its touches are gone.
  void resetIfFinished();
  // Arbitration hooks.
  void forceFail();
  void commitPendingIfReady();
  bool allowsSimultaneousWith(GestureRecognizer& other);

 protected:
  virtual void touchesBegan(const TouchList& touches, const Event& event) {}
  virtual void touchesMoved(const TouchList& touches, const Event& event) {}
  virtual void touchesEnded(const TouchList& touches, const Event& event) {}
  virtual void touchesCancelled(const TouchList& touches, const Event& event);
  // Clears per-gesture state; subclasses call the base.
  virtual void reset();
  // The first finger of a sequence came down / the last one left, whatever the state.
  virtual void firstTouchBegan() {}
  virtual void allTouchesEnded() {}
  // Subclasses report progress here; arbitration may delay or refuse a transition.
  void setState(GestureState state);
  const TouchList& trackedTouches() const { return touches_; }
  // Touches tracked since the gesture began (including ended ones); used for "last location".
  Point lastCentroidInWindow() const { return lastCentroid_; }

 private:
  bool shouldBegin();
  void commit(GestureState state);
  void fireActions();
  void updateCentroid();

  struct Entry {
    const void* owner;
    Action action;
  };
  std::vector<Entry> actions_;
  View* view_ = nullptr;
  std::weak_ptr<GestureRecognizerDelegate> delegate_;
  std::vector<std::weak_ptr<GestureRecognizer>> requiresToFail_;
  TouchList touches_;
  Point lastCentroid_;
  GestureState state_ = GestureState::Possible;
  std::optional<GestureState> pending_;
  bool enabled_ = true;
  bool cancelsTouchesInView_ = true;
  bool involved_ = false;
};

class TapGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  int numberOfTapsRequired = 1;
  int numberOfTouchesRequired = 1;
  // Seconds allowed between taps, and how far a finger may wander (points).
  static constexpr double kMultiTapInterval = 0.35;
  static constexpr double kAllowableMovement = 10;

 protected:
  void touchesBegan(const TouchList& touches, const Event& event) override;
  void touchesMoved(const TouchList& touches, const Event& event) override;
  void touchesEnded(const TouchList& touches, const Event& event) override;
  void reset() override;

 private:
  void armTimeout();
  int tapsSeen_ = 0;
  Point start_;
  unsigned long generation_ = 0;
};

class PanGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  size_t minimumNumberOfTouches = 1;
  size_t maximumNumberOfTouches = 100;
  static constexpr double kHysteresis = 10;  // points of movement before a pan begins

  bool isContinuous() const override { return true; }
  // Movement since the pan began, in `view`'s coordinates (nullptr: the window's).
  Point translationInView(const View* view) const;
  void setTranslation(Point translation, const View* view);
  // Points per second in `view`'s coordinates.
  Point velocityInView(const View* view) const;

 protected:
  void touchesBegan(const TouchList& touches, const Event& event) override;
  void touchesMoved(const TouchList& touches, const Event& event) override;
  void touchesEnded(const TouchList& touches, const Event& event) override;
  void reset() override;
  // Subclasses (the scroll view's pan) may refuse to begin for a given movement.
  virtual bool canBeginWithMovement(Point deltaInWindow) { return true; }

 private:
  void sample(double time);
  // Window-space velocity over the last tenth of a second of samples.
  Point recentVelocity() const;
  Point start_;          // window coordinates, where the pan began
  Point translationBase_; // window-space offset set by setTranslation
  struct Sample {
    double time;
    Point location;
  };
  std::vector<Sample> samples_;
  Point lastVelocity_;
};

class PinchGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  bool isContinuous() const override { return true; }
  double scale() const { return scale_; }
  void setScale(double scale);
  // Scale change per second.
  double velocity() const { return velocity_; }
  static constexpr double kHysteresis = 8;  // points of span change before a pinch begins

 protected:
  void touchesBegan(const TouchList& touches, const Event& event) override;
  void touchesMoved(const TouchList& touches, const Event& event) override;
  void touchesEnded(const TouchList& touches, const Event& event) override;
  void reset() override;

 private:
  double span() const;
  double initialSpan_ = 0;
  double scaleBase_ = 1;  // set by setScale
  double spanAtBase_ = 0;
  double scale_ = 1;
  double velocity_ = 0;
  double lastTime_ = 0;
};

enum SwipeDirection : unsigned {
  kSwipeRight = 1 << 0,
  kSwipeLeft = 1 << 1,
  kSwipeUp = 1 << 2,
  kSwipeDown = 1 << 3,
};

class SwipeGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  unsigned direction = kSwipeRight;
  int numberOfTouchesRequired = 1;
  static constexpr double kMinimumDistance = 50;   // points along the direction
  static constexpr double kMaximumDuration = 0.5;  // seconds from touch down
  static constexpr double kMaximumDeviation = 0.5; // off-axis / on-axis movement

 protected:
  void touchesBegan(const TouchList& touches, const Event& event) override;
  void touchesMoved(const TouchList& touches, const Event& event) override;
  void touchesEnded(const TouchList& touches, const Event& event) override;
  void reset() override;

 private:
  void evaluate(bool ended);
  Point start_;
  double startTime_ = 0;
};

class LongPressGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  double minimumPressDuration = 0.5;
  double allowableMovement = 10;
  bool isContinuous() const override { return true; }

 protected:
  void touchesBegan(const TouchList& touches, const Event& event) override;
  void touchesMoved(const TouchList& touches, const Event& event) override;
  void touchesEnded(const TouchList& touches, const Event& event) override;
  void reset() override;

 private:
  Point start_;
  unsigned long generation_ = 0;
};

}  // namespace dk::platform

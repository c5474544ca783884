// View: one rectangle of the headless view tree (UIView), and Responder, its event-chain base.
//
// A view owns its subviews (in back-to-front order) and its backing Layer, which stores its
// geometry and look; the superview link is weak. Views are created with std::make_shared and
// may add subviews in their constructors. A view that is the root view of a ViewController
// answers that controller as its next responder; otherwise its superview.
// Geometry follows UIKit: frame in the superview's coordinates, bounds (whose origin is the
// scroll offset of scrolling views), centre and an affine transform about the centre; a rotated
// view's frame is its bounding box. Layout is lazy: setNeedsLayout() marks the view and, when it
// is in a window, schedules one layout pass on the main queue; layoutIfNeeded() runs it now.
// Constraint objects (layout_constraint.h) hold plain constants; a simple one-pass resolver
// places the subviews they pin during layoutSubviews() (no general solver).
// Animations (View::animate) apply their values at once and complete on the run-loop clock.
// Main thread only.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/content_mode.h"
#include "platform/graphics/geometry.h"
#include "platform/ui/layer.h"
#include "platform/ui/touch.h"

namespace dk::platform {

class GestureRecognizer;
class GraphicsContext;
class LayoutConstraint;
class ViewController;
class Window;

class Responder : public std::enable_shared_from_this<Responder> {
 public:
  virtual ~Responder() = default;
  virtual std::shared_ptr<Responder> nextResponder() const { return nullptr; }

  // Touch handling: the default passes the touches up the responder chain.
  virtual void touchesBegan(const TouchList& touches, const Event& event);
  virtual void touchesMoved(const TouchList& touches, const Event& event);
  virtual void touchesEnded(const TouchList& touches, const Event& event);
  virtual void touchesCancelled(const TouchList& touches, const Event& event);

  virtual bool canBecomeFirstResponder() const { return false; }
  // Overridable: a text field brings the keyboard up and sends it away.
  virtual bool becomeFirstResponder();
  virtual bool resignFirstResponder();
  bool isFirstResponder() const;
  static std::shared_ptr<Responder> currentFirstResponder();

  template <typename T>
  std::shared_ptr<T> sharedAs() {
    return std::dynamic_pointer_cast<T>(shared_from_this());
  }
  template <typename T>
  std::shared_ptr<const T> sharedAs() const {
    return std::dynamic_pointer_cast<const T>(shared_from_this());
  }
};


// UIViewAutoresizing.
enum AutoresizingMask : unsigned {
  kAutoresizingNone = 0,
  kAutoresizingFlexibleLeftMargin = 1 << 0,
  kAutoresizingFlexibleWidth = 1 << 1,
  kAutoresizingFlexibleRightMargin = 1 << 2,
  kAutoresizingFlexibleTopMargin = 1 << 3,
  kAutoresizingFlexibleHeight = 1 << 4,
  kAutoresizingFlexibleBottomMargin = 1 << 5,
};

// UIViewAnimationOptions (the bits the system uses).
enum AnimationOptions : unsigned {
  kAnimationLayoutSubviews = 1 << 0,
  kAnimationAllowUserInteraction = 1 << 1,
  kAnimationBeginFromCurrentState = 1 << 2,
  kAnimationRepeat = 1 << 3,
  kAnimationAutoreverse = 1 << 4,
  kAnimationOverrideInheritedDuration = 1 << 5,
  kAnimationShowHideTransitionViews = 1 << 8,
  kAnimationCurveEaseInOut = 0 << 16,
  kAnimationCurveEaseIn = 1 << 16,
  kAnimationCurveEaseOut = 2 << 16,
  kAnimationCurveLinear = 3 << 16,
  kAnimationTransitionNone = 0 << 20,
  kAnimationTransitionFlipFromLeft = 1 << 20,
  kAnimationTransitionFlipFromRight = 2 << 20,
  kAnimationTransitionCurlUp = 3 << 20,
  kAnimationTransitionCurlDown = 4 << 20,
  kAnimationTransitionCrossDissolve = 5 << 20,
  kAnimationTransitionFlipFromTop = 6 << 20,
  kAnimationTransitionFlipFromBottom = 7 << 20,
};

// Marks an absent intrinsic dimension (UIViewNoIntrinsicMetric).
inline constexpr double kNoIntrinsicMetric = -1;

class View : public Responder {
 public:
  View();
  explicit View(const Rect& frame);
  ~View() override;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // ---- geometry ----
  Rect frame() const;
  virtual void setFrame(const Rect& frame);
  Rect bounds() const;
  virtual void setBounds(const Rect& bounds);
  Point center() const;
  void setCenter(Point center);
  AffineTransform transform() const;
  void setTransform(const AffineTransform& transform);

  // ---- look ----
  double alpha() const;
  // Overridable: a subclass may give "alpha" another meaning (it then keeps its own opacity).
  virtual void setAlpha(double alpha);
  bool isHidden() const;
  virtual void setHidden(bool hidden);
  std::optional<Color> backgroundColor() const;
  virtual void setBackgroundColor(std::optional<Color> color);
  bool clipsToBounds() const;
  void setClipsToBounds(bool clips);
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque) { opaque_ = opaque; }
  // The tint inherited down the tree unless set (default: the platform's blue).
  Color tintColor() const;
  void setTintColor(std::optional<Color> color);
  virtual void tintColorDidChange() {}
  ContentMode contentMode() const { return contentMode_; }
  void setContentMode(ContentMode mode);

  Layer& layer() const { return *layer_; }
  const std::shared_ptr<Layer>& layerPtr() const { return layer_; }

  // ---- identity and interaction ----
  long tag() const { return tag_; }
  void setTag(long tag) { tag_ = tag; }
  // This view when its tag matches, else the first match depth-first among its subviews.
  std::shared_ptr<View> viewWithTag(long tag);
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
  const std::string& accessibilityIdentifier() const { return accessibilityIdentifier_; }
  void setAccessibilityIdentifier(std::string id) { accessibilityIdentifier_ = std::move(id); }
  bool isAccessibilityElement() const { return accessibilityElement_; }
  void setIsAccessibilityElement(bool element) { accessibilityElement_ = element; }
  const std::string& accessibilityLabel() const { return accessibilityLabel_; }
  void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }
  // Values attached to this view for its lifetime (associated objects); nullptr when unset.
  void setAssociatedValue(const std::string& key, std::any value);
  const std::any* associatedValue(const std::string& key) const;
  // The first view in this subtree (depth-first, this view included) with the identifier.
  std::shared_ptr<View> viewWithAccessibilityIdentifier(const std::string& id);

  // ---- hierarchy ----
  std::shared_ptr<View> superview() const;
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  void addSubview(const std::shared_ptr<View>& view);
  void insertSubview(const std::shared_ptr<View>& view, size_t index);
  void insertSubviewAbove(const std::shared_ptr<View>& view, const View* sibling);
  void insertSubviewBelow(const std::shared_ptr<View>& view, const View* sibling);
  void removeFromSuperview();
  void bringSubviewToFront(const View* view);
  void sendSubviewToBack(const View* view);
  bool isDescendantOf(const View* view) const;
  // The window this view is shown in, or nullptr.
  std::shared_ptr<Window> window() const;
  virtual void willMoveToSuperview(View* newSuperview) {}
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(Window* newWindow) {}
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(View* subview) {}
  virtual void willRemoveSubview(View* subview) {}

  // ---- responder chain ----
  std::shared_ptr<Responder> nextResponder() const override;
  // The controller whose root view this is, or nullptr.
  std::shared_ptr<ViewController> viewController() const;
  // The first controller up the responder chain (the screen this view belongs to).
  std::shared_ptr<ViewController> owningViewController() const;
  // Resigns the first responder in this subtree (the keyboard goes away). True when none is left.
  virtual bool endEditing(bool force);

  // ---- coordinates (nullptr: the window's, or the root view's when not in a window) ----
  Point convertPointTo(Point point, const View* to) const;
  Point convertPointFrom(Point point, const View* from) const;
  Rect convertRectTo(const Rect& rect, const View* to) const;
  Rect convertRectFrom(const Rect& rect, const View* from) const;

  // ---- hit testing ----
  // The deepest visible, interactive descendant (or this view) containing `point` (in this
  // view's coordinates). `event` is nullptr for programmatic hit tests.
  virtual std::shared_ptr<View> hitTest(Point point, const Event* event);
  virtual bool pointInside(Point point, const Event* event) const;

  // ---- layout ----
  void setNeedsLayout();
  bool needsLayout() const { return needsLayout_; }
  void layoutIfNeeded();
  // Places the subviews: the base applies the layout constraints that pin them.
  virtual void layoutSubviews();
  virtual Size intrinsicContentSize() const { return {kNoIntrinsicMetric, kNoIntrinsicMetric}; }
  void invalidateIntrinsicContentSize();
  virtual Size sizeThatFits(Size size) const;
  void sizeToFit();
  unsigned autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool value) { autoresizesSubviews_ = value; }
  bool translatesAutoresizingMaskIntoConstraints() const { return translatesAutoresizing_; }
  void setTranslatesAutoresizingMaskIntoConstraints(bool value) { translatesAutoresizing_ = value; }

  // ---- constraints (held by this view; see layout_constraint.h) ----
  void addConstraint(const std::shared_ptr<LayoutConstraint>& constraint);
  void addConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
  void removeConstraint(const LayoutConstraint* constraint);
  const std::vector<std::shared_ptr<LayoutConstraint>>& constraints() const { return constraints_; }
  // Active constraints anywhere that name this view (for the resolver).
  std::vector<std::shared_ptr<LayoutConstraint>> constraintsAffecting() const;

  // ---- drawing ----
  void setNeedsDisplay();
  bool needsDisplay() const { return needsDisplay_; }
  // Draws the view's own content into `context` (in bounds coordinates). Called by the renderer
  // after the layer's background and before sublayers and subviews. The base draws nothing.
  virtual void draw(GraphicsContext& context, const Rect& rect);

  // ---- gestures ----
  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const GestureRecognizer* recognizer);
  const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return recognizers_; }
  // Asked before a recogniser that receives this view's touches begins (UIKit's
  // gestureRecognizerShouldBegin:). Controls refuse single taps of their ancestors.
  virtual bool gestureRecognizerShouldBegin(const GestureRecognizer& recognizer) const { return true; }

  // ---- animations (animation.cpp) ----
  // Runs `animations` now; its changes to frame, bounds, centre, transform, alpha and background
  // become animations of `duration` seconds after `delay`. `completion` runs on the main queue
  // when they end (finished) or are removed (not finished), after delay + duration at the latest.
  static void animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                      std::function<void(bool finished)> completion = nullptr);
  static void animate(double duration, const std::function<void()>& animations,
                      std::function<void(bool finished)> completion = nullptr);
  static void animateWithSpring(double duration, double delay, double damping, double initialVelocity,
                                unsigned options, const std::function<void()>& animations,
                                std::function<void(bool finished)> completion = nullptr);
  // A transition of one view's content (flip, cross-dissolve, ...).
  static void transition(const std::shared_ptr<View>& view, double duration, unsigned options,
                         const std::function<void()>& animations,
                         std::function<void(bool finished)> completion = nullptr);
  // Replaces `from` by `to` in from's superview (or hides/shows them with
  // kAnimationShowHideTransitionViews).
  static void transition(const std::shared_ptr<View>& from, const std::shared_ptr<View>& to, double duration,
                         unsigned options, std::function<void(bool finished)> completion = nullptr);
  static void performWithoutAnimation(const std::function<void()>& actions);
  static bool areAnimationsEnabled();
  static void setAnimationsEnabled(bool enabled);
  // The duration of the animation block being run, or 0 outside one.
  static double inheritedAnimationDuration();
  // True while a view animation of this view runs that does not allow user interaction.
  bool isInteractionBlockedByAnimation() const { return interactionBlockers_ > 0; }

  // ---- internal (layer and window callbacks) ----
  void layerBoundsChanged(const Rect& oldBounds);
  void layerPositionChanged();
  void setViewController(ViewController* controller) { viewController_ = controller; }
  void layoutSubtreeIfNeeded();
  void adjustInteractionBlockers(int delta) { interactionBlockers_ += delta; }
  void noteAnimatedProperty(const char* key);

 private:
  friend class Window;
  friend class LayoutConstraint;
  void moveToWindowBegin(Window* oldWindow, Window* newWindow);
  void moveToWindowEnd(Window* oldWindow, Window* newWindow);
  void autoresizeSubviews(Size oldSize);
  void applyConstraintsToSubviews();

  std::shared_ptr<Layer> layer_;
  std::vector<std::shared_ptr<View>> subviews_;
  View* superview_ = nullptr;                // cleared by the superview's destructor
  ViewController* viewController_ = nullptr; // cleared by the controller's destructor
  std::vector<std::shared_ptr<LayoutConstraint>> constraints_;
  std::vector<std::weak_ptr<LayoutConstraint>> referencing_;  // active constraints naming this view
  std::vector<std::shared_ptr<GestureRecognizer>> recognizers_;
  std::map<std::string, std::any> associated_;
  std::optional<Color> tintColor_;
  ContentMode contentMode_ = ContentMode::ScaleToFill;
  long tag_ = 0;
  std::string accessibilityIdentifier_;
  std::string accessibilityLabel_;
  unsigned autoresizingMask_ = kAutoresizingNone;
  int interactionBlockers_ = 0;
  bool userInteractionEnabled_ = true;
  bool accessibilityElement_ = false;
  bool opaque_ = true;
  bool needsLayout_ = true;
  bool needsDisplay_ = true;
  bool autoresizesSubviews_ = true;
  bool translatesAutoresizing_ = true;
  bool inLayout_ = false;
};

// Shorthand: a new view of type T (default View) with a frame.
template <typename T = View, typename... Args>
std::shared_ptr<T> makeView(Args&&... args) {
  return std::make_shared<T>(std::forward<Args>(args)...);
}

}  // namespace dk::platform

// ViewController: one screen (UIViewController) with its lazily loaded view, life cycle,
// modal presentation and child containment.
//
// The view is made on first use of view(): loadView() (by default a plain view the size of the
// screen, or the nib registered under nibName()) then viewDidLoad(). Appearance callbacks follow
// the platform's order: presenting full screen, the presenter gets viewWillDisappear, the
// presented viewWillAppear, and after the transition the presenter viewDidDisappear and the
// presented viewDidAppear (dismissal mirrors it); other styles (over-full-screen, over the
// current context, page and form sheets, popovers, alerts) leave the presenter on screen and
// silent. Transitions take their time on the run-loop clock (a custom animator decides when it
// ends through the transition context). Children added with addChildViewController get their
// appearance forwarded while their views sit in the parent's view.
// A controller is held by its owner (the window, a presenter, a parent) through shared_ptr;
// presentingViewController and parentViewController are weak. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/ui/view.h"

namespace dk::platform {

class NavigationController;
class TabBarController;
class Storyboard;
class ViewController;
class Window;

// UIInterfaceOrientation values.
enum class InterfaceOrientation { Unknown = 0, Portrait = 1, PortraitUpsideDown = 2, LandscapeLeft = 4, LandscapeRight = 3 };
// UIInterfaceOrientationMask bits.
enum InterfaceOrientationMask : unsigned {
  kOrientationMaskPortrait = 1 << 1,
  kOrientationMaskPortraitUpsideDown = 1 << 2,
  kOrientationMaskLandscapeRight = 1 << 3,
  kOrientationMaskLandscapeLeft = 1 << 4,
  kOrientationMaskLandscape = (1 << 3) | (1 << 4),
  kOrientationMaskAll = (1 << 1) | (1 << 2) | (1 << 3) | (1 << 4),
  kOrientationMaskAllButUpsideDown = (1 << 1) | (1 << 3) | (1 << 4),
};
unsigned maskForOrientation(InterfaceOrientation orientation);
bool isLandscape(InterfaceOrientation orientation);

enum class ModalPresentationStyle {
  Automatic = -2,
  None = -1,
  FullScreen = 0,
  PageSheet = 1,
  FormSheet = 2,
  CurrentContext = 3,
  Custom = 4,
  OverFullScreen = 5,
  OverCurrentContext = 6,
  Popover = 7,
};
// Whether the presenter's view leaves the screen under this style.
bool removesPresenterView(ModalPresentationStyle style);

enum class StatusBarStyle { Default = 0, LightContent = 1, DarkContent = 3 };
enum class StatusBarAnimation { None = 0, Fade = 1, Slide = 2 };

// UITraitCollection, as far as screens read it.
struct TraitCollection {
  enum class ForceTouch { Unknown = 0, Unavailable = 1, Available = 2 };
  ForceTouch forceTouchCapability = ForceTouch::Unavailable;
  double displayScale = 2;
  int userInterfaceIdiom = 0;  // 0 phone, 1 pad
  friend bool operator==(const TraitCollection&, const TraitCollection&) = default;
};

// Given to viewWillTransitionToSize: runs work along the rotation and after it.
class TransitionCoordinator {
 public:
  explicit TransitionCoordinator(double duration) : duration_(duration) {}
  double transitionDuration() const { return duration_; }
  // `alongside` runs now (its changes are the rotation's animation); `completion` once it ended.
  void animateAlongsideTransition(const std::function<void()>& alongside, std::function<void()> completion);

 private:
  double duration_;
};

// ---- custom presentation transitions (UIViewControllerTransitioningDelegate & co.) ----

class TransitionContext {
 public:
  virtual ~TransitionContext() = default;
  // The view the transition happens in (above the presenter).
  virtual std::shared_ptr<View> containerView() const = 0;
  virtual std::shared_ptr<ViewController> fromViewController() const = 0;
  virtual std::shared_ptr<ViewController> toViewController() const = 0;
  std::shared_ptr<View> fromView() const;
  std::shared_ptr<View> toView() const;
  virtual Rect finalFrameForViewController(const ViewController& controller) const = 0;
  virtual bool isAnimated() const = 0;
  virtual bool transitionWasCancelled() const = 0;
  // The animator calls this once its animation is over.
  virtual void completeTransition(bool didComplete) = 0;
};

class AnimatedTransitioning {
 public:
  virtual ~AnimatedTransitioning() = default;
  virtual double transitionDuration(TransitionContext* context) = 0;
  virtual void animateTransition(const std::shared_ptr<TransitionContext>& context) = 0;
};

class TransitioningDelegate {
 public:
  virtual ~TransitioningDelegate() = default;
  // nullptr: the platform's default animation.
  virtual std::shared_ptr<AnimatedTransitioning> animationControllerForPresented(
      const std::shared_ptr<ViewController>& presented, const std::shared_ptr<ViewController>& presenting,
      const std::shared_ptr<ViewController>& source) {
    return nullptr;
  }
  virtual std::shared_ptr<AnimatedTransitioning> animationControllerForDismissed(
      const std::shared_ptr<ViewController>& dismissed) {
    return nullptr;
  }
};

// Where a popover (or an action sheet on a large screen) points.
struct PopoverPresentationController {
  std::weak_ptr<View> sourceView;
  Rect sourceRect;
  unsigned permittedArrowDirections = 15;
};

// Force-touch previewing (peek and pop).
class PreviewingDelegate;
struct PreviewingContext {
  std::weak_ptr<PreviewingDelegate> delegate;
  std::weak_ptr<View> sourceView;
  Rect sourceRect;
};
class PreviewingDelegate {
 public:
  virtual ~PreviewingDelegate() = default;
  virtual std::shared_ptr<ViewController> previewingViewControllerForLocation(PreviewingContext& context,
                                                                              Point location) = 0;
  virtual void previewingCommitViewController(PreviewingContext& context,
                                              const std::shared_ptr<ViewController>& controller) = 0;
};

struct NavigationItem {
  std::string title;
  bool hidesBackButton = false;
};

class ViewController : public Responder {
 public:
  ViewController();
  // A controller whose view comes from the nib registered under `nibName`.
  explicit ViewController(std::string nibName);
  ~ViewController() override;

  // ---- the view ----
  std::shared_ptr<View> view();
  std::shared_ptr<View> viewIfLoaded() const { return view_; }
  bool isViewLoaded() const { return view_ != nullptr; }
  void loadViewIfNeeded() { view(); }
  void setView(std::shared_ptr<View> view);
  const std::string& nibName() const { return nibName_; }
  std::shared_ptr<Storyboard> storyboard() const { return storyboard_.lock(); }
  void setStoryboard(std::weak_ptr<Storyboard> storyboard) { storyboard_ = std::move(storyboard); }
  // The identifier of the storyboard scene this controller was made from.
  const std::string& sceneIdentifier() const { return sceneIdentifier_; }
  void setSceneIdentifier(std::string id) { sceneIdentifier_ = std::move(id); }

  // ---- life cycle (override; call the base) ----
  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool animated) {}
  virtual void viewDidAppear(bool animated) {}
  virtual void viewWillDisappear(bool animated) {}
  virtual void viewDidDisappear(bool animated) {}
  virtual void viewWillLayoutSubviews() {}
  virtual void viewDidLayoutSubviews() {}
  virtual void viewWillTransitionToSize(Size size, TransitionCoordinator& coordinator);
  virtual void traitCollectionDidChange(const TraitCollection* previous) {}
  TraitCollection traitCollection() const;
  // The environment's traits changed from `previous`: tells this controller (once it has seen
  // its first traits) and then its children.
  void traitEnvironmentDidChange(const TraitCollection& previous);

  enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
  Appearance appearance() const { return appearance_; }
  // Manual appearance forwarding (containers call these for their children).
  void beginAppearanceTransition(bool appearing, bool animated);
  void endAppearanceTransition();
  virtual bool shouldAutomaticallyForwardAppearanceMethods() const { return true; }

  // ---- screen-level preferences ----
  virtual bool prefersStatusBarHidden() const { return false; }
  virtual StatusBarStyle preferredStatusBarStyle() const { return StatusBarStyle::Default; }
  virtual StatusBarAnimation preferredStatusBarUpdateAnimation() const { return StatusBarAnimation::Fade; }
  virtual bool prefersHomeIndicatorAutoHidden() const { return false; }
  void setNeedsStatusBarAppearanceUpdate();
  virtual unsigned supportedInterfaceOrientations() const { return kOrientationMaskAllButUpsideDown; }
  virtual bool shouldAutorotate() const { return true; }
  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  NavigationItem& navigationItem() { return navigationItem_; }
  Size preferredContentSize() const { return preferredContentSize_; }
  void setPreferredContentSize(Size size) { preferredContentSize_ = size; }

  // ---- modal presentation ----
  // Presents `controller` over this controller's screen (the root of its container tree).
  // Ignored, with a log line, while that screen already presents something or is mid-transition.
  virtual void presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                                     std::function<void()> completion = nullptr);
  // Dismisses what this controller presents, or this controller when it is presented.
  virtual void dismissViewController(bool animated, std::function<void()> completion = nullptr);
  std::shared_ptr<ViewController> presentingViewController() const;
  std::shared_ptr<ViewController> presentedViewController() const;
  bool isBeingPresented() const { return beingPresented_; }
  bool isBeingDismissed() const { return beingDismissed_; }
  ModalPresentationStyle modalPresentationStyle() const { return modalPresentationStyle_; }
  void setModalPresentationStyle(ModalPresentationStyle style) { modalPresentationStyle_ = style; }
  // The style a presentation actually uses (Automatic resolves to a page sheet).
  ModalPresentationStyle effectivePresentationStyle() const;
  std::shared_ptr<TransitioningDelegate> transitioningDelegate() const { return transitioningDelegate_.lock(); }
  void setTransitioningDelegate(std::weak_ptr<TransitioningDelegate> delegate) {
    transitioningDelegate_ = std::move(delegate);
  }
  PopoverPresentationController& popoverPresentationController() { return popover_; }
  // Where the presented view goes inside the window (nullopt: as its presentation style says),
  // and the colour laid under it (alerts dim the screen).
  virtual std::optional<Rect> frameForPresentation(const Rect& windowBounds) { return std::nullopt; }
  virtual std::optional<Color> presentationDimmingColor() const { return std::nullopt; }

  // ---- containment ----
  void addChildViewController(const std::shared_ptr<ViewController>& child);
  void removeFromParentViewController();
  virtual void willMoveToParentViewController(ViewController* parent) {}
  virtual void didMoveToParentViewController(ViewController* parent) {}
  std::shared_ptr<ViewController> parentViewController() const { return parent_.lock(); }
  const std::vector<std::shared_ptr<ViewController>>& childViewControllers() const { return children_; }
  std::shared_ptr<NavigationController> navigationController() const;
  std::shared_ptr<TabBarController> tabBarController() const;

  // ---- segues and previewing ----
  // Performs the storyboard segue registered for this scene under `identifier`.
  virtual void performSegue(const std::string& identifier, const std::shared_ptr<void>& sender);
  virtual void prepareForSegue(const std::string& identifier, const std::shared_ptr<ViewController>& destination,
                               const std::shared_ptr<void>& sender) {}
  std::shared_ptr<PreviewingContext> registerForPreviewing(std::weak_ptr<PreviewingDelegate> delegate,
                                                           const std::shared_ptr<View>& sourceView);
  void unregisterForPreviewing(const std::shared_ptr<PreviewingContext>& context);
  const std::vector<std::shared_ptr<PreviewingContext>>& previewingContexts() const { return previewing_; }

  std::shared_ptr<Responder> nextResponder() const override;

  // ---- internal ----
  void rootViewWillMoveToWindow(Window* oldWindow, Window* newWindow);
  void rootViewDidMoveToWindow(Window* oldWindow, Window* newWindow);
  // The root of this controller's container tree (itself when it has no parent).
  std::shared_ptr<ViewController> rootAncestor();
  bool isInTransition() const { return transitioning_; }
  // While held (counted), moving the view in or out of a window does not drive appearance:
  // a container or presentation calls begin/endAppearanceTransition itself.
  void holdAppearance(bool hold) { managedAppearance_ += hold ? 1 : -1; }

 private:
  friend class PresentationTransition;
  void forwardAppearanceToChildren(bool begin, bool appearing, bool animated);

  std::shared_ptr<View> view_;
  std::string nibName_;
  std::weak_ptr<Storyboard> storyboard_;
  std::string sceneIdentifier_;
  std::string title_;
  NavigationItem navigationItem_;
  Size preferredContentSize_;
  Appearance appearance_ = Appearance::Disappeared;
  bool lastAppearanceAnimated_ = false;
  int managedAppearance_ = 0;  // presentations driving this controller's appearance (as presented or covered)
  bool beingPresented_ = false;
  bool beingDismissed_ = false;
  bool transitioning_ = false;
  bool sawTraits_ = false;
  ModalPresentationStyle modalPresentationStyle_ = ModalPresentationStyle::Automatic;
  std::weak_ptr<TransitioningDelegate> transitioningDelegate_;
  PopoverPresentationController popover_;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
  std::shared_ptr<View> presentationContainer_;  // holds the presented view while presented
  // Where this controller's view was before a full-screen presentation over it took it away.
  std::weak_ptr<View> coveredViewParent_;
  size_t coveredViewIndex_ = 0;
  std::weak_ptr<ViewController> parent_;
  std::vector<std::shared_ptr<ViewController>> children_;
  std::vector<std::shared_ptr<PreviewingContext>> previewing_;
};

}  // namespace dk::platform

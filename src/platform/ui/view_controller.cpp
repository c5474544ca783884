#include "platform/ui/view_controller.h"

#include <algorithm>
#include <cstdio>

#include "platform/dispatch/queue.h"
#include "platform/ui/application.h"
#include "platform/ui/device.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/storyboard.h"
#include "platform/ui/window.h"

namespace dk::platform {

unsigned maskForOrientation(InterfaceOrientation orientation) {
  switch (orientation) {
    case InterfaceOrientation::Portrait: return kOrientationMaskPortrait;
    case InterfaceOrientation::PortraitUpsideDown: return kOrientationMaskPortraitUpsideDown;
    case InterfaceOrientation::LandscapeLeft: return kOrientationMaskLandscapeLeft;
    case InterfaceOrientation::LandscapeRight: return kOrientationMaskLandscapeRight;
    default: return 0;
  }
}

bool isLandscape(InterfaceOrientation orientation) {
  return orientation == InterfaceOrientation::LandscapeLeft || orientation == InterfaceOrientation::LandscapeRight;
}

bool removesPresenterView(ModalPresentationStyle style) {
  return style == ModalPresentationStyle::FullScreen || style == ModalPresentationStyle::CurrentContext;
}

void TransitionCoordinator::animateAlongsideTransition(const std::function<void()>& alongside,
                                                       std::function<void()> completion) {
  View::animate(duration_, alongside, [completion](bool) {
    if (completion) completion();
  });
}

std::shared_ptr<View> TransitionContext::fromView() const {
  auto c = fromViewController();
  return c ? c->viewIfLoaded() : nullptr;
}

std::shared_ptr<View> TransitionContext::toView() const {
  auto c = toViewController();
  return c ? c->view() : nullptr;
}

ViewController::ViewController() = default;

ViewController::ViewController(std::string nibName) : nibName_(std::move(nibName)) {}

ViewController::~ViewController() {
  if (view_) view_->setViewController(nullptr);
  for (auto& child : children_) child->parent_.reset();
}

// ---- the view ----

std::shared_ptr<View> ViewController::view() {
  DK_ASSERT_MAIN_THREAD();
  if (!view_) {
    loadView();
    if (!view_) setView(std::make_shared<View>(Screen::main().bounds()));
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(std::shared_ptr<View> view) {
  if (view_ == view) return;
  if (view_) view_->setViewController(nullptr);
  view_ = std::move(view);
  if (view_) view_->setViewController(this);
}

void ViewController::loadView() {
  if (!nibName_.empty()) {
    auto objects = Nib::load(nibName_, shared_from_this());
    if (!objects.empty()) {
      setView(objects.front());
      return;
    }
  }
  setView(std::make_shared<View>(Screen::main().bounds()));
}

void ViewController::viewWillTransitionToSize(Size size, TransitionCoordinator& coordinator) {
  auto children = children_;
  for (auto& child : children) child->viewWillTransitionToSize(size, coordinator);
}

TraitCollection ViewController::traitCollection() const {
  TraitCollection traits;
  traits.forceTouchCapability = Device::current().isForceTouchAvailable() ? TraitCollection::ForceTouch::Available
                                                                          : TraitCollection::ForceTouch::Unavailable;
  traits.displayScale = Screen::main().scale();
  traits.userInterfaceIdiom = static_cast<int>(Device::current().userInterfaceIdiom());
  return traits;
}

void ViewController::traitEnvironmentDidChange(const TraitCollection& previous) {
  auto keep = shared_from_this();
  if (sawTraits_ && traitCollection() != previous) traitCollectionDidChange(&previous);
  auto children = children_;
  for (auto& child : children) child->traitEnvironmentDidChange(previous);
}

// ---- appearance ----

void ViewController::beginAppearanceTransition(bool appearing, bool animated) {
  DK_ASSERT_MAIN_THREAD();
  if (appearing && (appearance_ == Appearance::Appearing || appearance_ == Appearance::Appeared)) return;
  if (!appearing && (appearance_ == Appearance::Disappearing || appearance_ == Appearance::Disappeared)) return;
  auto keep = shared_from_this();
  appearance_ = appearing ? Appearance::Appearing : Appearance::Disappearing;
  lastAppearanceAnimated_ = animated;
  if (appearing) {
    loadViewIfNeeded();
    if (!sawTraits_) {
      sawTraits_ = true;
      traitCollectionDidChange(nullptr);
    }
    viewWillAppear(animated);
  } else {
    viewWillDisappear(animated);
  }
  forwardAppearanceToChildren(true, appearing, animated);
}

void ViewController::endAppearanceTransition() {
  auto keep = shared_from_this();
  if (appearance_ == Appearance::Appearing) {
    appearance_ = Appearance::Appeared;
    if (view_) view_->layoutIfNeeded();
    viewDidAppear(lastAppearanceAnimated_);
    forwardAppearanceToChildren(false, true, lastAppearanceAnimated_);
  } else if (appearance_ == Appearance::Disappearing) {
    appearance_ = Appearance::Disappeared;
    viewDidDisappear(lastAppearanceAnimated_);
    forwardAppearanceToChildren(false, false, lastAppearanceAnimated_);
  }
}

void ViewController::forwardAppearanceToChildren(bool begin, bool appearing, bool animated) {
  if (!shouldAutomaticallyForwardAppearanceMethods() || !view_) return;
  auto children = children_;
  for (auto& child : children) {
    if (!child->view_ || !child->view_->isDescendantOf(view_.get())) continue;
    if (begin) {
      child->beginAppearanceTransition(appearing, animated);
    } else {
      // A child added while this controller was on its way has not begun: it goes both steps now.
      const auto resting = appearing ? Appearance::Disappeared : Appearance::Appeared;
      if (child->appearance_ == resting) child->beginAppearanceTransition(appearing, animated);
      child->endAppearanceTransition();
    }
  }
}

void ViewController::rootViewWillMoveToWindow(Window*, Window*) {}

void ViewController::rootViewDidMoveToWindow(Window* oldWindow, Window* newWindow) {
  if (managedAppearance_ > 0) return;
  if (auto parent = parent_.lock(); parent && parent->appearance_ != Appearance::Appeared) return;
  auto keep = shared_from_this();
  if (!oldWindow && newWindow) {
    beginAppearanceTransition(true, false);
    endAppearanceTransition();
  } else if (oldWindow && !newWindow) {
    beginAppearanceTransition(false, false);
    endAppearanceTransition();
  }
}

// ---- preferences ----

void ViewController::setNeedsStatusBarAppearanceUpdate() { Application::shared().updateStatusBarAppearance(); }

ModalPresentationStyle ViewController::effectivePresentationStyle() const {
  if (modalPresentationStyle_ == ModalPresentationStyle::Automatic) return ModalPresentationStyle::PageSheet;
  if (modalPresentationStyle_ == ModalPresentationStyle::None) return ModalPresentationStyle::FullScreen;
  return modalPresentationStyle_;
}

std::shared_ptr<ViewController> ViewController::presentingViewController() const {
  // A child answers for its container, as the platform's controllers do.
  for (auto c = std::static_pointer_cast<const ViewController>(shared_from_this()); c; c = c->parent_.lock()) {
    if (auto p = c->presenting_.lock()) return p;
  }
  return nullptr;
}

std::shared_ptr<ViewController> ViewController::presentedViewController() const {
  for (auto c = std::static_pointer_cast<const ViewController>(shared_from_this()); c; c = c->parent_.lock()) {
    if (c->presented_) return c->presented_;
  }
  return nullptr;
}

std::shared_ptr<ViewController> ViewController::rootAncestor() {
  auto c = std::static_pointer_cast<ViewController>(shared_from_this());
  while (auto p = c->parent_.lock()) c = p;
  return c;
}

// ---- containment ----

void ViewController::addChildViewController(const std::shared_ptr<ViewController>& child) {
  DK_ASSERT_MAIN_THREAD();
  if (!child || child.get() == this) return;
  if (child->parent_.lock().get() == this) return;
  if (child->parent_.lock()) child->removeFromParentViewController();
  child->willMoveToParentViewController(this);
  children_.push_back(child);
  child->parent_ = std::static_pointer_cast<ViewController>(shared_from_this());
}

void ViewController::removeFromParentViewController() {
  auto parent = parent_.lock();
  if (!parent) return;
  auto keep = shared_from_this();
  auto& list = parent->children_;
  list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& c) { return c.get() == this; }), list.end());
  parent_.reset();
  didMoveToParentViewController(nullptr);
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
  for (auto p = parent_.lock(); p; p = p->parent_.lock()) {
    if (auto nav = std::dynamic_pointer_cast<NavigationController>(p)) return nav;
  }
  return nullptr;
}

std::shared_ptr<TabBarController> ViewController::tabBarController() const {
  for (auto p = parent_.lock(); p; p = p->parent_.lock()) {
    if (auto tab = std::dynamic_pointer_cast<TabBarController>(p)) return tab;
  }
  return nullptr;
}

// ---- segues and previewing ----

void ViewController::performSegue(const std::string& identifier, const std::shared_ptr<void>& sender) {
  auto board = storyboard();
  Storyboard::Segue segue;
  if (!board || !board->segue(sceneIdentifier_, identifier, &segue)) {
    std::fprintf(stderr, "Receiver (%s) has no segue with identifier '%s'\n", sceneIdentifier_.c_str(),
                 identifier.c_str());
    return;
  }
  auto destination = board->instantiate(segue.toScene);
  if (!destination) return;
  prepareForSegue(identifier, destination, sender);
  if (segue.kind == Storyboard::SegueKind::Push) {
    if (auto nav = navigationController()) {
      nav->pushViewController(destination, true);
      return;
    }
  }
  presentViewController(destination, true);
}

std::shared_ptr<PreviewingContext> ViewController::registerForPreviewing(std::weak_ptr<PreviewingDelegate> delegate,
                                                                         const std::shared_ptr<View>& sourceView) {
  auto context = std::make_shared<PreviewingContext>();
  context->delegate = std::move(delegate);
  context->sourceView = sourceView;
  if (sourceView) context->sourceRect = sourceView->bounds();
  previewing_.push_back(context);
  return context;
}

void ViewController::unregisterForPreviewing(const std::shared_ptr<PreviewingContext>& context) {
  previewing_.erase(std::remove(previewing_.begin(), previewing_.end(), context), previewing_.end());
}

std::shared_ptr<Responder> ViewController::nextResponder() const {
  if (view_) {
    if (auto s = view_->superview()) return s;
  }
  if (auto p = parent_.lock()) return p;
  return presenting_.lock();
}

}  // namespace dk::platform

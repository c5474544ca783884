// Modal presentation and dismissal of view controllers.
#include <algorithm>
#include <cstdio>

#include "platform/dispatch/queue.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace dk::platform {
namespace {

constexpr double kDefaultTransitionDuration = 0.35;

std::string describe(const ViewController& c) {
  return c.sceneIdentifier().empty() ? std::string("<controller>") : c.sceneIdentifier();
}

Rect frameForStyle(ModalPresentationStyle style, const Rect& windowBounds, ViewController& presented) {
  if (auto custom = presented.frameForPresentation(windowBounds)) return *custom;
  switch (style) {
    case ModalPresentationStyle::PageSheet:
    case ModalPresentationStyle::FormSheet:
      // A sheet leaves the top of the presenter visible.
      return Rect(0, 40, windowBounds.width(), std::max(0.0, windowBounds.height() - 40));
    case ModalPresentationStyle::Popover: {
      Size size = presented.preferredContentSize();
      if (size.width <= 0 || size.height <= 0) size = {320, 400};
      size.width = std::min(size.width, windowBounds.width());
      size.height = std::min(size.height, windowBounds.height());
      Rect anchor(windowBounds.midX(), windowBounds.midY(), 0, 0);
      auto& popover = presented.popoverPresentationController();
      if (auto source = popover.sourceView.lock()) anchor = source->convertRectTo(popover.sourceRect, nullptr);
      double x = std::clamp(anchor.midX() - size.width / 2, 0.0, windowBounds.width() - size.width);
      double y = anchor.maxY() + size.height <= windowBounds.height() ? anchor.maxY() : anchor.minY() - size.height;
      y = std::clamp(y, 0.0, windowBounds.height() - size.height);
      return Rect(x, y, size.width, size.height);
    }
    default: return windowBounds;
  }
}

}  // namespace

// One presentation or dismissal in flight; the transition context handed to custom animators.
class PresentationTransition : public TransitionContext, public std::enable_shared_from_this<PresentationTransition> {
 public:
  bool presenting = true;
  bool animated = false;
  bool fullScreen = false;
  bool finished = false;
  bool cancelled = false;
  std::shared_ptr<ViewController> presenter;  // the root of the presenting container tree
  std::shared_ptr<ViewController> presented;
  std::shared_ptr<View> container;
  std::shared_ptr<Window> window;
  Rect finalFrame;
  std::function<void()> completion;

  std::shared_ptr<View> containerView() const override { return container; }
  std::shared_ptr<ViewController> fromViewController() const override { return presenting ? presenter : presented; }
  std::shared_ptr<ViewController> toViewController() const override { return presenting ? presented : presenter; }
  Rect finalFrameForViewController(const ViewController& controller) const override {
    if (&controller == presented.get()) return presenting ? finalFrame : presented->view()->frame();
    if (&controller == presenter.get() && window) return window->bounds();
    return Rect();
  }
  bool isAnimated() const override { return animated; }
  bool transitionWasCancelled() const override { return cancelled; }
  void completeTransition(bool didComplete) override {
    if (finished) return;
    finished = true;
    cancelled = !didComplete;
    auto keep = shared_from_this();
    if (presenting) {
      finishPresenting();
    } else {
      finishDismissing();
    }
  }

  void finishPresenting() {
    auto view = presented->view();
    if (cancelled) {
      container->removeFromSuperview();
      presenter->presented_.reset();
      presented->presenting_.reset();
      presented->presentationContainer_.reset();
      presented->beginAppearanceTransition(false, false);
      presented->endAppearanceTransition();
      --presented->managedAppearance_;
      if (fullScreen) {
        presenter->beginAppearanceTransition(true, false);
        presenter->endAppearanceTransition();
        --presenter->managedAppearance_;
      }
      presented->beingPresented_ = presented->transitioning_ = presenter->transitioning_ = false;
      return;
    }
    // An animator that forgot the presented view leaves it out of the tree: put it in place.
    if (!view->isDescendantOf(container.get())) {
      view->setFrame(finalFrame);
      container->addSubview(view);
    }
    if (fullScreen && presenter->isViewLoaded()) {
      auto presenterView = presenter->viewIfLoaded();
      if (auto parent = presenterView->superview()) {
        const auto& siblings = parent->subviews();
        presenter->coveredViewParent_ = parent;
        presenter->coveredViewIndex_ =
            static_cast<size_t>(std::find(siblings.begin(), siblings.end(), presenterView) - siblings.begin());
        presenterView->removeFromSuperview();
      }
      presenter->endAppearanceTransition();
    }
    presented->endAppearanceTransition();
    presented->beingPresented_ = presented->transitioning_ = presenter->transitioning_ = false;
    if (completion) completion();
  }

  void finishDismissing() {
    if (cancelled) {
      presented->beginAppearanceTransition(true, false);
      presented->endAppearanceTransition();
      if (fullScreen) {
        if (auto v = presenter->viewIfLoaded()) v->removeFromSuperview();
        presenter->beginAppearanceTransition(false, false);
        presenter->endAppearanceTransition();
      }
      presented->beingDismissed_ = presented->transitioning_ = presenter->transitioning_ = false;
      return;
    }
    container->removeFromSuperview();
    presenter->presented_.reset();
    presented->presenting_.reset();
    presented->presentationContainer_.reset();
    presented->endAppearanceTransition();
    --presented->managedAppearance_;
    if (fullScreen) {
      presenter->endAppearanceTransition();
      --presenter->managedAppearance_;
    }
    presented->beingDismissed_ = presented->transitioning_ = presenter->transitioning_ = false;
    if (completion) completion();
  }
};

void ViewController::presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                                           std::function<void()> completion) {
  DK_ASSERT_MAIN_THREAD();
  if (!controller || controller.get() == this) return;
  auto context = rootAncestor();
  if (context->presented_) {
    std::fprintf(stderr, "Attempt to present %s on %s which is already presenting %s\n", describe(*controller).c_str(),
                 describe(*context).c_str(), describe(*context->presented_).c_str());
    return;
  }
  if (context->transitioning_ || controller->transitioning_) {
    std::fprintf(stderr, "Attempt to present %s on %s while a presentation is in progress\n",
                 describe(*controller).c_str(), describe(*context).c_str());
    return;
  }
  if (controller->presenting_.lock() || controller->parent_.lock()) {
    std::fprintf(stderr, "Application tried to present modally an active controller %s\n", describe(*controller).c_str());
    return;
  }
  auto window = context->view_ ? context->view_->window() : nullptr;
  if (!window) {
    std::fprintf(stderr, "Attempt to present %s on %s whose view is not in the window hierarchy\n",
                 describe(*controller).c_str(), describe(*context).c_str());
    return;
  }
  const ModalPresentationStyle style = controller->effectivePresentationStyle();
  auto transition = std::make_shared<PresentationTransition>();
  transition->presenting = true;
  transition->animated = animated;
  transition->fullScreen = removesPresenterView(style);
  transition->presenter = context;
  transition->presented = controller;
  transition->window = window;
  transition->completion = std::move(completion);

  context->presented_ = controller;
  controller->presenting_ = context;
  controller->beingPresented_ = true;
  controller->transitioning_ = context->transitioning_ = true;
  ++controller->managedAppearance_;
  if (transition->fullScreen) ++context->managedAppearance_;

  auto view = controller->view();
  transition->finalFrame = frameForStyle(style, window->bounds(), *controller);
  auto container = std::make_shared<View>(window->bounds());
  container->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  container->setBackgroundColor(controller->presentationDimmingColor());
  controller->presentationContainer_ = container;
  transition->container = container;
  window->addSubview(container);

  if (transition->fullScreen) context->beginAppearanceTransition(false, animated);
  controller->beginAppearanceTransition(true, animated);

  std::shared_ptr<AnimatedTransitioning> animator;
  if (auto delegate = controller->transitioningDelegate()) {
    animator = delegate->animationControllerForPresented(
        controller, context, std::static_pointer_cast<ViewController>(shared_from_this()));
  }
  if (animated && animator) {
    animator->animateTransition(transition);
    return;
  }
  view->setFrame(transition->finalFrame);
  container->addSubview(view);
  if (animated) {
    // Slides up from below the screen.
    view->setFrame(transition->finalFrame.offsetBy(0, window->bounds().height()));
    const Rect target = transition->finalFrame;
    View::animate(kDefaultTransitionDuration, [view, target] { view->setFrame(target); },
                  [transition](bool) { transition->completeTransition(true); });
  } else {
    DispatchQueue::main()->async([transition] { transition->completeTransition(true); });
  }
}

void ViewController::dismissViewController(bool animated, std::function<void()> completion) {
  DK_ASSERT_MAIN_THREAD();
  auto root = rootAncestor();
  std::shared_ptr<ViewController> target;
  if (root->presented_) {
    target = root->presented_;
  } else if (root->presenting_.lock()) {
    target = root;
  } else {
    return;
  }
  auto presenter = target->presenting_.lock();
  if (!presenter) return;
  if (presenter->transitioning_ || target->transitioning_) {
    std::fprintf(stderr, "Attempt to dismiss %s while a transition is in progress\n", describe(*target).c_str());
    return;
  }
  // Whatever the target presents goes away with it, at once.
  std::vector<std::shared_ptr<ViewController>> above;
  for (auto c = target->presented_; c; c = c->presented_) above.push_back(c);
  for (auto it = above.rbegin(); it != above.rend(); ++it) {
    auto c = *it;
    auto p = c->presenting_.lock();
    c->beginAppearanceTransition(false, false);
    if (c->presentationContainer_) c->presentationContainer_->removeFromSuperview();
    c->endAppearanceTransition();
    --c->managedAppearance_;
    if (p) {
      p->presented_.reset();
      if (removesPresenterView(c->effectivePresentationStyle())) --p->managedAppearance_;
    }
    c->presenting_.reset();
    c->presentationContainer_.reset();
  }

  auto window = target->presentationContainer_ ? target->presentationContainer_->window() : nullptr;
  auto transition = std::make_shared<PresentationTransition>();
  transition->presenting = false;
  transition->animated = animated;
  transition->fullScreen = removesPresenterView(target->effectivePresentationStyle());
  transition->presenter = presenter;
  transition->presented = target;
  transition->container = target->presentationContainer_;
  transition->window = window;
  transition->completion = std::move(completion);

  target->beingDismissed_ = true;
  target->transitioning_ = presenter->transitioning_ = true;
  target->beginAppearanceTransition(false, animated);
  if (transition->fullScreen) {
    // The presenter's view returns where it was, under the presented screen.
    if (auto presenterView = presenter->viewIfLoaded(); presenterView && !presenterView->superview()) {
      auto parent = presenter->coveredViewParent_.lock();
      if (!parent && window) parent = window;
      if (parent == window && transition->container) {
        presenterView->setFrame(window->bounds());
        window->insertSubviewBelow(presenterView, transition->container.get());
      } else if (parent) {
        parent->insertSubview(presenterView, std::min(presenter->coveredViewIndex_, parent->subviews().size()));
      }
    }
    presenter->beginAppearanceTransition(true, animated);
  }

  std::shared_ptr<AnimatedTransitioning> animator;
  if (auto delegate = target->transitioningDelegate()) animator = delegate->animationControllerForDismissed(target);
  if (animated && animator && transition->container) {
    animator->animateTransition(transition);
    return;
  }
  if (animated && target->viewIfLoaded() && window) {
    auto view = target->viewIfLoaded();
    const Rect away = view->frame().offsetBy(0, window->bounds().height());
    View::animate(kDefaultTransitionDuration, [view, away] { view->setFrame(away); },
                  [transition](bool) { transition->completeTransition(true); });
  } else {
    DispatchQueue::main()->async([transition] { transition->completeTransition(true); });
  }
}

}  // namespace dk::platform

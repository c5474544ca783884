#include "platform/ui/navigation_controller.h"

#include "platform/ui/device.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {

NavigationBar::NavigationBar() : View(Rect(0, 0, Screen::main().bounds().width(), kHeight)) {
  setAutoresizingMask(kAutoresizingFlexibleWidth);
}

std::shared_ptr<NavigationController> NavigationController::withRoot(const std::shared_ptr<ViewController>& root) {
  auto nav = std::make_shared<NavigationController>();
  if (root) nav->setViewControllers({root}, false);
  return nav;
}

std::shared_ptr<ViewController> NavigationController::visibleViewController() const {
  auto top = topViewController();
  if (!top) return nullptr;
  if (auto presented = top->presentedViewController()) return presented;
  return top;
}

std::shared_ptr<NavigationBar> NavigationController::navigationBar() {
  if (!bar_) bar_ = std::make_shared<NavigationBar>();
  return bar_;
}

void NavigationController::loadView() {
  auto root = std::make_shared<View>(Screen::main().bounds());
  setView(root);
  auto bar = navigationBar();
  bar->setFrame(Rect(0, 0, root->bounds().width(), NavigationBar::kHeight));
  bar->setHidden(barHidden_);
  root->addSubview(bar);
  if (auto top = topViewController()) {
    auto v = top->view();
    v->setFrame(contentFrame());
    root->insertSubviewBelow(v, bar.get());
  }
}

Rect NavigationController::contentFrame() const {
  auto v = viewIfLoaded();
  if (!v) return Screen::main().bounds();
  const Rect b = v->bounds();
  const double top = (barHidden_ || (bar_ && bar_->isTranslucent())) ? 0 : NavigationBar::kHeight;
  return Rect(0, top, b.width(), b.height() - top);
}

void NavigationController::viewDidLayoutSubviews() {
  if (auto top = topViewController(); top && top->isViewLoaded()) top->viewIfLoaded()->setFrame(contentFrame());
  if (bar_) bar_->setFrame(Rect(0, 0, view()->bounds().width(), NavigationBar::kHeight));
}

void NavigationController::show(const std::shared_ptr<ViewController>& incoming,
                                const std::shared_ptr<ViewController>& outgoing, bool animated) {
  if (!isViewLoaded()) return;  // the new top comes on screen when the view loads
  auto root = viewIfLoaded();
  const bool onScreen = appearance() == Appearance::Appeared;
  if (incoming) incoming->loadViewIfNeeded();
  if (outgoing && onScreen) outgoing->beginAppearanceTransition(false, animated);
  if (incoming && onScreen) incoming->beginAppearanceTransition(true, animated);
  // The views swap without the window hooks firing: appearance is driven here.
  if (incoming) incoming->holdAppearance(true);
  if (outgoing) outgoing->holdAppearance(true);
  if (incoming) {
    auto v = incoming->view();
    v->setFrame(contentFrame());
    if (bar_) {
      root->insertSubviewBelow(v, bar_.get());
    } else {
      root->addSubview(v);
    }
  }
  if (outgoing && outgoing->isViewLoaded()) outgoing->viewIfLoaded()->removeFromSuperview();
  if (incoming) incoming->holdAppearance(false);
  if (outgoing) outgoing->holdAppearance(false);
  if (outgoing && onScreen) outgoing->endAppearanceTransition();
  if (incoming && onScreen) incoming->endAppearanceTransition();
}

void NavigationController::pushViewController(const std::shared_ptr<ViewController>& controller, bool animated) {
  DK_ASSERT_MAIN_THREAD();
  if (!controller) return;
  auto outgoing = topViewController();
  addChildViewController(controller);
  stack_.push_back(controller);
  show(controller, outgoing, animated);
  controller->didMoveToParentViewController(this);
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool animated) {
  if (stack_.size() < 2) return nullptr;
  auto outgoing = stack_.back();
  stack_.pop_back();
  outgoing->willMoveToParentViewController(nullptr);
  show(stack_.back(), outgoing, animated);
  outgoing->removeFromParentViewController();
  return outgoing;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewController(bool animated) {
  std::vector<std::shared_ptr<ViewController>> popped;
  if (stack_.size() < 2) return popped;
  auto outgoing = stack_.back();
  popped.assign(stack_.begin() + 1, stack_.end());
  stack_.resize(1);
  for (auto& c : popped) c->willMoveToParentViewController(nullptr);
  show(stack_.front(), outgoing, animated);
  for (auto& c : popped) c->removeFromParentViewController();
  return popped;
}

void NavigationController::setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers,
                                              bool animated) {
  auto outgoing = topViewController();
  for (auto& c : stack_) c->removeFromParentViewController();
  stack_.clear();
  for (auto& c : controllers) {
    addChildViewController(c);
    stack_.push_back(c);
    c->didMoveToParentViewController(this);
  }
  auto incoming = topViewController();
  if (incoming != outgoing) show(incoming, outgoing, animated);
}

void NavigationController::setNavigationBarHidden(bool hidden, bool animated) {
  barHidden_ = hidden;
  if (bar_) bar_->setHidden(hidden);
  if (auto v = viewIfLoaded()) v->setNeedsLayout();
}

std::shared_ptr<ViewController> TabBarController::selectedViewController() const {
  return selected_ < tabs_.size() ? tabs_[selected_] : nullptr;
}

void TabBarController::setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers) {
  auto outgoing = selectedViewController();
  for (auto& c : tabs_) c->removeFromParentViewController();
  tabs_ = controllers;
  for (auto& c : tabs_) {
    addChildViewController(c);
    c->didMoveToParentViewController(this);
  }
  selected_ = 0;
  if (outgoing && outgoing->isViewLoaded()) outgoing->viewIfLoaded()->removeFromSuperview();
  if (isViewLoaded()) {
    if (auto incoming = selectedViewController()) {
      auto v = incoming->view();
      v->setFrame(view()->bounds());
      view()->addSubview(v);
    }
  }
}

void TabBarController::setSelectedIndex(size_t index) {
  if (index >= tabs_.size() || index == selected_) return;
  auto outgoing = selectedViewController();
  selected_ = index;
  auto incoming = selectedViewController();
  if (!isViewLoaded()) return;
  auto v = incoming->view();
  v->setFrame(view()->bounds());
  view()->addSubview(v);  // appears through the window hooks (its parent is on screen)
  if (outgoing && outgoing->isViewLoaded()) outgoing->viewIfLoaded()->removeFromSuperview();
}

void TabBarController::loadView() {
  auto root = std::make_shared<View>(Screen::main().bounds());
  setView(root);
  if (auto selected = selectedViewController()) {
    auto v = selected->view();
    v->setFrame(root->bounds());
    v->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
    root->addSubview(v);
  }
}

}  // namespace dk::platform

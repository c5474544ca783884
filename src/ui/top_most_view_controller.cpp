#include "ui/top_most_view_controller.h"

#include "platform/dispatch/queue.h"
#include "platform/ui/application.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"

namespace dk {

using platform::NavigationController;
using platform::TabBarController;
using platform::ViewController;

std::shared_ptr<ViewController> topViewControllerWithRootViewController(
    const std::shared_ptr<ViewController>& controller) {
  if (!controller) return nullptr;
  if (auto tabs = std::dynamic_pointer_cast<TabBarController>(controller)) {
    return topViewControllerWithRootViewController(tabs->selectedViewController());
  }
  if (auto navigation = std::dynamic_pointer_cast<NavigationController>(controller)) {
    return topViewControllerWithRootViewController(navigation->visibleViewController());
  }
  if (auto presented = controller->presentedViewController()) {
    return topViewControllerWithRootViewController(presented);
  }
  if (auto view = controller->viewIfLoaded()) {
    for (const auto& subview : view->subviews()) {
      auto embedded = std::dynamic_pointer_cast<ViewController>(subview->nextResponder());
      if (!embedded || embedded == controller) continue;
      auto found = topViewControllerWithRootViewController(embedded);
      return found ? found : controller;
    }
  }
  return controller;
}

std::shared_ptr<ViewController> topMostViewController() {
  std::shared_ptr<ViewController> result;
  auto search = [&result] {
    if (auto window = platform::Application::shared().keyWindow()) {
      result = topViewControllerWithRootViewController(window->rootViewController());
    }
  };
  if (platform::isMainThread()) {
    search();
  } else {
    platform::DispatchQueue::main()->sync(search);
  }
  return result;
}

bool isTopMostViewController(const ViewController& controller) {
  auto top = topMostViewController();
  if (!top) return false;
  if (top.get() == &controller) return true;
  auto tabs = top->tabBarController();
  return tabs && tabs.get() == &controller;
}

}  // namespace dk

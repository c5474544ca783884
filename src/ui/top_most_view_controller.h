// Finding the screen the user is looking at (UIViewController(IsTopMostController)).
//
// The search starts at the key window's root controller and follows the selected tab, the
// navigation stack's visible screen, presented screens, and screens embedded in a screen's view,
// in that order of preference. The base screens ask it before showing a pop-up or following a
// network-loss transition. Main thread: topMostViewController hops there synchronously when called
// elsewhere, so it must not be called from a queue the main thread waits on.
#pragma once

#include <memory>

#include "platform/ui/view_controller.h"

namespace dk {

// The screen the user sees: topViewControllerWithRootViewController of the key window's root
// controller (nullptr without a key window or root controller).
std::shared_ptr<platform::ViewController> topMostViewController();

// The screen the user sees inside `controller`: for a tab bar controller the answer for its
// selected controller; for a navigation controller the answer for its visible controller; for a
// controller presenting another the answer for the presented one; else the answer for the first
// embedded screen (a subview of its view whose next responder is a controller); else itself.
std::shared_ptr<platform::ViewController> topViewControllerWithRootViewController(
    const std::shared_ptr<platform::ViewController>& controller);

// True when `controller` is the top-most screen or the tab bar controller that holds it.
bool isTopMostViewController(const platform::ViewController& controller);

}  // namespace dk

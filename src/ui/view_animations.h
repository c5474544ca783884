// The framework's stock view animations (UIView(KLAnimations)): centre moves with an extra
// animation block, keyboard dismissal, a pill button turning into a spinner and back, and an
// expanding circle that covers the screen.
//
// The pill and spinner views are added to the button's superview and carry the tags t + 1 and
// t + 2 of the button's random tag t, as on the platform; the reset finds them through references
// kept on the button, so a reset of a button that never ran animateButton removes nothing (a tag
// search would take whatever other view happens to carry tag 1 or 2). Operations marked "hop" run
// at once on the main thread or are queued to the main queue from elsewhere.
#pragma once

#include <functional>
#include <memory>

#include "platform/graphics/geometry.h"
#include "platform/ui/button.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/view.h"

namespace dk {

using AnimationCompletion = std::function<void(bool finished)>;

// Hop. Animates the receiver's centre to `center` together with `animations` (either block may
// be empty).
void animateWithDuration(const std::shared_ptr<platform::View>& receiver, float duration, platform::Point center,
                         std::function<void()> animations, AnimationCompletion completion);
// Hop. The same after `delay`, beginning from the current state.
void animateWithDuration(const std::shared_ptr<platform::View>& receiver, float duration, float delay,
                         platform::Point center, std::function<void()> animations, AnimationCompletion completion);

// Hop. Ends editing on the receiver (the keyboard goes) in an animation of no length, then, a
// tenth of a second later, runs the completion.
void dismissKeyboardWithCompletion(const std::shared_ptr<platform::View>& receiver, std::function<void()> completion);
// Hop. The same with an animation of `duration`.
void dismissKeyboardWithAnimationDuration(const std::shared_ptr<platform::View>& receiver, double duration,
                                          std::function<void()> completion);

// Hop. Turns the button into a light pill shrinking to a circle with a spinner (0.3 s); the
// receiver stops taking touches. The completion runs once the spinner turns.
void animateButton(const std::shared_ptr<platform::View>& receiver, const std::shared_ptr<platform::Button>& button,
                   std::function<void()> completion);
// Hop. Back from the spinner: animated, the pill grows to the button's frame (0.3 s) and pill and
// spinner go away; not animated, they stay (the spinner invisible). The button shows again and
// the receiver takes touches again, then the completion runs.
void resetContinueAnimationOnButton(const std::shared_ptr<platform::View>& receiver,
                                    const std::shared_ptr<platform::Button>& button, bool animated);
void resetContinueAnimationOnButton(const std::shared_ptr<platform::View>& receiver,
                                    const std::shared_ptr<platform::Button>& button, bool animated,
                                    std::function<void()> completion);

// On the caller's thread. A circle grows from the button over the screen (1.0 s) while the
// navigation bar hides; then the button shows again and the circle and spinner go. The receiver
// stays without touches.
void animateExpandingViewWithButton(const std::shared_ptr<platform::View>& receiver,
                                    const std::shared_ptr<platform::Button>& button,
                                    const std::shared_ptr<platform::NavigationController>& navigationController,
                                    std::function<void()> completion);

// The pill and the spinner animateButton left for the button, when they still exist.
std::shared_ptr<platform::View> animationPillForButton(const platform::Button& button);
std::shared_ptr<platform::View> animationSpinnerForButton(const platform::Button& button);

}  // namespace dk

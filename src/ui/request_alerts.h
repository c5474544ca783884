// The request executor's user-facing alerts (showAlertWithTitle:message:,
// presentAlertViewWithMessage:, presentAlertViewOnErrorWithMessage:).
//
// They live with the screens because they present on the top-most screen, which the network layer
// below cannot see. showAlertWithTitle builds an alert with one "OK" action of the cancel style
// and presents it, animated, on the screen the user is looking at; without a key window (or while
// that screen is presenting or mid-transition) nothing is shown. Callable from any thread: the
// work is queued to the main queue, or runs at once on the main thread. The other two show
// nothing: request failures are not put in front of the host's user by this framework.
#pragma once

#include <optional>
#include <string>

namespace dk {

// An alert with the title and the message.
void showAlertWithTitle(std::optional<std::string> title, std::optional<std::string> message);
// Nothing.
void presentAlertViewWithMessage(const std::string& message);
// Nothing.
void presentAlertViewOnErrorWithMessage(const std::string& message);

}  // namespace dk

#include "ui/request_alerts.h"

#include "platform/dispatch/queue.h"
#include "platform/ui/alert_controller.h"
#include "ui/top_most_view_controller.h"

namespace dk {

using platform::AlertAction;
using platform::AlertController;

void showAlertWithTitle(std::optional<std::string> title, std::optional<std::string> message) {
  platform::runOnMain([title = std::move(title), message = std::move(message)] {
    auto screen = topMostViewController();
    if (!screen) return;
    auto alert = AlertController::make(title, message, AlertController::Style::Alert);
    alert->addAction(AlertAction::make("OK", AlertAction::Style::Cancel));
    screen->presentViewController(alert, true);
  });
}

void presentAlertViewWithMessage(const std::string&) {}

void presentAlertViewOnErrorWithMessage(const std::string&) {}

}  // namespace dk

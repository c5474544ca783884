// AlertController: an alert or action sheet with actions (UIAlertController), and AlertAction.
//
// The controller's view is the card: a title and a message label and one button per action, in
// the order added (an action sheet puts the cancel action last). It presents over the current
// screen without making it disappear, the card centred (alert) or at the bottom (action sheet;
// on a large screen next to its popover anchor). The user taps an action's button (or a test
// calls tapAction): the alert dismisses itself and the action's handler runs once the dismissal
// is over. Attributed title and message may be set by key ("attributedTitle",
// "attributedMessage"), as screens do. Main thread only.
#pragma once

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/attributed_string.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"

namespace dk::platform {

class AlertAction {
 public:
  enum class Style { Default = 0, Cancel = 1, Destructive = 2 };
  using Handler = std::function<void(AlertAction&)>;

  static std::shared_ptr<AlertAction> make(std::string title, Style style, Handler handler = nullptr) {
    return std::make_shared<AlertAction>(std::move(title), style, std::move(handler));
  }
  AlertAction(std::string title, Style style, Handler handler)
      : title_(std::move(title)), style_(style), handler_(std::move(handler)) {}

  const std::string& title() const { return title_; }
  Style style() const { return style_; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  const Handler& handler() const { return handler_; }

 private:
  std::string title_;
  Style style_;
  Handler handler_;
  bool enabled_ = true;
};

class AlertController : public ViewController {
 public:
  enum class Style { ActionSheet = 0, Alert = 1 };

  static std::shared_ptr<AlertController> make(std::optional<std::string> title, std::optional<std::string> message,
                                               Style style);
  AlertController(std::optional<std::string> title, std::optional<std::string> message, Style style);

  Style preferredStyle() const { return style_; }
  const std::optional<std::string>& alertTitle() const { return title_; }
  void setAlertTitle(std::optional<std::string> title);
  const std::optional<std::string>& message() const { return message_; }
  void setMessage(std::optional<std::string> message);
  const std::optional<AttributedString>& attributedTitle() const { return attributedTitle_; }
  const std::optional<AttributedString>& attributedMessage() const { return attributedMessage_; }
  // Key-value setting of "attributedTitle" / "attributedMessage" (an AttributedString); false for
  // any other key or value type.
  bool setValueForKey(const std::string& key, const std::any& value);

  void addAction(const std::shared_ptr<AlertAction>& action);
  // In display order.
  std::vector<std::shared_ptr<AlertAction>> actions() const;
  std::shared_ptr<AlertAction> preferredAction() const { return preferred_.lock(); }
  void setPreferredAction(const std::shared_ptr<AlertAction>& action) { preferred_ = action; }
  // The button showing the action (after the view loaded).
  std::shared_ptr<Button> buttonForAction(const AlertAction& action);
  // What a tap on the action's button does. False when there is no such enabled action.
  bool tapAction(const std::string& title);
  bool tapAction(const std::shared_ptr<AlertAction>& action);

  void loadView() override;
  void viewWillLayoutSubviews() override;
  std::optional<Rect> frameForPresentation(const Rect& windowBounds) override;
  std::optional<Color> presentationDimmingColor() const override { return Color::black().withAlpha(0.4); }

  static constexpr double kAlertWidth = 270;
  static constexpr double kRowHeight = 44;

 private:
  void rebuild();
  double cardHeight() const;

  Style style_;
  std::optional<std::string> title_, message_;
  std::optional<AttributedString> attributedTitle_, attributedMessage_;
  std::vector<std::shared_ptr<AlertAction>> actions_;
  std::weak_ptr<AlertAction> preferred_;
  std::shared_ptr<Label> titleLabel_, messageLabel_;
  std::vector<std::pair<std::weak_ptr<AlertAction>, std::shared_ptr<Button>>> buttons_;
  bool handled_ = false;
};

}  // namespace dk::platform

#include "platform/ui/alert_controller.h"

#include <algorithm>

#include "platform/ui/device.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {

std::shared_ptr<AlertController> AlertController::make(std::optional<std::string> title,
                                                       std::optional<std::string> message, Style style) {
  return std::make_shared<AlertController>(std::move(title), std::move(message), style);
}

AlertController::AlertController(std::optional<std::string> title, std::optional<std::string> message, Style style)
    : style_(style), title_(std::move(title)), message_(std::move(message)) {
  setModalPresentationStyle(ModalPresentationStyle::Custom);
}

void AlertController::setAlertTitle(std::optional<std::string> title) {
  title_ = std::move(title);
  rebuild();
}

void AlertController::setMessage(std::optional<std::string> message) {
  message_ = std::move(message);
  rebuild();
}

bool AlertController::setValueForKey(const std::string& key, const std::any& value) {
  const auto* text = std::any_cast<AttributedString>(&value);
  if (!text) return false;
  if (key == "attributedTitle") {
    attributedTitle_ = *text;
  } else if (key == "attributedMessage") {
    attributedMessage_ = *text;
  } else {
    return false;
  }
  rebuild();
  return true;
}

void AlertController::addAction(const std::shared_ptr<AlertAction>& action) {
  if (!action) return;
  actions_.push_back(action);
  rebuild();
}

std::vector<std::shared_ptr<AlertAction>> AlertController::actions() const {
  std::vector<std::shared_ptr<AlertAction>> ordered = actions_;
  if (style_ == Style::ActionSheet) {
    // The platform shows an action sheet's cancel action apart, at the bottom.
    std::stable_partition(ordered.begin(), ordered.end(),
                          [](const auto& a) { return a->style() != AlertAction::Style::Cancel; });
  }
  return ordered;
}

std::shared_ptr<Button> AlertController::buttonForAction(const AlertAction& action) {
  loadViewIfNeeded();
  for (auto& [a, b] : buttons_) {
    if (a.lock().get() == &action) return b;
  }
  return nullptr;
}

bool AlertController::tapAction(const std::string& title) {
  for (auto& a : actions_) {
    if (a->title() == title) return tapAction(a);
  }
  return false;
}

bool AlertController::tapAction(const std::shared_ptr<AlertAction>& action) {
  DK_ASSERT_MAIN_THREAD();
  if (!action || !action->isEnabled() || handled_) return false;
  if (std::find(actions_.begin(), actions_.end(), action) == actions_.end()) return false;
  handled_ = true;
  auto keep = std::static_pointer_cast<AlertController>(shared_from_this());
  auto handler = action->handler();
  auto run = [action, handler] {
    if (handler) handler(*action);
  };
  if (presentingViewController()) {
    dismissViewController(true, run);
  } else {
    run();
  }
  return true;
}

void AlertController::loadView() {
  auto card = std::make_shared<View>(Rect(0, 0, kAlertWidth, kRowHeight));
  card->setBackgroundColor(Color::white(0.97));
  card->layer().setCornerRadius(13);
  card->setClipsToBounds(true);
  setView(card);
  titleLabel_ = std::make_shared<Label>();
  titleLabel_->setFont(Font::system(17, FontWeight::Semibold));
  titleLabel_->setTextAlignment(TextAlignment::Center);
  titleLabel_->setNumberOfLines(0);
  messageLabel_ = std::make_shared<Label>();
  messageLabel_->setFont(Font::system(13));
  messageLabel_->setTextAlignment(TextAlignment::Center);
  messageLabel_->setNumberOfLines(0);
  card->addSubview(titleLabel_);
  card->addSubview(messageLabel_);
  rebuild();
}

void AlertController::rebuild() {
  auto card = viewIfLoaded();
  if (!card) return;
  if (attributedTitle_) {
    titleLabel_->setAttributedText(*attributedTitle_);
  } else {
    titleLabel_->setText(title_.value_or(""));
  }
  if (attributedMessage_) {
    messageLabel_->setAttributedText(*attributedMessage_);
  } else {
    messageLabel_->setText(message_.value_or(""));
  }
  for (auto& [a, b] : buttons_) b->removeFromSuperview();
  buttons_.clear();
  for (auto& action : actions()) {
    auto button = std::make_shared<Button>(Button::Type::System);
    button->setTitle(action->title(), kControlStateNormal);
    button->setTitleColor(action->style() == AlertAction::Style::Destructive ? Color::rgba(1, 0.23, 0.19)
                                                                                : Color::rgba(0, 0.48, 1),
                          kControlStateNormal);
    button->setEnabled(action->isEnabled());
    button->setAccessibilityIdentifier(action->title());
    std::weak_ptr<AlertAction> weakAction = action;
    std::weak_ptr<Responder> weakSelf = weak_from_this();
    button->addTarget(this, [weakAction, weakSelf](Control&) {
      auto self = std::static_pointer_cast<AlertController>(weakSelf.lock());
      if (auto a = weakAction.lock(); self && a) self->tapAction(a);
    }, kControlEventTouchUpInside);
    card->addSubview(button);
    buttons_.emplace_back(action, button);
  }
  card->setNeedsLayout();
}

double AlertController::cardHeight() const {
  const double width = style_ == Style::Alert ? kAlertWidth : Screen::main().bounds().width() - 16;
  double h = 0;
  if (titleLabel_ && !titleLabel_->text().empty()) h += titleLabel_->sizeThatFits({width - 32, 0}).height + 20;
  if (messageLabel_ && !messageLabel_->text().empty()) h += messageLabel_->sizeThatFits({width - 32, 0}).height + 12;
  return h + buttons_.size() * kRowHeight;
}

void AlertController::viewWillLayoutSubviews() {
  auto card = viewIfLoaded();
  if (!card) return;
  const double width = card->bounds().width();
  double y = 0;
  if (!titleLabel_->text().empty()) {
    const double h = titleLabel_->sizeThatFits({width - 32, 0}).height;
    titleLabel_->setFrame(Rect(16, y + 20, width - 32, h));
    y += h + 20;
  }
  if (!messageLabel_->text().empty()) {
    const double h = messageLabel_->sizeThatFits({width - 32, 0}).height;
    messageLabel_->setFrame(Rect(16, y + 6, width - 32, h));
    y += h + 12;
  }
  for (auto& [a, b] : buttons_) {
    b->setFrame(Rect(0, y, width, kRowHeight));
    y += kRowHeight;
  }
}

std::optional<Rect> AlertController::frameForPresentation(const Rect& windowBounds) {
  loadViewIfNeeded();
  const double h = std::min(cardHeight(), windowBounds.height());
  if (style_ == Style::Alert) {
    return Rect(windowBounds.midX() - kAlertWidth / 2, windowBounds.midY() - h / 2, kAlertWidth, h);
  }
  auto& popover = popoverPresentationController();
  if (Device::current().userInterfaceIdiom() == UserInterfaceIdiom::Pad) {
    if (auto source = popover.sourceView.lock()) {
      const Rect anchor = source->convertRectTo(popover.sourceRect, nullptr);
      const double w = 300;
      const double x = std::clamp(anchor.midX() - w / 2, 0.0, std::max(0.0, windowBounds.width() - w));
      const double y = std::clamp(anchor.maxY(), 0.0, std::max(0.0, windowBounds.height() - h));
      return Rect(x, y, w, h);
    }
  }
  return Rect(8, windowBounds.maxY() - h - 8, windowBounds.width() - 16, h);
}

}  // namespace dk::platform

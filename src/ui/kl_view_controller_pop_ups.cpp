// KLViewController: showing, moving and hiding the pop-up card.
#include <cmath>

#include "foundation/color_codes.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/application.h"
#include "platform/ui/device.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/ui_notifications.h"
#include "platform/ui/window.h"
#include "ui/host_text.h"
#include "ui/kl_view_controller.h"
#include "ui/top_most_view_controller.h"
#include "ui/view_animations.h"

namespace dk {

using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutRelation;
using platform::Point;
using platform::Rect;
using platform::Size;
using platform::View;

void KLViewController::displayPopUpViewWithTitle(std::optional<std::string> title, std::optional<std::string> infoText,
                                                 std::optional<std::string> image, unsigned long options,
                                                 std::vector<std::string> buttonsTitles) {
  displayPopUpViewWithTitle(std::move(title), std::move(infoText), std::move(image), std::nullopt, options,
                            std::move(buttonsTitles));
}

void KLViewController::displayPopUpViewWithTitle(std::optional<std::string> title, std::optional<std::string> infoText,
                                                 std::optional<std::string> image, std::optional<std::string> linkText,
                                                 unsigned long options, std::vector<std::string> buttonsTitles) {
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  platform::runOnMain([=, buttonsTitles = std::move(buttonsTitles)]() mutable {
    if (auto screen = weak.lock()) {
      screen->showPopUp(std::move(title), std::move(infoText), std::move(image), std::move(linkText), options,
                        std::move(buttonsTitles));
    }
  });
}

void KLViewController::showPopUp(std::optional<std::string> title, std::optional<std::string> infoText,
                                 std::optional<std::string> image, std::optional<std::string> linkText,
                                 unsigned long options, std::vector<std::string> buttonsTitles) {
  const bool rotatable = options & KLPopUpOptionRotatable;
  // Whatever happens below, a card that is up follows the rotatability asked for last.
  struct Rotatability {
    KLViewController* screen;
    bool rotatable;
    ~Rotatability() {
      if (screen->popUpView_) screen->popUpView_->setCanBeRotated(rotatable);
    }
  } last{this, rotatable};

  auto screenView = view();
  Size size = (options & KLPopUpOptionNarrow) ? Size{screenView->frame().width() - 50, 0} : Size{0, 0};
  Point endCenter = (options & KLPopUpOptionNoSwipeDismiss) ? screenView->center() : Point{0, 0};
  int32_t animatable = KLPopUpAnimatableButtonsNone;
  if (options & KLPopUpOptionAnimateBothButtons) {
    animatable = KLPopUpAnimatableButtonsAll;
  } else if (options & KLPopUpOptionAnimateFirstButton) {
    animatable = KLPopUpAnimatableButtonsFirst;
  } else if (options & KLPopUpOptionAnimateSecondButton) {
    animatable = KLPopUpAnimatableButtonsAllButFirst;
  }
  if (options & KLPopUpOptionDetectionSettingsLink) linkText = hostText("GoToDetectionSettings");

  if (popUpView_) return;
  if (!isTopMostViewController(*this)) {
    auto top = topMostViewController();
    if (!dynamic_cast<PopUpPassThroughScreen*>(top.get())) return;
  }
  auto window = platform::Application::shared().keyWindow();
  if (!window) return;

  auto card = KLPopUpView::make(std::move(title), std::move(infoText), std::move(image), std::move(linkText),
                                options & KLPopUpOptionTextField, options & KLPopUpOptionDontShowAgain,
                                options & KLPopUpOptionFirstButtonCoolGrey, options & KLPopUpOptionSecondButtonCoolGrey,
                                animatable, std::move(buttonsTitles));
  popUpView_ = card;
  card->setAccessibilityIdentifier("pop_up_view");
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();

  if (size.width == 0 && size.height == 0) size = {screenView->frame().width(), 0};
  if (endCenter.x == 0 && endCenter.y == 0) {
    endCenter = {screenView->center().x, 0};
    auto swipe = std::make_shared<platform::SwipeGestureRecognizer>();
    swipe->direction = platform::kSwipeDown;
    swipe->addTarget(this, [weak](platform::GestureRecognizer&) {
      if (auto s = weak.lock()) s->hidePopUpView();
    });
    card->addGestureRecognizer(swipe);
  }

  card->setIsKeyboardVisible(false);
  keyboardHeight_ = 0;
  card->setCanBeDismissed(!(options & KLPopUpOptionNotDismissable));
  auto keyboard = [](KLViewController& s, const platform::Notification& n) { s.handle_UIKeyboardWillShowNotification(n); };
  observe(platform::kUIKeyboardWillShowNotification, keyboard);
  observe(platform::kUIKeyboardWillHideNotification, keyboard);

  auto shadow = std::make_shared<View>(screenView->frame());
  shadow->setBackgroundColor(darkColor());
  shadow->setAlpha(0);
  shadow->addGestureRecognizer(std::make_shared<platform::TapGestureRecognizer>([weak](platform::GestureRecognizer&) {
    if (auto s = weak.lock()) s->hidePopUpView();
  }));
  shadowView_ = shadow;
  window->addSubview(shadow);
  window->bringSubviewToFront(shadow.get());
  window->addSubview(card);
  window->bringSubviewToFront(card.get());
  if (auto superview = screenView->superview()) {
    shadow->setTranslatesAutoresizingMaskIntoConstraints(false);
    std::vector<std::shared_ptr<LayoutConstraint>> pins;
    for (auto edge : {LayoutAttribute::Top, LayoutAttribute::Bottom, LayoutAttribute::Trailing, LayoutAttribute::Leading}) {
      pins.push_back(LayoutConstraint::make(shadow, edge, LayoutRelation::Equal, superview, edge, 1, 0));
    }
    LayoutConstraint::activate(pins);
  }

  card->setFrame(popUpStartFrame(options, screenView->frame(), endCenter.x, size.width));
  card->setConfirmationDelegate(std::static_pointer_cast<KLPopUpViewDelegate>(sharedAs<KLViewController>()));
  card->addViews();
  card->setFrame(card->calculateFrame());

  std::weak_ptr<View> weakShadow = shadow;
  auto dim = [weakShadow] {
    if (auto s = weakShadow.lock()) s->setAlpha(0.7);
  };
  if (rotatable) {
    endCenter.y = window->center().y;
    const auto orientation = card->getInterfaceOrientationForDeviceOrientation(platform::Device::current().orientation());
    const int32_t position = card->position();
    double startX = endCenter.x;
    if (position == KLPopUpPositionLandscapeLeft) startX = card->center().x * -2;
    if (position == KLPopUpPositionLandscapeRight) startX = card->center().x * 4;
    if (position == KLPopUpPositionLandscapeLeft || position == KLPopUpPositionLandscapeRight) {
      animateWithDuration(card, 0, 0, {startX, endCenter.y}, nullptr, nullptr);
      std::weak_ptr<KLPopUpView> weakCard = card;
      card->adjustViewsForOrientation(orientation, [weakCard, endCenter, dim] {
        if (auto c = weakCard.lock()) animateWithDuration(c, 0.4f, 0.f, endCenter, dim, nullptr);
      });
    } else {
      animateWithDuration(card, 0.4f, 0.f, {startX, endCenter.y}, dim, nullptr);
    }
  } else {
    if (endCenter.y == 0) endCenter.y = window->bounds().height() - card->frame().height() / 2;
    animateWithDuration(card, 0.4f, endCenter, dim, nullptr);
  }
}

Rect KLViewController::popUpStartFrame(unsigned long options, const Rect& screenFrame, double centerX, double width) {
  const double y = (options & KLPopUpOptionFromTop) ? -screenFrame.height() : screenFrame.minY() + screenFrame.height();
  return Rect(centerX - width / 2, y, width, 0);
}

void KLViewController::hidePopUpView() {
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  platform::runOnMain([weak] {
    auto screen = weak.lock();
    if (screen && screen->popUpView_) screen->hidePopUpNow(nullptr);
  });
}

void KLViewController::hidePopUpViewWithCompletion(std::function<void()> completion) {
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  platform::runOnMain([weak, completion = std::move(completion)]() mutable {
    if (auto screen = weak.lock()) screen->hidePopUpNow(std::move(completion));
  });
}

void KLViewController::hidePopUpNow(std::function<void()> completion) {
  auto card = popUpView_;
  if (card && card->title() == hostText("NoInternetConnection")) {
    auto& app = platform::Application::shared();
    app.openURL(app.canOpenURL("prefs:root") ? "prefs:root" : "App-prefs:root");
  }
  if (card && card->isKeyboardVisible()) card->endEditing(true);
  if (!card || !card->canBeDismissed()) return;
  card->setIsKeyboardVisible(false);
  keyboardHeight_ = 0;
  const Point c = card->center();
  Point target{c.x, view()->frame().height() + card->frame().height()};
  if (card->position() == KLPopUpPositionLandscapeLeft) target = {c.x * -2, c.y};
  if (card->position() == KLPopUpPositionLandscapeRight) target = {c.x * 4, c.y};
  auto shadow = shadowView_;
  std::weak_ptr<View> weakShadow = shadow;
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  animateWithDuration(card, 0.4f, target, [weakShadow] {
    if (auto s = weakShadow.lock()) s->setAlpha(0);
  }, [weak, card, shadow, completion = std::move(completion)](bool) mutable {
    card->removeFromSuperview();
    if (shadow) shadow->removeFromSuperview();
    // A screen released meanwhile removed the card itself; nothing is left to tell.
    if (auto screen = weak.lock()) screen->finishHiding(card, shadow, std::move(completion));
  });
}

void KLViewController::finishHiding(const std::shared_ptr<KLPopUpView>& card, const std::shared_ptr<View>& shadow,
                                    std::function<void()> completion) {
  platform::NotificationCenter::defaultCenter().removeObserver(observerKey());
  if (popUpView_ == card) popUpView_.reset();
  if (shadowView_ == shadow) shadowView_.reset();
  configureNotifications();
  subscribeToNotifications();
  if (completion) completion();
}

void KLViewController::handle_UIKeyboardWillShowNotification(const platform::Notification& notification) {
  const auto info = platform::KeyboardInfo::fromUserInfo(notification.userInfo);
  if (!info.isLocal) return;
  if (platform::Application::shared().applicationState() != platform::ApplicationState::Active) return;
  auto card = popUpView_;
  if (!card) return;
  const float h = static_cast<float>(info.frameEnd.height());
  const Point c = card->center();
  double targetY;
  if (notification.name == platform::kUIKeyboardWillHideNotification) {
    // A hiding keyboard still reports its full height: the card goes back down by what it moved up.
    targetY = c.y + keyboardHeight_;
    card->setIsKeyboardVisible(false);
    keyboardHeight_ = 0;
  } else {
    targetY = (keyboardHeight_ - h) + c.y;
    card->setIsKeyboardVisible(h > 0);
    keyboardHeight_ = h;
  }
  animateWithDuration(card, 0.4f, {c.x, targetY}, nullptr, nullptr);
}

}  // namespace dk

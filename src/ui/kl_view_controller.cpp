#include "ui/kl_view_controller.h"

#include <algorithm>
#include <array>

#include "foundation/color_codes.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/bundle.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/application.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"
#include "ui/base_screen_services.h"
#include "ui/fonts.h"
#include "ui/image_effects.h"
#include "ui/top_most_view_controller.h"
#include "ui/view_extensions.h"
#include "ui/host_text.h"

namespace dk {

using platform::AlertController;
using platform::NotificationCenter;
using platform::View;
using platform::ViewController;

namespace {
}  // namespace

KLViewController::KLViewController() = default;

KLViewController::KLViewController(std::string nibName) : KLPermissionsViewController(std::move(nibName)) {}

KLViewController::~KLViewController() {
  // A released screen takes its card with it at once: a slide-out would finish after the screen is
  // gone and register the dead screen for notifications again.
  if (popUpView_) {
    auto delegate = popUpView_->confirmationDelegate();
    if (!popUpView_->canBeDismissed() && delegate && delegate->respondsToSelector("popupIsDeallocating")) {
      delegate->popupIsDeallocating();
    }
    popUpView_->removeFromSuperview();
    popUpView_->setConfirmationDelegate({});
  }
  if (shadowView_) shadowView_->removeFromSuperview();
  NotificationCenter::defaultCenter().removeObserver(observerKey());
  popUpView_.reset();
  shadowView_.reset();
}

const std::vector<platform::ImagePtr>& KLViewController::animationImages() {
  static const std::vector<platform::ImagePtr> images = coloredImagesForAnimation(1, 90, "loadingGrey", lightColor());
  return images;
}

// ---- life cycle ----

void KLViewController::viewDidLoad() {
  KLPermissionsViewController::viewDidLoad();
  setNeedsStatusBarAppearanceUpdate();
  setTitleFont();
  localization();
  setFonts();
  configureNotifications();
  setUpViews();
  toNoNetwork_ = false;
  shouldDisplayConnectedToCameraAPError_ = true;
}

void KLViewController::viewWillAppear(bool animated) {
  KLPermissionsViewController::viewWillAppear(animated);
  hideAlertViewWithCompletion(nullptr);
  hidePopUpViewWithCompletion(nullptr);
  setIsHiddenStatusBar(false);
  setUpTitle();
  addAccessibilityIdentifiers();
  view()->setUserInteractionEnabled(true);
}

void KLViewController::viewDidAppear(bool animated) {
  KLPermissionsViewController::viewDidAppear(animated);
  if (wasPopped_) isAnimationDone_ = true;
  if (toNoNetwork_) {
    toNoNetwork_ = false;
    if (respondsToSelector("requestsWhenNetworkOn")) requestsWhenNetworkOn();
  }
  unsubscribeFromNotifications();
  subscribeToNotifications();
}

void KLViewController::viewWillDisappear(bool animated) {
  KLPermissionsViewController::viewWillDisappear(animated);
  if (std::dynamic_pointer_cast<AlertController>(presentedViewController())) dismissViewController(false);
  hideAlertViewWithCompletion(nullptr);
  hidePopUpViewWithCompletion(nullptr);
  unsubscribeFromNotifications();
}

// ---- hooks ----

void KLViewController::observe(const std::string& name,
                               std::function<void(KLViewController&, const platform::Notification&)> handler) {
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  auto key = std::shared_ptr<const void>(weak.lock(), observerKey());
  NotificationCenter::defaultCenter().addObserver(key, name, [weak, handler](const platform::Notification& n) {
    // The host may post from any thread; screens answer on the main thread.
    platform::runOnMain([weak, handler, n] {
      if (auto screen = weak.lock()) handler(*screen, n);
    });
  });
}

void KLViewController::configureNotifications() {
  observe(kNetworkNotReachableNotification,
          [](KLViewController& s, const platform::Notification&) { s.handle_kNetworkNotReachableNotification(); });
  observe(kNetworkReachableNotification,
          [](KLViewController& s, const platform::Notification&) { s.handle_kNetworkReachableNotification(); });
}

void KLViewController::setUpViews() {
  if (auto main = mainView()) main->setBackgroundColor(darkColor());
  auto swipe = std::make_shared<platform::SwipeGestureRecognizer>();
  swipe->direction = platform::kSwipeRight;
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  swipe->addTarget(this, [weak](platform::GestureRecognizer&) {
    if (auto s = weak.lock()) s->swipeToGoBack();
  });
  view()->addGestureRecognizer(swipe);
}

void KLViewController::handle_kNetworkNotReachableNotification() {
  if (!respondsToSelector("transitionToNoNetworkConnection")) return;
  if (!isTopMostViewController(*this)) return;
  auto identifier = transitionToNoNetworkConnection();
  if (!identifier) return;
  toNoNetwork_ = true;
  performSegue(*identifier, std::static_pointer_cast<void>(sharedAs<KLViewController>()));
}

void KLViewController::setUpNavigationItemsWithScreenTitle(const std::string& key) {
  if (auto main = mainView()) main->setBackgroundColor(darkColor());
  setIsHiddenStatusBar(false);
  auto navigation = navigationController();
  if (navigation) {
    navigation->setNavigationBarHidden(false, false);
    navigation->view()->setBackgroundColor(darkColor());
    auto bar = navigation->navigationBar();
    bar->setBackgroundImage(imageWithColor(Color::clear()));
    bar->setShadowImage(imageWithColor(Color::clear()));
    bar->setTranslucent(true);
  }
  setTitle(platform::Bundle::main()->localizedString(key, key));
  if (navigation) navigation->setTitle("");
  if (isRootViewController_) {
    navigationItem().hidesBackButton = true;
    if (navigation) navigation->navigationBar()->setBarTintColor(darkColor());
  }
}

void KLViewController::setIsHiddenStatusBar(bool hidden) {
  isHiddenStatusBar_ = hidden;
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  View::animate(0.5, [weak] {
    if (auto s = weak.lock()) s->setNeedsStatusBarAppearanceUpdate();
  });
}

// ---- presentation and alerts ----

void KLViewController::presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                                             std::function<void()> completion) {
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  platform::runOnMain([weak, controller, animated, completion = std::move(completion)]() mutable {
    auto screen = weak.lock();
    if (!screen || !controller || controller.get() == screen.get()) return;
    if (controller->isBeingPresented() || controller->isBeingDismissed()) return;
    screen->ViewController::presentViewController(controller, animated, std::move(completion));
  });
}

std::shared_ptr<AlertController> KLViewController::loadingAlertController() {
  if (loadingAlertController_) return loadingAlertController_;
  auto alert = AlertController::make(std::string(), std::string(), AlertController::Style::Alert);
  auto card = alert->view();
  card->setTintColor(lightColor());
  card->setCenter(view()->center());
  updateSubviewsWithBackgroundColor(*card, Color::whiteColor(), 20.0);
  auto container = std::make_shared<View>(platform::Rect(0, 5, 270, 35));
  auto spinner = std::make_shared<platform::ImageView>(platform::Rect(20, 20, 35, 35));
  std::vector<platform::ImagePtr> frames;
  for (const auto& image : animationImages()) {
    if (image) frames.push_back(image->withRenderingMode(platform::ImageRenderingMode::AlwaysTemplate));
  }
  spinner->setTintColor(darkColor());
  spinner->setCenter({container->bounds().width() / 2, container->bounds().height() / 2});
  spinner->setAnimationImages(std::move(frames));
  spinner->setAnimationDuration(3.0);
  spinner->startAnimating();
  container->addSubview(spinner);
  card->addSubview(container);
  loadingAlertController_ = alert;
  return alert;
}

void KLViewController::displayAlertViewWithMessage(const std::string& message) {
  auto alert = loadingAlertController();
  alert->setValueForKey("attributedTitle", platform::AttributedString("\n\n" + message, XS_MediumTextFont(), darkColor()));
  presentViewController(alert, true, nullptr);
}

std::optional<std::string> KLViewController::getAlertViewTitle() {
  const auto& title = loadingAlertController()->attributedTitle();
  if (!title) return std::nullopt;
  std::string text = title->string;
  text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  return text;
}

void KLViewController::hideAlertViewWithCompletion(std::function<void()> completion) {
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  platform::runOnMain([weak, completion = std::move(completion)]() mutable {
    auto screen = weak.lock();
    if (!screen) return;
    auto alert = std::dynamic_pointer_cast<AlertController>(screen->presentedViewController());
    // An alert already on its way out needs no second dismissal.
    if (!alert || alert->isBeingDismissed()) return;
    screen->dismissViewController(true, std::move(completion));
  });
}

void KLViewController::swipeToGoBack() {
  std::weak_ptr<KLViewController> weak = sharedAs<KLViewController>();
  platform::runOnMain([weak] {
    auto screen = weak.lock();
    if (!screen || screen->isRootViewController_) return;
    if (auto navigation = screen->navigationController()) navigation->popViewController(true);
  });
}

void KLViewController::handle_kLogoutNeededNotification() {
  if (popUpView_) {
    popUpView_->setCanBeDismissed(true);
    hidePopUpView();
  }
  hideAlertViewWithCompletion(nullptr);
}

void KLViewController::show_demoUserError() {
  if (!(permissions() & KLPermissionDemoUser)) return;
  displayPopUpViewWithTitle(hostText("Error"), hostText("DemoUserError"), std::nullopt, KLPopUpOptionNoSwipeDismiss,
                            {hostText("GotIt")});
}

void KLViewController::UI_addShadowToView(View& view) {
  view.layer().setShadowColor(Color::whiteColor());
  view.layer().setShadowOffset({1, 0});
  view.layer().setShadowOpacity(0.7);
  view.layer().setShadowRadius(3.0);
}

void KLViewController::resetData() { resetDataManagerForLogout(); }

void KLViewController::addAccessibilityIdentifiers() {
  if (auto label = titleLabel()) {
    label->setAccessibilityIdentifier("title_label");
    label->setIsAccessibilityElement(true);
  }
}

void KLViewController::setTitleFont() {
  auto navigation = navigationController();
  if (!navigation) return;
  const platform::Font font = S_RegularTextFont();
  auto bar = navigation->navigationBar();
  bar->setTitleColor(Color::whiteColor());
  bar->setTitleFont(font.faceName(), font.pointSize());
}

// ---- pop-up delegate ----

void KLViewController::firstButtonTapped() { hidePopUpViewWithCompletion(nullptr); }

void KLViewController::orientationDidChanged() {
  auto window = platform::Application::shared().keyWindow();
  if (!window) return;
  if (shadowView_) window->bringSubviewToFront(shadowView_.get());
  if (popUpView_) window->bringSubviewToFront(popUpView_.get());
}

bool KLViewController::respondsToSelector(std::string_view selector) const {
  return selector == "firstButtonTapped" || selector == "orientationDidChanged" ||
         KLPermissionsViewController::respondsToSelector(selector);
}

}  // namespace dk

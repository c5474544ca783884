// The base screen: the order of its set-up hooks, guarded presentation, the loading alert,
// network loss, going back, the status bar, and what happens when a screen is released.
#include "ui/kl_view_controller.h"

#include <gtest/gtest.h>

#include "foundation/color_codes.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/image_view.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/ui_notifications.h"
#include "ui/screen_test_support.h"

namespace dk {
namespace {

using platform::ViewController;
using test::LoggingScreen;

class BaseScreen : public test::ScreenTest {};

// A screen presented full screen: the presenter leaves the screen.
std::shared_ptr<ViewController> fullScreen() {
  auto c = std::make_shared<ViewController>();
  c->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  return c;
}

TEST_F(BaseScreen, HooksRunInLifeCycleOrder) {
  auto screen = std::make_shared<LoggingScreen>();
  screen->loadViewIfNeeded();
  EXPECT_EQ(screen->log,
            (std::vector<std::string>{"localization", "setFonts", "configureNotifications", "setUpViews"}));
  EXPECT_TRUE(screen->shouldDisplayConnectedToCameraAPError());
  screen->log.clear();
  show(screen);
  EXPECT_EQ(screen->log,
            (std::vector<std::string>{"setUpTitle", "unsubscribeFromNotifications", "subscribeToNotifications"}));
  screen->log.clear();
  screen->presentViewController(fullScreen(), false);
  driver().advance(0.6);
  EXPECT_EQ(screen->log, (std::vector<std::string>{"unsubscribeFromNotifications"})) << "disappearing";
}

TEST_F(BaseScreen, AppearingNamesTheTitleLabelForAccessibility) {
  auto screen = std::make_shared<LoggingScreen>();
  auto title = std::make_shared<platform::Label>(platform::Rect(0, 0, 200, 30));
  screen->loadViewIfNeeded();
  screen->view()->addSubview(title);
  screen->setTitleLabel(title);
  show(screen);
  EXPECT_EQ(title->accessibilityIdentifier(), "title_label");
  EXPECT_TRUE(title->isAccessibilityElement());
  EXPECT_EQ(window_->viewWithAccessibilityIdentifier("title_label"), title);
}

TEST_F(BaseScreen, TheMainViewTakesTheDarkThemeColour) {
  auto screen = std::make_shared<LoggingScreen>();
  auto background = std::make_shared<platform::View>();
  screen->setMainView(background);
  screen->loadViewIfNeeded();
  EXPECT_EQ(background->backgroundColor(), darkColor());
}

TEST_F(BaseScreen, PresentationIgnoresItselfAndControllersInTransition) {
  auto screen = show(std::make_shared<LoggingScreen>());
  screen->presentViewController(screen, false);
  driver().pump();
  EXPECT_EQ(screen->presentedViewController(), nullptr);

  auto other = std::make_shared<ViewController>();
  auto second = std::make_shared<platform::Window>();
  second->setRootViewController(other);
  auto sheet = std::make_shared<ViewController>();
  other->presentViewController(sheet, true);  // being presented for a while
  ASSERT_TRUE(sheet->isBeingPresented());
  screen->presentViewController(sheet, true);
  driver().advance(1);
  EXPECT_EQ(screen->presentedViewController(), nullptr);
  EXPECT_EQ(sheet->presentingViewController(), other);

  auto fromWorker = std::make_shared<ViewController>();
  platform::DispatchQueue::global()->async([screen, fromWorker] { screen->presentViewController(fromWorker, false); });
  platform::MainRunLoop::runUntilIdle();
  driver().advance(0.6);
  EXPECT_EQ(screen->presentedViewController(), fromWorker) << "presented after a hop to the main thread";
}

TEST_F(BaseScreen, TheLoadingAlertShowsItsMessageUnderTheAnimation) {
  auto screen = show(std::make_shared<LoggingScreen>());
  EXPECT_EQ(screen->getAlertViewTitle(), std::nullopt);
  screen->displayAlertViewWithMessage("Loading\nevents");
  driver().advance(0.6);
  auto alert = std::dynamic_pointer_cast<platform::AlertController>(screen->presentedViewController());
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert, screen->loadingAlertController());
  EXPECT_EQ(screen->getAlertViewTitle(), "Loadingevents");
  ASSERT_TRUE(alert->attributedTitle());
  EXPECT_EQ(alert->attributedTitle()->string, "\n\nLoading\nevents");
  EXPECT_EQ(alert->attributedTitle()->foregroundColor, darkColor());
  EXPECT_EQ(KLViewController::animationImages().size(), 90u);
  // Above the message: a 270 x 35 strip 5 points down, its spinner centred, a frame every 3.0 s / 90.
  std::shared_ptr<platform::View> strip;
  std::shared_ptr<platform::ImageView> spinner;
  for (const auto& view : alert->view()->subviews()) {
    for (const auto& inner : view->subviews()) {
      if (auto image = std::dynamic_pointer_cast<platform::ImageView>(inner); image && !image->animationImages().empty()) {
        strip = view;
        spinner = image;
      }
    }
  }
  ASSERT_TRUE(spinner);
  EXPECT_EQ(strip->frame(), platform::Rect(0, 5, 270, 35));
  EXPECT_EQ(spinner->frame(), platform::Rect(135 - 17.5, 0, 35, 35));
  EXPECT_EQ(spinner->animationImages().size(), 90u);
  EXPECT_EQ(spinner->animationDuration(), 3.0);
  EXPECT_TRUE(spinner->isAnimating());
  EXPECT_EQ(spinner->tintColor(), darkColor());

  int hidden = 0;
  screen->hideAlertViewWithCompletion([&] { ++hidden; });
  driver().advance(0.6);
  EXPECT_EQ(hidden, 1);
  EXPECT_EQ(screen->presentedViewController(), nullptr);
  screen->hideAlertViewWithCompletion([&] { ++hidden; });
  driver().advance(0.6);
  EXPECT_EQ(hidden, 1) << "no alert, no completion";
}

TEST_F(BaseScreen, LeavingTheScreenTakesItsAlertAlong) {
  auto screen = show(std::make_shared<LoggingScreen>());
  screen->displayAlertViewWithMessage("Loading events");
  driver().advance(0.6);
  ASSERT_TRUE(screen->presentedViewController());
  screen->viewWillDisappear(false);
  driver().advance(0.6);
  EXPECT_EQ(screen->presentedViewController(), nullptr);
}

TEST_F(BaseScreen, TheNavigationBarIsStyledForARootScreen) {
  auto screen = std::make_shared<LoggingScreen>();
  auto navigation = platform::NavigationController::withRoot(screen);
  showWindow(navigation);
  navigation->setNavigationBarHidden(true, false);
  screen->setIsRootViewController(true);
  screen->setUpNavigationItemsWithScreenTitle("Error");
  EXPECT_FALSE(navigation->isNavigationBarHidden());
  EXPECT_EQ(screen->title(), "Error");
  EXPECT_EQ(navigation->title(), "");
  EXPECT_TRUE(screen->navigationItem().hidesBackButton);
  EXPECT_EQ(navigation->navigationBar()->barTintColor(), darkColor());
  EXPECT_TRUE(navigation->navigationBar()->isTranslucent());
  EXPECT_EQ(navigation->navigationBar()->titleColor(), Color::whiteColor()) << "set when the view loaded";
}

TEST_F(BaseScreen, SwipingRightGoesBackUnlessTheScreenIsARoot) {
  auto root = std::make_shared<LoggingScreen>();
  auto navigation = platform::NavigationController::withRoot(root);
  showWindow(navigation);
  auto pushed = std::make_shared<LoggingScreen>();
  navigation->pushViewController(pushed, false);
  driver().advance(0.6);

  pushed->setIsRootViewController(true);
  driver().swipe({60, 400}, platform::kSwipeRight);
  driver().advance(0.6);
  EXPECT_EQ(navigation->topViewController(), pushed);
  pushed->setIsRootViewController(false);
  driver().swipe({60, 400}, platform::kSwipeRight);
  driver().advance(0.6);
  EXPECT_EQ(navigation->topViewController(), root);

  auto alone = show(std::make_shared<LoggingScreen>());
  alone->swipeToGoBack();  // no navigation controller: nothing to do
  driver().pump();
  EXPECT_EQ(window_->rootViewController(), alone);
}

// A screen with a no-network segue, recording the segues it is asked to follow.
class OfflineAwareScreen : public LoggingScreen {
 public:
  std::optional<std::string> segue = "noNetwork";
  std::vector<std::string> followed;
  int requestsAgain = 0;
  std::optional<std::string> transitionToNoNetworkConnection() override { return segue; }
  void requestsWhenNetworkOn() override { ++requestsAgain; }
  void performSegue(const std::string& identifier, const std::shared_ptr<void>&) override { followed.push_back(identifier); }
  bool respondsToSelector(std::string_view selector) const override {
    return selector == "transitionToNoNetworkConnection" || selector == "requestsWhenNetworkOn" ||
           LoggingScreen::respondsToSelector(selector);
  }
};

TEST_F(BaseScreen, NetworkLossFollowsTheNoNetworkSegueOfTheTopMostScreen) {
  auto screen = show(std::make_shared<OfflineAwareScreen>());
  auto& center = platform::NotificationCenter::defaultCenter();
  center.post(kNetworkNotReachableNotification);
  driver().pump();
  EXPECT_EQ(screen->followed, (std::vector<std::string>{"noNetwork"}));
  EXPECT_TRUE(screen->toNoNetwork());

  // Back on screen: the flag is cleared and the screen asks for its data again.
  screen->presentViewController(fullScreen(), false);
  driver().advance(0.6);
  screen->dismissViewController(false);
  driver().advance(0.6);
  EXPECT_FALSE(screen->toNoNetwork());
  EXPECT_EQ(screen->requestsAgain, 1);

  screen->presentViewController(fullScreen(), false);  // no longer top-most
  driver().advance(0.6);
  center.post(kNetworkNotReachableNotification);
  driver().pump();
  EXPECT_EQ(screen->followed.size(), 1u);
  screen->dismissViewController(false);
  driver().advance(0.6);

  screen->segue.reset();
  center.post(kNetworkNotReachableNotification);
  driver().pump();
  EXPECT_EQ(screen->followed.size(), 1u);
  EXPECT_FALSE(screen->toNoNetwork());

  platform::DispatchQueue::global()->async([] {
    platform::NotificationCenter::defaultCenter().post(kNetworkReachableNotification);
  });
  platform::MainRunLoop::runUntilIdle();
  EXPECT_EQ(screen->count("networkReachable"), 1u) << "a post from another thread reaches the screen on the main thread";
}

TEST_F(BaseScreen, TheStatusBarFollowsTheHiddenFlagAfterItsAnimation) {
  auto screen = show(std::make_shared<LoggingScreen>());
  screen->setIsHiddenStatusBar(true);
  driver().advance(0.6);
  EXPECT_TRUE(platform::Application::shared().isStatusBarHidden());
  EXPECT_EQ(platform::Application::shared().statusBarStyle(), platform::StatusBarStyle::LightContent);
  screen->setIsHiddenStatusBar(false);
  driver().advance(0.6);
  EXPECT_FALSE(platform::Application::shared().isStatusBarHidden());
}

TEST_F(BaseScreen, ADemoAccountIsToldWhatItCannotDo) {
  auto rights = std::make_shared<KLUserRightsResponse>();
  rights->setRights(KLUserRightDemoUser);
  installBaseScreenServices({[rights] { return rights; }});
  auto screen = show(std::make_shared<LoggingScreen>());
  screen->show_demoUserError();
  driver().advance(0.5);
  auto card = shownCard();
  ASSERT_TRUE(card);
  EXPECT_EQ(card->title(), "Error");
  EXPECT_EQ(card->infoLabel()->text(), "This action is not available for the demo user.");
  ASSERT_EQ(card->buttons().size(), 1u);
  EXPECT_EQ(card->buttons()[0]->currentTitle(), "Got it");
  driver().tap(*card->buttons()[0]);
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), nullptr);
}

TEST_F(BaseScreen, LogoutHidesEvenACardThatCannotBeDismissed) {
  auto screen = show(std::make_shared<LoggingScreen>());
  screen->displayPopUpViewWithTitle("Updating", std::nullopt, std::nullopt,
                                    KLPopUpOptionNoSwipeDismiss | KLPopUpOptionNotDismissable, {});
  driver().advance(0.5);
  screen->hidePopUpView();
  driver().advance(0.5);
  ASSERT_TRUE(shownCard());
  screen->handle_kLogoutNeededNotification();
  driver().advance(0.5);
  EXPECT_EQ(shownCard(), nullptr);

  int resets = 0;
  installBaseScreenServices({nullptr, [&] { ++resets; }, [&] { resets += 10; }});
  screen->resetData();
  EXPECT_EQ(resets, 11);
}

TEST_F(BaseScreen, ReleasingAScreenTakesItsCardAwayAtOnce) {
  auto screen = show(std::make_shared<LoggingScreen>());
  screen->displayPopUpViewWithTitle("Delete event?", "It cannot be undone.", std::nullopt, KLPopUpOptionNoSwipeDismiss,
                                    {"Delete", "Cancel"});
  driver().advance(0.5);
  ASSERT_TRUE(shownCard());
  std::weak_ptr<LoggingScreen> weak = screen;
  window_->setRootViewController(std::make_shared<ViewController>());
  screen.reset();
  ASSERT_TRUE(weak.expired());
  EXPECT_EQ(shownCard(), nullptr) << "no slide-out of a card whose screen is gone";
  EXPECT_EQ(window_->subviews().size(), 1u) << "the dimming view went too";
  auto& center = platform::NotificationCenter::defaultCenter();
  EXPECT_EQ(center.observerCount(kNetworkNotReachableNotification), 0u);
  EXPECT_EQ(center.observerCount(platform::kUIKeyboardWillShowNotification), 0u);
  driver().advance(1);
  center.post(kNetworkNotReachableNotification);
  EXPECT_EQ(center.observerCount(kNetworkNotReachableNotification), 0u);
}

// The card's own delegate learns that a card it could not dismiss goes with its screen.
class CardWatcher : public KLPopUpViewDelegate {
 public:
  int told = 0;
  void popupIsDeallocating() override { ++told; }
  bool respondsToSelector(std::string_view s) const override { return s == "popupIsDeallocating"; }
};

TEST_F(BaseScreen, ReleasingAScreenTellsTheDelegateOfACardThatCouldNotBeDismissed) {
  auto screen = show(std::make_shared<LoggingScreen>());
  screen->displayPopUpViewWithTitle("Saving", std::nullopt, std::nullopt, KLPopUpOptionNotDismissable, {});
  driver().advance(0.5);
  auto watcher = std::make_shared<CardWatcher>();
  screen->popUpView()->setConfirmationDelegate(watcher);
  window_->setRootViewController(std::make_shared<ViewController>());
  screen.reset();
  EXPECT_EQ(watcher->told, 1);
  EXPECT_EQ(shownCard(), nullptr);
}

}  // namespace
}  // namespace dk

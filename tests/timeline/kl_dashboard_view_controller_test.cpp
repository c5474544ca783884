// The dashboard base screen (the no-network panel in place of the table, the unsaved snapshot
// explained by the photo library's answer), the update badge and the peek screen.
#include "timeline/kl_dashboard_view_controller.h"

#include <gtest/gtest.h>

#include <thread>

#include "foundation/color_codes.h"
#include "live/kl_data_manager.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/bundle.h"
#include "platform/media/images/photo_library.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/ui_test_driver.h"
#include "services/scripted_executor.h"
#include "support/temp_directory.h"
#include "timeline/kl_timeline_preview_view_controller.h"
#include "timeline/kl_update_available_view.h"
#include "ui/fonts.h"
#include "ui/screen_test_support.h"

namespace dk {
namespace {

using platform::MainRunLoop;
using platform::PhotoAuthorizationStatus;

class Dashboard : public test::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    platform::PhotoLibrary::setRootDirectory(home_.path() / "Photos");
    // The screen observes the camera service: the managers talk to a cloud that refuses all.
    executor_->setScript([](const KLRequest&, size_t) { return test::ScriptedReply::failure(500); });
    KLServicesManager::setRequestExecutor(executor_);
  }
  void TearDown() override {
    window_.reset();
    MainRunLoop::runUntilIdle();
    KLDataManager::resetSharedInstance();
    MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
    ScreenTest::TearDown();
    platform::PhotoLibrary::setRootDirectory({});
  }
  // Lets the photo library answer, then the main thread show what it answered.
  void settleLibrary() {
    platform::PhotoLibrary::sharedPhotoLibrary()->queue()->sync([] {});
    MainRunLoop::runUntilIdle();
    driver().advance(0.6);
  }
  test::TemporaryHome home_;
  std::shared_ptr<test::ScriptedExecutor> executor_ = std::make_shared<test::ScriptedExecutor>();
};

TEST_F(Dashboard, TheNoNetworkPanelStandsInForTheTableOfTheTopMostScreen) {
  auto screen = show(std::make_shared<KLDashboardViewController>());
  ASSERT_TRUE(screen->tableView());
  ASSERT_TRUE(screen->noConnectionView());
  EXPECT_FALSE(screen->tableView()->isHidden());
  EXPECT_TRUE(screen->noConnectionView()->isHidden());

  screen->handle_kNetworkNotReachableNotification();
  driver().pump();
  EXPECT_TRUE(screen->showNoNetworkConnection());
  EXPECT_TRUE(screen->tableView()->isHidden());
  EXPECT_FALSE(screen->noConnectionView()->isHidden());

  // The host's reachable notification brings the table back.
  platform::NotificationCenter::defaultCenter().post(kNetworkReachableNotification);
  driver().pump();
  EXPECT_FALSE(screen->showNoNetworkConnection());
  EXPECT_FALSE(screen->tableView()->isHidden());
  EXPECT_TRUE(screen->noConnectionView()->isHidden());
}

TEST_F(Dashboard, ThePanelTakesAShownPopUpAwayWithIt) {
  auto screen = show(std::make_shared<KLDashboardViewController>());
  screen->displayPopUpViewWithTitle("Title", "Text", std::nullopt, KLPopUpOptionNotDismissable, {"OK"});
  driver().advance(0.6);
  ASSERT_TRUE(shownCard());
  screen->handle_kNetworkNotReachableNotification();
  driver().advance(0.6);
  EXPECT_EQ(shownCard(), nullptr);
}

TEST_F(Dashboard, AScreenUnderAnotherOnlyRemembersTheLoss) {
  auto screen = show(std::make_shared<KLDashboardViewController>());
  auto cover = std::make_shared<platform::ViewController>();
  cover->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  screen->presentViewController(cover, false);
  driver().advance(0.6);
  screen->handle_kNetworkNotReachableNotification();
  driver().pump();
  EXPECT_TRUE(screen->showNoNetworkConnection());
  EXPECT_FALSE(screen->tableView()->isHidden());

  // Coming back on top applies it.
  cover->dismissViewController(false);
  driver().advance(0.6);
  EXPECT_TRUE(screen->tableView()->isHidden());
  EXPECT_FALSE(screen->noConnectionView()->isHidden());
}

TEST_F(Dashboard, RepeatedAppearancesLeaveOneResultForOneReachableNotification) {
  auto screen = show(std::make_shared<KLDashboardViewController>());
  for (int i = 0; i < 3; ++i) screen->viewDidAppear(false);
  screen->handle_kNetworkNotReachableNotification();
  driver().pump();
  platform::NotificationCenter::defaultCenter().post(kNetworkReachableNotification);
  driver().pump();
  EXPECT_FALSE(screen->tableView()->isHidden());
  EXPECT_TRUE(screen->noConnectionView()->isHidden());
}

TEST_F(Dashboard, AnUnsavedSnapshotIsExplainedByThePhotoLibrarysAnswer) {
  auto text = [](const char* key) {
    return platform::Bundle::withIdentifier("com.devicekeeper.DKChronoKit")->localizedString(key);
  };
  struct Case {
    PhotoAuthorizationStatus answer;
    std::optional<std::string> info;
  };
  for (const auto& c : {Case{PhotoAuthorizationStatus::Denied, text("AllowPermisionToSaveSnapshot")},
                        Case{PhotoAuthorizationStatus::Restricted, text("AllowPermisionToSaveSnapshot")},
                        Case{PhotoAuthorizationStatus::Authorized, text("ADecodingErrorOccuredPleaseTryAgainLater")}}) {
    platform::PhotoLibrary::setRootDirectory(home_.path() / "Photos");
    platform::PhotoLibrary::sharedPhotoLibrary()->setUserAnswer(c.answer);
    auto screen = show(std::make_shared<KLDashboardViewController>());
    platform::NotificationCenter::defaultCenter().post(kImageNotCapturedNotification);
    settleLibrary();
    auto card = shownCard();
    ASSERT_TRUE(card) << static_cast<int>(c.answer);
    EXPECT_EQ(card->titleLabel()->text(), text("UnableToSaveSnapshot"));
    EXPECT_EQ(card->infoLabel()->text(), *c.info);
  }
}

TEST_F(Dashboard, AScreenThatLeftNoLongerHearsOfUnsavedSnapshots) {
  platform::PhotoLibrary::sharedPhotoLibrary()->setUserAnswer(PhotoAuthorizationStatus::Denied);
  auto screen = show(std::make_shared<KLDashboardViewController>());
  screen->viewWillDisappear(false);
  platform::NotificationCenter::defaultCenter().post(kImageNotCapturedNotification);
  settleLibrary();
  EXPECT_EQ(shownCard(), nullptr);
}

TEST_F(Dashboard, AZoneListChangedOnAnotherThreadReloadsTheTableOnTheMainThread) {
  auto screen = show(std::make_shared<KLDashboardViewController>());
  auto keeper = KLDataManager::sharedInstance()->deviceKeeper();
  auto zone = std::make_shared<KLZoneResponse>();
  zone->setZoneID(3);
  zone->setName("Home");
  keeper->setZone(zone);
  EXPECT_TRUE(screen->backButton()->currentTitle().empty());

  std::thread merge([&] { keeper->zones()->setValues(valueArray(Zones{zone})); });
  merge.join();
  EXPECT_TRUE(screen->backButton()->currentTitle().empty()) << "the screen is not touched off the main thread";
  driver().pump();
  EXPECT_EQ(screen->backButton()->currentTitle(), "Home");
  EXPECT_EQ(screen->backButton()->titleForState(platform::kControlStateSelected), "Home");

  // Gone with the screen: the zone list is watched no more.
  std::weak_ptr<KLDashboardViewController> weak = screen;
  screen.reset();
  window_->setRootViewController(std::make_shared<platform::ViewController>());
  MainRunLoop::runUntilIdle();
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(keeper->zones()->hasKeyValueObservers());
}

TEST_F(Dashboard, TheBackButtonAndTitleAreStyledForTheDarkScreen) {
  auto screen = show(std::make_shared<KLDashboardViewController>());
  EXPECT_TRUE(screen->backButton()->imageView()->image());
  EXPECT_EQ(screen->titleLabel()->textColor(), platform::Color::whiteColor());
  EXPECT_EQ(screen->titleLabel()->font().pointSize(), S_RegularTextFont().pointSize());
  EXPECT_EQ(screen->tableView()->numberOfSections(), 0);
}

TEST_F(Dashboard, ARightSwipeGoesBackToTheRootOfTheTabsNavigation) {
  auto dashboard = std::make_shared<KLDashboardViewController>();
  auto tabs = std::make_shared<platform::TabBarController>();
  tabs->setViewControllers({dashboard});
  auto root = std::make_shared<platform::ViewController>();
  auto navigation = platform::NavigationController::withRoot(root);
  showWindow(navigation);
  navigation->pushViewController(std::make_shared<platform::ViewController>(), false);
  navigation->pushViewController(tabs, false);
  driver().advance(0.6);
  ASSERT_EQ(navigation->viewControllers().size(), 3u);
  driver().swipe(platform::UiTestDriver::centerOf(*dashboard->view()), platform::kSwipeRight);
  driver().advance(1.0);
  // As the back button: the whole way back, not one screen.
  EXPECT_EQ(navigation->viewControllers().size(), 1u);
  EXPECT_EQ(navigation->topViewController(), root);
}

class Badge : public test::ScreenTest {};

TEST_F(Badge, ItIsAsWideAsItsTextAndImagePlusSpacingAndFortyHigh) {
  auto badge = KLUpdateAvailableView::make(platform::Rect(0, 0, 200, 40));
  badge->setTitle("NewEventsAvailable");
  auto size = badge->intrinsicContentSize();
  std::string text = platform::Bundle::withIdentifier("com.devicekeeper.DKChronoKit")->localizedString("NewEventsAvailable");
  EXPECT_EQ(badge->label()->text(), text);
  EXPECT_DOUBLE_EQ(size.width, XS_RegularTextFont().sizeOfText(text).width + badge->imageView()->frame().size.width + 24);
  EXPECT_DOUBLE_EQ(size.height, 40.0);
  EXPECT_EQ(badge->view()->backgroundColor(), lightColor());
  const auto& layer = badge->view()->layer();
  EXPECT_DOUBLE_EQ(layer.cornerRadius(), 20.0);
  // A soft black shadow down and to the right.
  EXPECT_EQ(layer.shadowColor(), (platform::Color{0, 0, 0, 1}));
  EXPECT_EQ(layer.shadowOffset(), (platform::Size{1.5, 1.5}));
  EXPECT_DOUBLE_EQ(layer.shadowOpacity(), 0.5);
  EXPECT_DOUBLE_EQ(layer.shadowRadius(), 2.0);
}

TEST_F(Badge, SizeRequestsDoNotPileUpConstraints) {
  auto badge = KLUpdateAvailableView::make(platform::Rect(0, 0, 200, 40));
  badge->setTitle("NewEventsAvailable");
  badge->intrinsicContentSize();
  size_t count = badge->constraints().size();
  for (int i = 0; i < 10; ++i) badge->intrinsicContentSize();
  EXPECT_EQ(badge->constraints().size(), count);
  EXPECT_EQ(count, 4u);
}

TEST_F(Badge, AKeyWithoutTranslationIsShownAndSizedAsItIs) {
  auto badge = KLUpdateAvailableView::make(platform::Rect(0, 0, 200, 40));
  badge->setTitle("SomeUntranslatedKey");
  auto size = badge->intrinsicContentSize();
  EXPECT_EQ(badge->label()->text(), "SomeUntranslatedKey");
  EXPECT_DOUBLE_EQ(size.width,
                   XS_RegularTextFont().sizeOfText("SomeUntranslatedKey").width + badge->imageView()->frame().size.width + 24);
}

TEST_F(Badge, ThePeekScreenShowsTheCameraImageRounded) {
  auto preview = std::make_shared<KLTimelinePreviewViewController>();
  auto image = platform::Image::withColor(platform::Color{1, 0, 0, 1}, {4, 4});
  preview->setCameraImage(image);
  preview->loadViewIfNeeded();
  ASSERT_TRUE(preview->previewImageView());
  EXPECT_EQ(preview->previewImageView()->image(), image);
  EXPECT_DOUBLE_EQ(preview->previewImageView()->layer().cornerRadius(), 16);
  EXPECT_TRUE(preview->previewImageView()->clipsToBounds());
}

}  // namespace
}  // namespace dk

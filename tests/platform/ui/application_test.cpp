// The application: life-cycle notifications, background tasks, URLs, keyboard payloads.
#include <gtest/gtest.h>

#include "platform/foundation/notification_center.h"
#include "platform/ui/application.h"
#include "platform/ui/ui_notifications.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

class ApplicationTest : public UiTest {
 protected:
  std::shared_ptr<const void> observe(const std::string& name) {
    return NotificationCenter::defaultCenter().addObserver(name, [this](const Notification& n) {
      log_.add(n.name);
      last_ = n;
    });
  }
  CallLog log_;
  Notification last_;
};

TEST_F(ApplicationTest, GoingToTheBackgroundAndBackPostsThePlatformsNotificationsInOrder) {
  showWindow();
  auto token = observe("");
  auto& app = Application::shared();
  driver().enterBackground();
  EXPECT_EQ(app.applicationState(), ApplicationState::Background);
  driver().enterBackground();  // already there
  driver().enterForeground();
  EXPECT_EQ(app.applicationState(), ApplicationState::Active);
  EXPECT_EQ(log_.calls, (std::vector<std::string>{kUIApplicationWillResignActiveNotification,
                                                   kUIApplicationDidEnterBackgroundNotification,
                                                   kUIApplicationWillEnterForegroundNotification,
                                                   kUIApplicationDidBecomeActiveNotification}));
}

TEST_F(ApplicationTest, BackgroundTasksExpireAfterTheAllowanceUnlessEnded) {
  auto& app = Application::shared();
  int expired = 0;
  BackgroundTaskIdentifier task = kBackgroundTaskInvalid;
  task = app.beginBackgroundTask([&] {
    ++expired;
    app.endBackgroundTask(task);
    task = kBackgroundTaskInvalid;
  });
  EXPECT_NE(task, kBackgroundTaskInvalid);
  app.enterBackground();
  clock_.advance(Application::kBackgroundTimeAllowance - 1);
  EXPECT_EQ(expired, 0);
  EXPECT_NEAR(app.backgroundTimeRemaining(), 1, 1e-6);
  clock_.advance(2);
  EXPECT_EQ(expired, 1);
  EXPECT_EQ(task, kBackgroundTaskInvalid);
  EXPECT_EQ(app.backgroundTaskCount(), 0u);

  auto ended = app.beginBackgroundTask([&] { ++expired; });
  EXPECT_EQ(ended, kBackgroundTaskInvalid);  // no time left to start one
  app.enterForeground();
  auto second = app.beginBackgroundTask([&] { ++expired; });
  app.enterBackground();
  app.endBackgroundTask(second);
  clock_.advance(60);
  EXPECT_EQ(expired, 1);
}

TEST_F(ApplicationTest, URLsAreRecordedAndOpenOnlyForKnownSchemes) {
  auto& app = Application::shared();
  app.registerOpenableURLPrefix("App-prefs:");
  EXPECT_FALSE(app.canOpenURL("prefs:root"));
  EXPECT_TRUE(app.canOpenURL("App-prefs:root"));
  std::vector<bool> results;
  app.openURL("prefs:root", [&](bool ok) { results.push_back(ok); });
  app.openURL("App-prefs:root", [&](bool ok) { results.push_back(ok); });
  driver().pump();
  EXPECT_EQ(results, (std::vector<bool>{false, true}));
  EXPECT_EQ(app.openedURLs(), (std::vector<std::string>{"prefs:root", "App-prefs:root"}));
}

TEST_F(ApplicationTest, KeyboardNotificationsCarryTheFramesAndWhetherTheKeyboardIsOurs) {
  auto token = observe("");
  auto& app = Application::shared();
  app.showKeyboard(300);
  ASSERT_EQ(log_.calls, (std::vector<std::string>{kUIKeyboardWillShowNotification}));
  auto shown = KeyboardInfo::fromUserInfo(last_.userInfo);
  EXPECT_EQ(shown.frameEnd, Rect(0, 812 - 300, 375, 300));
  EXPECT_TRUE(shown.isLocal);
  driver().advance(0.3);
  EXPECT_EQ(log_.calls.back(), kUIKeyboardDidShowNotification);
  app.hideKeyboard(0.25, false);
  auto hidden = KeyboardInfo::fromUserInfo(last_.userInfo);
  EXPECT_EQ(hidden.frameEnd.height(), 300);  // a hiding keyboard keeps its height
  EXPECT_EQ(hidden.frameEnd.minY(), 812);
  EXPECT_FALSE(hidden.isLocal);
  EXPECT_EQ(rectFromUserInfo(last_.userInfo, kUIKeyboardFrameBeginUserInfoKey), Rect(0, 512, 375, 300));
}

TEST_F(ApplicationTest, TheDeviceTurningIsAnnouncedAfterTheInterfaceTurned) {
  showWindow();
  InterfaceOrientation seen = InterfaceOrientation::Unknown;
  auto token = NotificationCenter::defaultCenter().addObserver(kUIDeviceOrientationDidChangeNotification,
                                                                [&](const Notification&) {
                                                                  seen = Application::shared().statusBarOrientation();
                                                                });
  driver().rotate(DeviceOrientation::LandscapeRight);
  EXPECT_EQ(Device::current().orientation(), DeviceOrientation::LandscapeRight);
  EXPECT_EQ(seen, InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(platform::Screen::main().bounds(), Rect(0, 0, 812, 375));
  seen = InterfaceOrientation::Unknown;
  driver().rotate(DeviceOrientation::FaceUp);  // no interface change, still announced
  EXPECT_EQ(seen, InterfaceOrientation::LandscapeLeft);
}

TEST_F(ApplicationTest, StatusBarFollowsTheTopScreensPreferences) {
  struct Hidden : ViewController {
    bool prefersStatusBarHidden() const override { return true; }
    StatusBarStyle preferredStatusBarStyle() const override { return StatusBarStyle::LightContent; }
  };
  auto screen = std::make_shared<Hidden>();
  showWindow(screen);
  screen->setNeedsStatusBarAppearanceUpdate();
  EXPECT_TRUE(Application::shared().isStatusBarHidden());
  EXPECT_EQ(Application::shared().statusBarStyle(), StatusBarStyle::LightContent);
}

}  // namespace
}  // namespace dk::platform::testing

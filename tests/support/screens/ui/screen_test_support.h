// Shared set-up for the base-screen tests: the UI fixture with the framework's fonts and theme
// colours fixed, no rights source installed, and a few screens that record what happens to them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/color_manager.h"
#include "platform/ui/ui_fixture.h"
#include "platform/ui/window.h"
#include "ui/base_screen_services.h"
#include "ui/fonts.h"
#include "ui/kl_view_controller.h"

namespace dk::test {

class ScreenTest : public platform::testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    // Roboto on a large phone: the sizes the pictures and heights below are measured with.
    setFontEnvironment({[] { return 1L; }, [] { return 0; }, [] { return 0; }});
    ColorManager::setPrimaryColors("#0c94c8");
    ColorManager::setSecondaryColors("#333333");
    installBaseScreenServices({});
  }
  void TearDown() override {
    UiTest::TearDown();
    installBaseScreenServices({});
    setFontEnvironment({});
    ColorManager::resetForTesting();
  }

  // A key window showing `screen`, settled.
  template <typename T>
  std::shared_ptr<T> show(std::shared_ptr<T> screen) {
    showWindow(screen);
    driver().advance(0.6);
    return screen;
  }

  // The card the key window shows, or nullptr.
  std::shared_ptr<KLPopUpView> shownCard() {
    return std::dynamic_pointer_cast<KLPopUpView>(window_->viewWithAccessibilityIdentifier("pop_up_view"));
  }
};

// A base screen that logs its hooks and the pop-up delegate calls it receives.
class LoggingScreen : public KLViewController {
 public:
  std::vector<std::string> log;

  void localization() override { log.push_back("localization"); }
  void setFonts() override { log.push_back("setFonts"); }
  void configureNotifications() override {
    log.push_back("configureNotifications");
    KLViewController::configureNotifications();
  }
  void setUpViews() override {
    log.push_back("setUpViews");
    KLViewController::setUpViews();
  }
  void setUpTitle() override { log.push_back("setUpTitle"); }
  void unsubscribeFromNotifications() override { log.push_back("unsubscribeFromNotifications"); }
  void subscribeToNotifications() override { log.push_back("subscribeToNotifications"); }
  void handle_kNetworkReachableNotification() override { log.push_back("networkReachable"); }
  void secondButtonTapped() override {
    log.push_back("secondButtonTapped");
    hidePopUpView();
  }
  void dontShowPopUpAgain() override { log.push_back("dontShowPopUpAgain"); }
  void attributedTextTapped(const std::string& text) override { log.push_back("tapped:" + text); }
  void orientationDidChanged() override {
    log.push_back("orientationDidChanged");
    KLViewController::orientationDidChanged();
  }
  bool respondsToSelector(std::string_view selector) const override {
    return selector == "secondButtonTapped" || selector == "dontShowPopUpAgain" || selector == "attributedTextTapped:" ||
           KLViewController::respondsToSelector(selector);
  }
  size_t count(const std::string& entry) const {
    size_t n = 0;
    for (const auto& e : log) n += e == entry;
    return n;
  }
};

// A screen that deletes something when the first (animatable) button is tapped: it keeps the
// completion until the work is done.
class DeletingScreen : public LoggingScreen {
 public:
  std::function<void()> pendingCompletion;
  void firstButtonTappedWithCompletion(std::function<void()> completion) override {
    log.push_back("firstButtonTappedWithCompletion");
    pendingCompletion = std::move(completion);
  }
  bool respondsToSelector(std::string_view selector) const override {
    return selector == "firstButtonTappedWithCompletion:" || LoggingScreen::respondsToSelector(selector);
  }
};

}  // namespace dk::test

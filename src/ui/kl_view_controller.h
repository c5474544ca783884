// KLViewController: the base of the framework's full-screen controllers. It fixes the order in
// which a screen's set-up hooks run, reacts to the host's network notifications, shows and hides a
// modal loading alert, shows option-driven pop-up cards (KLPopUpView) over the key window, moves
// them for the keyboard, guards modal presentation, and styles the status and navigation bars.
//
// Screens are made by their storyboards (or by a test) and held by shared_ptr; the pop-up card and
// its dimming view live in the key window while shown, and the screen removes them at once when it
// is released. Main thread only, except the operations marked "hop", which run at once on the main
// thread and are queued to the main queue from elsewhere.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/key_value_observation_controller.h"
#include "platform/foundation/notification_center.h"
#include "platform/graphics/image.h"
#include "platform/ui/alert_controller.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "ui/kl_permissions_view_controller.h"
#include "ui/kl_pop_up_view.h"

namespace dk {

// Posted by the host only.
inline constexpr const char* kNetworkReachableNotification = "kNetworkReachableNotification";
inline constexpr const char* kNetworkNotReachableNotification = "kNetworkNotReachableNotification";

// Both optional.
class KLNetworkOnOffProtocol : public virtual platform::Protocol {
 public:
  virtual void requestsWhenNetworkOn() {}
  // The identifier of the segue to follow when the network is lost, or nullopt.
  virtual std::optional<std::string> transitionToNoNetworkConnection() { return std::nullopt; }
};

// A screen over which base screens below it may still show their pop-ups although they are not
// the top-most screen (the player's screens derive from it).
class PopUpPassThroughScreen {
 public:
  virtual ~PopUpPassThroughScreen() = default;
};

class KLViewController : public KLPermissionsViewController,
                         public KLPopUpViewDelegate,
                         public KLNetworkOnOffProtocol {
 public:
  KLViewController();
  explicit KLViewController(std::string nibName);
  ~KLViewController() override;

  // ---- properties ----
  const std::shared_ptr<platform::View>& shadowView() const { return shadowView_; }
  // Built on first use and kept.
  std::shared_ptr<platform::AlertController> loadingAlertController();
  bool toNoNetwork() const { return toNoNetwork_; }
  void setToNoNetwork(bool value) { toNoNetwork_ = value; }
  // Outlets, held weakly.
  std::shared_ptr<platform::View> mainView() const { return mainView_.lock(); }
  void setMainView(std::weak_ptr<platform::View> view) { mainView_ = std::move(view); }
  std::shared_ptr<platform::Label> titleLabel() const { return titleLabel_.lock(); }
  void setTitleLabel(std::weak_ptr<platform::Label> label) { titleLabel_ = std::move(label); }
  std::shared_ptr<platform::ImageView> topImageView() const { return topImageView_.lock(); }
  void setTopImageView(std::weak_ptr<platform::ImageView> view) { topImageView_ = std::move(view); }
  std::shared_ptr<platform::View> backgroundOverlay() const { return backgroundOverlay_.lock(); }
  void setBackgroundOverlay(std::weak_ptr<platform::View> view) { backgroundOverlay_ = std::move(view); }
  const std::shared_ptr<KLPopUpView>& popUpView() const { return popUpView_; }
  float keyboardHeight() const { return keyboardHeight_; }
  bool wasPopped() const { return wasPopped_; }
  void setWasPopped(bool value) { wasPopped_ = value; }
  bool isAnimationDone() const { return isAnimationDone_; }
  bool isRootViewController() const { return isRootViewController_; }
  void setIsRootViewController(bool value) { isRootViewController_ = value; }
  bool isHiddenStatusBar() const { return isHiddenStatusBar_; }
  // Stores the flag, then updates the status bar inside a 0.5 s animation.
  void setIsHiddenStatusBar(bool hidden);
  bool shouldDisplayConnectedToCameraAPError() const { return shouldDisplayConnectedToCameraAPError_; }
  // The screen's key-value observations (made by the dashboard base screen; nil until then).
  // Owned by the screen, which it holds weakly: the observations end with the screen.
  const std::shared_ptr<platform::KeyValueObservationController>& kvoController() const { return kvoController_; }
  void setKvoController(std::shared_ptr<platform::KeyValueObservationController> controller) {
    kvoController_ = std::move(controller);
  }

  // The loading animation's frames: "loadingGrey1" to "loadingGrey90" tinted with the light theme
  // colour of the first use, kept for the life of the process.
  static const std::vector<platform::ImagePtr>& animationImages();

  // ---- life cycle ----
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // ---- hooks ----
  virtual void localization() {}
  virtual void setFonts() {}
  // Observes the host's network notifications.
  virtual void configureNotifications();
  // The main view in the dark theme colour and a right swipe that goes back.
  virtual void setUpViews();
  virtual void setUpTitle() {}
  virtual void unsubscribeFromNotifications() {}
  virtual void subscribeToNotifications() {}
  virtual void handle_kNetworkReachableNotification() {}
  // Follows the screen's no-network segue when it has one and is the top-most screen.
  virtual void handle_kNetworkNotReachableNotification();
  virtual void setUpKVOController() {}
  virtual void requests() {}
  virtual void setUpAnalyticsForScreen(const std::shared_ptr<void>& screen) {}
  // Dark, translucent navigation bar with the localised title.
  virtual void setUpNavigationItemsWithScreenTitle(const std::string& key);

  // ---- presentation and alerts ----
  // Hop. Ignores the screen itself and a controller being presented or dismissed.
  void presentViewController(const std::shared_ptr<platform::ViewController>& controller, bool animated,
                             std::function<void()> completion = nullptr) override;
  // The base screens follow no segues.
  void performSegue(const std::string& identifier, const std::shared_ptr<void>& sender) override {}
  // Presents the loading alert with the message under its animation.
  void displayAlertViewWithMessage(const std::string& message);
  // The loading alert's title without line feeds; nullopt while no message was shown.
  std::optional<std::string> getAlertViewTitle();
  // Hop. Dismisses a presented alert (animated) and passes it the completion; without one the
  // completion does not run.
  void hideAlertViewWithCompletion(std::function<void()> completion);
  // Hop. Pops the navigation stack unless this is a root screen (the screen's right swipe).
  virtual void swipeToGoBack();
  void handle_kLogoutNeededNotification();
  void show_demoUserError();
  void UI_addShadowToView(platform::View& view);
  // Cancels the logout requests and resets the data manager (through the base screen services).
  void resetData();
  void addAccessibilityIdentifiers();
  void setTitleFont();

  // ---- pop-ups ----
  // Hop. Shows a card unless one is up (then only its rotatability follows option 2) or the screen
  // is not the top-most one (a pass-through screen on top excepted).
  void displayPopUpViewWithTitle(std::optional<std::string> title, std::optional<std::string> infoText,
                                 std::optional<std::string> image, unsigned long options,
                                 std::vector<std::string> buttonsTitles);
  void displayPopUpViewWithTitle(std::optional<std::string> title, std::optional<std::string> infoText,
                                 std::optional<std::string> image, std::optional<std::string> linkText,
                                 unsigned long options, std::vector<std::string> buttonsTitles);
  // Where a card of `width` centred on `centerX` starts its slide-in, with no height yet: above the
  // screen's view with option 8, else just below it.
  static platform::Rect popUpStartFrame(unsigned long options, const platform::Rect& screenFrame, double centerX,
                                        double width);
  // Hop. hidePopUpViewWithCompletion(nullptr) when a card is shown.
  void hidePopUpView();
  // Hop. Slides a dismissable card out (0.4 s), removes it and its dimming view, re-registers the
  // screen's notifications and runs the completion; a card that cannot be dismissed stays and the
  // completion does not run.
  void hidePopUpViewWithCompletion(std::function<void()> completion);
  // The keyboard appears: the card moves up by its height (or by the change of height); it hides:
  // the card moves back down by the height it moved up for.
  void handle_UIKeyboardWillShowNotification(const platform::Notification& notification);

  // ---- pop-up delegate ----
  void firstButtonTapped() override;
  void orientationDidChanged() override;

  // ---- fixed answers ----
  bool prefersStatusBarHidden() const override { return isHiddenStatusBar_; }
  platform::StatusBarAnimation preferredStatusBarUpdateAnimation() const override {
    return platform::StatusBarAnimation::Slide;
  }
  platform::StatusBarStyle preferredStatusBarStyle() const override { return platform::StatusBarStyle::LightContent; }
  bool prefersHomeIndicatorAutoHidden() const override { return true; }
  unsigned supportedInterfaceOrientations() const override { return platform::kOrientationMaskPortrait; }
  bool shouldAutorotate() const override { return false; }

  bool respondsToSelector(std::string_view selector) const override;

 protected:
  // Registers this screen for `name` on the default centre; the handler runs on the main thread
  // while the screen lives. Removed with every other registration when a card is hidden.
  void observe(const std::string& name, std::function<void(KLViewController&, const platform::Notification&)> handler);
  const void* observerKey() const { return static_cast<const void*>(static_cast<const KLViewController*>(this)); }

 private:
  void showPopUp(std::optional<std::string> title, std::optional<std::string> infoText,
                 std::optional<std::string> image, std::optional<std::string> linkText, unsigned long options,
                 std::vector<std::string> buttonsTitles);
  void hidePopUpNow(std::function<void()> completion);
  void finishHiding(const std::shared_ptr<KLPopUpView>& card, const std::shared_ptr<platform::View>& shadow,
                    std::function<void()> completion);

  std::shared_ptr<platform::View> shadowView_;
  std::shared_ptr<platform::AlertController> loadingAlertController_;
  bool toNoNetwork_ = false;
  std::weak_ptr<platform::View> mainView_;
  std::weak_ptr<platform::Label> titleLabel_;
  std::weak_ptr<platform::ImageView> topImageView_;
  std::weak_ptr<platform::View> backgroundOverlay_;
  std::shared_ptr<KLPopUpView> popUpView_;
  std::shared_ptr<platform::KeyValueObservationController> kvoController_;
  float keyboardHeight_ = 0;
  bool wasPopped_ = false;
  bool isAnimationDone_ = false;
  bool isRootViewController_ = false;
  bool isHiddenStatusBar_ = false;
  bool shouldDisplayConnectedToCameraAPError_ = false;
};

}  // namespace dk

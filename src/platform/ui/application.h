// Application: the process's UI application (UIApplication).
//
// One shared instance holds the visible windows (the key window last made key), the application
// state, background tasks, the interface (status-bar) orientation, status-bar appearance, the idle
// timer switch and the URLs asked to open (recorded; the schemes that "can open" are configured).
// A host or a test drives it: enterBackground() and enterForeground() post the platform's
// notifications in the platform's order; showKeyboard()/hideKeyboard() post the keyboard ones;
// Device::setOrientation() ends in deviceOrientationDidChange(), which rotates the interface when
// the top screen supports the new orientation. Background tasks not ended within
// kBackgroundTimeAllowance seconds (of the current clock) after entering the background have
// their expiration handlers called. resetForTesting() restores a fresh, active, portrait
// application without windows. Main thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/device.h"
#include "platform/ui/view_controller.h"

namespace dk::platform {

class Window;
class Timer;

enum class ApplicationState { Active = 0, Inactive = 1, Background = 2 };
using BackgroundTaskIdentifier = unsigned long;
inline constexpr BackgroundTaskIdentifier kBackgroundTaskInvalid = 0;

class Application {
 public:
  static constexpr double kBackgroundTimeAllowance = 30.0;

  static Application& shared();
  void resetForTesting();

  // ---- windows ----
  std::shared_ptr<Window> keyWindow() const { return keyWindow_.lock(); }
  const std::vector<std::shared_ptr<Window>>& windows() const { return windows_; }
  void makeKeyWindow(const std::shared_ptr<Window>& window);
  void removeWindow(const Window* window);

  // ---- state ----
  ApplicationState applicationState() const { return state_; }
  void enterBackground();   // willResignActive, didEnterBackground
  void enterForeground();   // willEnterForeground, didBecomeActive
  void resignActive();      // Active → Inactive (a call, the control centre)
  void becomeActive();      // Inactive → Active

  // ---- background tasks ----
  BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler);
  BackgroundTaskIdentifier beginBackgroundTask(const std::string& name, std::function<void()> expirationHandler);
  void endBackgroundTask(BackgroundTaskIdentifier identifier);
  size_t backgroundTaskCount() const { return tasks_.size(); }
  bool isBackgroundTaskRunning(BackgroundTaskIdentifier identifier) const { return tasks_.count(identifier) > 0; }
  // Seconds left before the expiration handlers run (a large value while in the foreground).
  double backgroundTimeRemaining() const;

  // ---- orientation and status bar ----
  InterfaceOrientation statusBarOrientation() const { return interfaceOrientation_; }
  // Called by Device::setOrientation.
  void deviceOrientationDidChange(DeviceOrientation orientation);
  // Applies `change` to what the traits are made of, then tells every screen on display whose
  // traits it changed (traitCollectionDidChange with the traits before).
  void changeTraits(const std::function<void()>& change);
  // Rotates the interface now (when `force`, whatever the top screen supports).
  void setInterfaceOrientation(InterfaceOrientation orientation, bool force = false);
  bool isStatusBarHidden() const { return statusBarHidden_; }
  StatusBarStyle statusBarStyle() const { return statusBarStyle_; }
  // Re-reads the status-bar preferences of the top screen (what setNeedsStatusBarAppearanceUpdate does).
  void updateStatusBarAppearance();
  bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
  void setIdleTimerDisabled(bool disabled) { idleTimerDisabled_ = disabled; }

  // ---- URLs ----
  // A URL "can open" when it starts with one of the registered prefixes ("prefs:", "https:").
  void registerOpenableURLPrefix(const std::string& prefix) { openablePrefixes_.insert(prefix); }
  bool canOpenURL(const std::string& url) const;
  void openURL(const std::string& url, std::function<void(bool success)> completion = nullptr);
  const std::vector<std::string>& openedURLs() const { return openedURLs_; }

  // ---- keyboard ----
  void showKeyboard(double height, double duration = 0.25, bool local = true);
  void hideKeyboard(double duration = 0.25, bool local = true);
  bool isKeyboardVisible() const { return keyboardVisible_; }
  double keyboardHeight() const { return keyboardHeight_; }

 private:
  Application() = default;
  void scheduleExpiration();
  void expireBackgroundTasks();

  std::vector<std::shared_ptr<Window>> windows_;
  std::weak_ptr<Window> keyWindow_;
  ApplicationState state_ = ApplicationState::Active;
  std::map<BackgroundTaskIdentifier, std::function<void()>> tasks_;
  BackgroundTaskIdentifier nextTask_ = 1;
  double backgroundSince_ = 0;
  std::shared_ptr<Timer> expirationTimer_;
  InterfaceOrientation interfaceOrientation_ = InterfaceOrientation::Portrait;
  bool statusBarHidden_ = false;
  StatusBarStyle statusBarStyle_ = StatusBarStyle::Default;
  bool idleTimerDisabled_ = false;
  std::set<std::string> openablePrefixes_;
  std::vector<std::string> openedURLs_;
  bool keyboardVisible_ = false;
  double keyboardHeight_ = 0;
};

}  // namespace dk::platform

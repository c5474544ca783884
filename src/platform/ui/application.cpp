#include "platform/ui/application.h"

#include <algorithm>
#include <limits>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/ui_notifications.h"
#include "platform/ui/window.h"

namespace dk::platform {

Application& Application::shared() {
  static Application* app = new Application;
  return *app;
}

void Application::resetForTesting() {
  auto windows = std::move(windows_);
  windows_.clear();
  keyWindow_.reset();
  state_ = ApplicationState::Active;
  tasks_.clear();
  nextTask_ = 1;
  if (expirationTimer_) expirationTimer_->invalidate();
  expirationTimer_.reset();
  interfaceOrientation_ = InterfaceOrientation::Portrait;
  statusBarHidden_ = false;
  statusBarStyle_ = StatusBarStyle::Default;
  idleTimerDisabled_ = false;
  openablePrefixes_.clear();
  openedURLs_.clear();
  keyboardVisible_ = false;
  keyboardHeight_ = 0;
  for (auto& w : windows) w->setRootViewController(nullptr);
}

void Application::makeKeyWindow(const std::shared_ptr<Window>& window) {
  if (!window) return;
  if (std::find(windows_.begin(), windows_.end(), window) == windows_.end()) windows_.push_back(window);
  keyWindow_ = window;
}

void Application::removeWindow(const Window* window) {
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [window](const auto& w) { return w.get() == window; }),
                 windows_.end());
  if (keyWindow_.lock().get() == window) keyWindow_.reset();
}

// ---- state ----

void Application::enterBackground() {
  DK_ASSERT_MAIN_THREAD();
  if (state_ == ApplicationState::Background) return;
  if (state_ == ApplicationState::Active) {
    state_ = ApplicationState::Inactive;
    NotificationCenter::defaultCenter().post(kUIApplicationWillResignActiveNotification);
  }
  state_ = ApplicationState::Background;
  backgroundSince_ = now();
  NotificationCenter::defaultCenter().post(kUIApplicationDidEnterBackgroundNotification);
  scheduleExpiration();
}

void Application::enterForeground() {
  DK_ASSERT_MAIN_THREAD();
  if (state_ != ApplicationState::Background) return;
  if (expirationTimer_) expirationTimer_->invalidate();
  expirationTimer_.reset();
  state_ = ApplicationState::Inactive;
  NotificationCenter::defaultCenter().post(kUIApplicationWillEnterForegroundNotification);
  state_ = ApplicationState::Active;
  NotificationCenter::defaultCenter().post(kUIApplicationDidBecomeActiveNotification);
}

void Application::resignActive() {
  if (state_ != ApplicationState::Active) return;
  state_ = ApplicationState::Inactive;
  NotificationCenter::defaultCenter().post(kUIApplicationWillResignActiveNotification);
}

void Application::becomeActive() {
  if (state_ != ApplicationState::Inactive) return;
  state_ = ApplicationState::Active;
  NotificationCenter::defaultCenter().post(kUIApplicationDidBecomeActiveNotification);
}

// ---- background tasks ----

BackgroundTaskIdentifier Application::beginBackgroundTask(std::function<void()> expirationHandler) {
  return beginBackgroundTask(std::string(), std::move(expirationHandler));
}

BackgroundTaskIdentifier Application::beginBackgroundTask(const std::string&, std::function<void()> expirationHandler) {
  DK_ASSERT_MAIN_THREAD();
  if (state_ == ApplicationState::Background && backgroundTimeRemaining() <= 0) return kBackgroundTaskInvalid;
  const BackgroundTaskIdentifier id = nextTask_++;
  tasks_[id] = std::move(expirationHandler);
  scheduleExpiration();
  return id;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier) {
  tasks_.erase(identifier);
  if (tasks_.empty() && expirationTimer_) {
    expirationTimer_->invalidate();
    expirationTimer_.reset();
  }
}

double Application::backgroundTimeRemaining() const {
  if (state_ != ApplicationState::Background) return std::numeric_limits<double>::max();
  return std::max(0.0, kBackgroundTimeAllowance - (now() - backgroundSince_));
}

void Application::scheduleExpiration() {
  if (state_ != ApplicationState::Background || tasks_.empty() || expirationTimer_) return;
  expirationTimer_ = Timer::scheduled(backgroundTimeRemaining(), false, DispatchQueue::main(),
                                      [] { Application::shared().expireBackgroundTasks(); });
}

void Application::expireBackgroundTasks() {
  expirationTimer_.reset();
  if (state_ != ApplicationState::Background) return;
  std::vector<BackgroundTaskIdentifier> ids;
  for (auto& [id, handler] : tasks_) ids.push_back(id);
  for (auto id : ids) {
    auto it = tasks_.find(id);
    if (it == tasks_.end()) continue;  // ended by an earlier handler
    auto handler = it->second;
    if (handler) handler();
  }
}

// ---- orientation and status bar ----

namespace {
InterfaceOrientation interfaceFor(DeviceOrientation d) {
  switch (d) {
    case DeviceOrientation::Portrait: return InterfaceOrientation::Portrait;
    case DeviceOrientation::PortraitUpsideDown: return InterfaceOrientation::PortraitUpsideDown;
    case DeviceOrientation::LandscapeLeft: return InterfaceOrientation::LandscapeRight;
    case DeviceOrientation::LandscapeRight: return InterfaceOrientation::LandscapeLeft;
    default: return InterfaceOrientation::Unknown;
  }
}
}  // namespace

void Application::deviceOrientationDidChange(DeviceOrientation orientation) {
  const InterfaceOrientation target = interfaceFor(orientation);
  if (target != InterfaceOrientation::Unknown) setInterfaceOrientation(target, false);
}

void Application::changeTraits(const std::function<void()>& change) {
  DK_ASSERT_MAIN_THREAD();
  // Every controller reads the same environment: the traits of one taken before stand for all.
  std::vector<std::shared_ptr<ViewController>> screens;
  for (auto& w : windows_) {
    for (auto c = w->rootViewController(); c; c = c->presentedViewController()) screens.push_back(c);
  }
  const TraitCollection previous = screens.empty() ? TraitCollection() : screens.front()->traitCollection();
  change();
  for (auto& c : screens) c->traitEnvironmentDidChange(previous);
}

void Application::setInterfaceOrientation(InterfaceOrientation orientation, bool force) {
  DK_ASSERT_MAIN_THREAD();
  if (orientation == interfaceOrientation_) return;
  auto window = keyWindow();
  auto top = window ? window->topPresentedViewController() : nullptr;
  if (!force && top && (!top->shouldAutorotate() || !(top->supportedInterfaceOrientations() & maskForOrientation(orientation)))) {
    return;
  }
  interfaceOrientation_ = orientation;
  const Rect bounds = Screen::main().bounds();
  TransitionCoordinator coordinator(0.3);
  for (auto& w : windows_) {
    // Every screen on display hears of the new size before it is applied.
    std::vector<std::shared_ptr<ViewController>> screens;
    for (auto c = w->rootViewController(); c; c = c->presentedViewController()) screens.push_back(c);
    for (auto& c : screens) c->viewWillTransitionToSize(bounds.size, coordinator);
    w->setFrame(bounds);  // the screens' views follow through their autoresizing masks
    w->layoutIfNeeded();
  }
}

void Application::updateStatusBarAppearance() {
  auto window = keyWindow();
  auto top = window ? window->topPresentedViewController() : nullptr;
  if (!top) return;
  statusBarHidden_ = top->prefersStatusBarHidden();
  statusBarStyle_ = top->preferredStatusBarStyle();
}

// ---- URLs ----

bool Application::canOpenURL(const std::string& url) const {
  for (auto& prefix : openablePrefixes_) {
    if (url.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

void Application::openURL(const std::string& url, std::function<void(bool)> completion) {
  DK_ASSERT_MAIN_THREAD();
  openedURLs_.push_back(url);
  const bool ok = canOpenURL(url);
  if (completion) DispatchQueue::main()->async([completion, ok] { completion(ok); });
}

// ---- keyboard ----

void Application::showKeyboard(double height, double duration, bool local) {
  const Rect screen = Screen::main().bounds();
  KeyboardInfo info;
  info.frameBegin = keyboardVisible_ ? Rect(0, screen.height() - keyboardHeight_, screen.width(), keyboardHeight_)
                                     : Rect(0, screen.height(), screen.width(), height);
  info.frameEnd = Rect(0, screen.height() - height, screen.width(), height);
  info.animationDuration = duration;
  info.isLocal = local;
  keyboardVisible_ = true;
  keyboardHeight_ = height;
  NotificationCenter::defaultCenter().post(kUIKeyboardWillShowNotification, nullptr, info.toUserInfo());
  runOnMainAfter(duration, [info] {
    NotificationCenter::defaultCenter().post(kUIKeyboardDidShowNotification, nullptr, info.toUserInfo());
  });
}

void Application::hideKeyboard(double duration, bool local) {
  if (!keyboardVisible_) return;
  const Rect screen = Screen::main().bounds();
  KeyboardInfo info;
  info.frameBegin = Rect(0, screen.height() - keyboardHeight_, screen.width(), keyboardHeight_);
  // A hiding keyboard's end frame is below the screen and still as tall as the keyboard.
  info.frameEnd = Rect(0, screen.height(), screen.width(), keyboardHeight_);
  info.animationDuration = duration;
  info.isLocal = local;
  keyboardVisible_ = false;
  NotificationCenter::defaultCenter().post(kUIKeyboardWillHideNotification, nullptr, info.toUserInfo());
  runOnMainAfter(duration, [info] {
    NotificationCenter::defaultCenter().post(kUIKeyboardDidHideNotification, nullptr, info.toUserInfo());
  });
}

}  // namespace dk::platform

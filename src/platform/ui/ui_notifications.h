// Notifications the UI layer posts: application life cycle, device orientation and keyboard.
//
// The names are the platform's own strings. Until the framework's notification centre carries
// them, UiNotificationHub is the place to observe them: observers register per name (or for all
// names with an empty name) and are called synchronously, on the main thread, in registration
// order. A forwarder, when set, also receives every posting (the integration hook for the
// notification centre). Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"

namespace dk::platform {

inline constexpr const char* kUIApplicationDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kUIApplicationWillEnterForegroundNotification = "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* kUIApplicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* kUIApplicationWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
inline constexpr const char* kUIDeviceOrientationDidChangeNotification = "UIDeviceOrientationDidChangeNotification";
inline constexpr const char* kUIKeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline constexpr const char* kUIKeyboardDidShowNotification = "UIKeyboardDidShowNotification";
inline constexpr const char* kUIKeyboardWillHideNotification = "UIKeyboardWillHideNotification";
inline constexpr const char* kUIKeyboardDidHideNotification = "UIKeyboardDidHideNotification";
// User-info keys of the keyboard notifications (the values are in KeyboardInfo).
inline constexpr const char* kUIKeyboardFrameBeginUserInfoKey = "UIKeyboardFrameBeginUserInfoKey";
inline constexpr const char* kUIKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline constexpr const char* kUIKeyboardAnimationDurationUserInfoKey = "UIKeyboardAnimationDurationUserInfoKey";
inline constexpr const char* kUIKeyboardAnimationCurveUserInfoKey = "UIKeyboardAnimationCurveUserInfoKey";
inline constexpr const char* kUIKeyboardIsLocalUserInfoKey = "UIKeyboardIsLocalUserInfoKey";

// The user info of a keyboard notification.
struct KeyboardInfo {
  Rect frameBegin;  // screen coordinates
  Rect frameEnd;
  double animationDuration = 0.25;
  int animationCurve = 7;
  bool isLocal = true;  // the keyboard belongs to this application
};

struct UiNotification {
  std::string name;
  std::shared_ptr<void> object;
  std::optional<KeyboardInfo> keyboard;
};

class UiNotificationHub {
 public:
  using Observer = std::function<void(const UiNotification&)>;
  using Token = unsigned long;

  static UiNotificationHub& shared();

  // `name` empty: every notification. `owner` groups observers for removeObserver(owner).
  Token addObserver(const std::string& name, Observer observer, const void* owner = nullptr);
  void removeObserver(Token token);
  void removeObserver(const void* owner);
  void post(const UiNotification& notification);
  void post(const std::string& name) { post(UiNotification{name, nullptr, std::nullopt}); }
  // Also hands every posting to `forwarder` (nullptr: none).
  void setForwarder(Observer forwarder) { forwarder_ = std::move(forwarder); }
  size_t observerCount() const { return observers_.size(); }
  // Drops every observer and the forwarder (tests).
  void resetForTesting();

 private:
  struct Entry {
    Token token;
    std::string name;
    const void* owner;
    std::shared_ptr<Observer> observer;
  };
  std::vector<Entry> observers_;
  Observer forwarder_;
  Token next_ = 1;
};

}  // namespace dk::platform

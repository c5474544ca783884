// Notifications the UI layer posts on the default NotificationCenter: application life cycle,
// device orientation and keyboard, with the platform's names and user-info keys.
//
// Keyboard frames travel in the user info as RectValue objects (NSValue); keyboardInfo() reads a
// keyboard notification back into a KeyboardInfo. Posted on the main thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/object.h"
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
inline constexpr const char* kUIKeyboardFrameBeginUserInfoKey = "UIKeyboardFrameBeginUserInfoKey";
inline constexpr const char* kUIKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline constexpr const char* kUIKeyboardAnimationDurationUserInfoKey = "UIKeyboardAnimationDurationUserInfoKey";
inline constexpr const char* kUIKeyboardAnimationCurveUserInfoKey = "UIKeyboardAnimationCurveUserInfoKey";
inline constexpr const char* kUIKeyboardIsLocalUserInfoKey = "UIKeyboardIsLocalUserInfoKey";

// A rectangle inside a Value (NSValue with a CGRect).
class RectValue : public Object {
 public:
  explicit RectValue(const Rect& rect) : rect(rect) {}
  std::string className() const override { return "NSValue"; }
  std::string description() const override;
  bool isEqual(const Object& other) const override;
  Rect rect;
};

// The rectangle stored under `key`, if any.
std::optional<Rect> rectFromUserInfo(const ValueDictionary& userInfo, const std::string& key);

struct KeyboardInfo {
  Rect frameBegin;  // screen coordinates
  Rect frameEnd;
  double animationDuration = 0.25;
  int animationCurve = 7;
  bool isLocal = true;  // the keyboard belongs to this application

  ValueDictionary toUserInfo() const;
  static KeyboardInfo fromUserInfo(const ValueDictionary& userInfo);
};

}  // namespace dk::platform

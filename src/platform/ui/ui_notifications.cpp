#include "platform/ui/ui_notifications.h"

#include "platform/foundation/value.h"

namespace dk::platform {

std::string RectValue::description() const {
  return "NSRect: {{" + formatNumber(rect.origin.x) + ", " + formatNumber(rect.origin.y) + "}, {" +
         formatNumber(rect.size.width) + ", " + formatNumber(rect.size.height) + "}}";
}

bool RectValue::isEqual(const Object& other) const {
  auto* o = dynamic_cast<const RectValue*>(&other);
  return o && o->rect == rect;
}

std::optional<Rect> rectFromUserInfo(const ValueDictionary& userInfo, const std::string& key) {
  auto it = userInfo.find(key);
  if (it == userInfo.end()) return std::nullopt;
  if (auto r = it->second.objectAs<RectValue>()) return r->rect;
  return std::nullopt;
}

ValueDictionary KeyboardInfo::toUserInfo() const {
  ValueDictionary info;
  info[kUIKeyboardFrameBeginUserInfoKey] = Value(std::make_shared<RectValue>(frameBegin));
  info[kUIKeyboardFrameEndUserInfoKey] = Value(std::make_shared<RectValue>(frameEnd));
  info[kUIKeyboardAnimationDurationUserInfoKey] = Value(animationDuration);
  info[kUIKeyboardAnimationCurveUserInfoKey] = Value(animationCurve);
  info[kUIKeyboardIsLocalUserInfoKey] = Value(isLocal);
  return info;
}

KeyboardInfo KeyboardInfo::fromUserInfo(const ValueDictionary& userInfo) {
  KeyboardInfo info;
  if (auto r = rectFromUserInfo(userInfo, kUIKeyboardFrameBeginUserInfoKey)) info.frameBegin = *r;
  if (auto r = rectFromUserInfo(userInfo, kUIKeyboardFrameEndUserInfoKey)) info.frameEnd = *r;
  auto get = [&](const char* key) {
    auto it = userInfo.find(key);
    return it == userInfo.end() ? Value() : it->second;
  };
  info.animationDuration = get(kUIKeyboardAnimationDurationUserInfoKey).doubleValue();
  info.animationCurve = static_cast<int>(get(kUIKeyboardAnimationCurveUserInfoKey).integerValue());
  info.isLocal = get(kUIKeyboardIsLocalUserInfoKey).boolValue();
  return info;
}

}  // namespace dk::platform

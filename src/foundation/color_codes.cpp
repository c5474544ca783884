#include "foundation/color_codes.h"

#include <cstdint>
#include <limits>

#include "foundation/color_manager.h"

namespace dk {
namespace {

Color fraction256(double red, double green, double blue, double alpha = 1) {
  return Color::rgba(red / 256.0, green / 256.0, blue / 256.0, alpha);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Color colorFromHexString(std::string_view hex) {
  uint64_t value = 0;
  for (size_t i = 1; i < hex.size(); ++i) {
    const int digit = hexDigit(hex[i]);
    if (digit < 0) break;
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > std::numeric_limits<uint32_t>::max()) value = std::numeric_limits<uint32_t>::max();
  }
  const auto rgb = static_cast<uint32_t>(value);
  return Color::rgba(((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0, 1);
}

Color lightColor() { return colorFromHexString(ColorManager::getPrimaryColor()); }
Color darkColor() { return colorFromHexString(ColorManager::getSecondaryColor()); }
Color accentColor() { return colorFromHexString(kKeyAccentColor); }
Color specialActionColor() { return colorFromHexString(kKeySpecialActionColor); }
Color lightGreyColor() { return fraction256(237, 237, 237); }
Color coolGreyColor() { return fraction256(151, 152, 157); }
Color walkthroughColor() { return fraction256(50, 50, 50); }
Color greenishColor() { return fraction256(77, 217, 99); }
Color darkBlueColorWithAlpha(double alpha) { return fraction256(58, 61, 81, alpha); }
Color lightGreyColorWithAlpha(double alpha) { return fraction256(170, 170, 170, alpha); }
Color coolGreyColorWithAlpha(double alpha) { return fraction256(151, 152, 157, alpha); }
Color darkGreyColorWithAlpha(double alpha) { return fraction256(51, 51, 51, alpha); }
Color whiteColorWithAlpha(double alpha) { return fraction256(255, 255, 255, alpha); }
Color blackSemiTransparentColor() { return Color::rgba(0, 0, 0, 0.5); }

}  // namespace dk

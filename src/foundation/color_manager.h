// ColorManager: the host's two theme colours as hex strings ("#0c94c8"), written by the facade
// and read by every drawing through lightColor()/darkColor() (color_codes.h).
//
// Process-wide values behind class functions; no instances. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace dk {

inline constexpr std::string_view kKeyLightColor = "#0c94c8";
inline constexpr std::string_view kKeyDarkColor = "#333333";
inline constexpr std::string_view kKeyAccentColor = "#80ab54";
inline constexpr std::string_view kKeySpecialActionColor = "#d1373a";

class ColorManager {
 public:
  ColorManager() = delete;

  // Both start as empty strings.
  static void setPrimaryColors(std::string hex);
  static std::string getPrimaryColor();
  static void setSecondaryColors(std::string hex);
  static std::string getSecondaryColor();

  // Back to empty strings. For tests: the framework never clears the store.
  static void resetForTesting();
};

}  // namespace dk

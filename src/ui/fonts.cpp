#include "ui/fonts.h"

#include <mutex>

namespace dk {
namespace {

std::mutex& environmentMutex() {
  static std::mutex mutex;
  return mutex;
}

FontEnvironment& environment() {
  static FontEnvironment env;
  return env;
}

FontEnvironment currentEnvironment() {
  std::lock_guard<std::mutex> lock(environmentMutex());
  return environment();
}

}  // namespace

void setFontEnvironment(FontEnvironment env) {
  std::lock_guard<std::mutex> lock(environmentMutex());
  environment() = std::move(env);
}

std::string getFontName() {
  const FontEnvironment env = currentEnvironment();
  const long code = env.customFontCode ? env.customFontCode() : 0;
  return code != 0 ? "Roboto" : "Poppins";
}

double fontSizeForDevice(double verySmallSize, double smallSize, double bigSize) {
  const FontEnvironment env = currentEnvironment();
  const int sizeClass = env.screenSizeClass ? env.screenSizeClass() : 0;
  switch (sizeClass) {
    case 0:
    case 2: return bigSize;
    case 1: return (env.deviceModel ? env.deviceModel() : 0) == 1 ? verySmallSize : smallSize;
    default: return smallSize;
  }
}

platform::Font fontWithName(const std::string& name, double verySmallSize, double smallSize, double bigSize) {
  return platform::Font::named(name, fontSizeForDevice(verySmallSize, smallSize, bigSize));
}

namespace {
// Every named font uses the regular face, the medium ones included.
platform::Font regularFont(double verySmallSize, double smallSize, double bigSize) {
  return fontWithName(getFontName() + "-Regular", verySmallSize, smallSize, bigSize);
}
}  // namespace

platform::Font XXS_RegularTextFont() { return regularFont(10, 11, 12); }
platform::Font XS_RegularTextFont() { return regularFont(11, 12, 14); }
platform::Font XS_MediumTextFont() { return regularFont(11, 12, 14); }
platform::Font S_RegularTextFont() { return regularFont(16, 17, 20); }
platform::Font S_MediumTextFont() { return regularFont(16, 17, 20); }

}  // namespace dk

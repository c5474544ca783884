#include "ui/fonts.h"

#include <mutex>

#include "foundation/data_handler.h"
#include "foundation/kl_device_helper.h"

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

// What is not installed is read from the look-and-feel store and the device helper, so the font
// code the host sets takes effect without further wiring.
FontEnvironment currentEnvironment() {
  FontEnvironment env;
  {
    std::lock_guard<std::mutex> lock(environmentMutex());
    env = environment();
  }
  if (!env.customFontCode) env.customFontCode = [] { return static_cast<long>(DataHandler::getDataForCustomFont()); };
  if (!env.screenSizeClass) env.screenSizeClass = [] { return static_cast<int>(KLDeviceHelper::getDeviceDimension()); };
  if (!env.deviceModel) env.deviceModel = [] { return static_cast<int>(KLDeviceHelper::getDevice()); };
  return env;
}

}  // namespace

void setFontEnvironment(FontEnvironment env) {
  std::lock_guard<std::mutex> lock(environmentMutex());
  environment() = std::move(env);
}

int environmentScreenSizeClass() {
  const FontEnvironment env = currentEnvironment();
  return env.screenSizeClass ? env.screenSizeClass() : 0;
}

int environmentDeviceModel() {
  const FontEnvironment env = currentEnvironment();
  return env.deviceModel ? env.deviceModel() : 0;
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

// The framework's text fonts in named sizes (UIFont(RobotContentSize)): the face follows the
// host's font choice, the size the device's screen-size class.
//
// The look-and-feel store and the device helper live in the foundation layer; the fonts read them
// through FontEnvironment, which the framework installs once at start-up (setFontEnvironment).
// Until then the font code is 0 and the device is the simulator (class 0, model 0). The environment
// is read at every call, so a later change of the font code is seen by the next font asked for.
// Safe from any thread.
#pragma once

#include <functional>
#include <string>

#include "platform/graphics/font.h"

namespace dk {

struct FontEnvironment {
  // DataHandler getDataForCustomFont: non-zero selects "Roboto", zero "Poppins".
  std::function<long()> customFontCode;
  // KLDeviceHelper getDeviceDimension: the screen-size class.
  std::function<int()> screenSizeClass;
  // KLDeviceHelper getDevice: the device model.
  std::function<int()> deviceModel;
};

// Replaces the environment; empty functions read DataHandler and KLDeviceHelper.
void setFontEnvironment(FontEnvironment environment);
// The device facts the environment gives (screen-size class and model; 0 until installed), for
// other sizes that follow the device as the fonts do (the pill buttons).
int environmentScreenSizeClass();
int environmentDeviceModel();

// getFontName: "Roboto" or "Poppins".
std::string getFontName();
// fontWithName:verySmallSize:smallSize:bigSize: — the size for this device, of the face `name`.
platform::Font fontWithName(const std::string& name, double verySmallSize, double smallSize, double bigSize);
// The size fontWithName would choose.
double fontSizeForDevice(double verySmallSize, double smallSize, double bigSize);

platform::Font XXS_RegularTextFont();
platform::Font XS_RegularTextFont();
platform::Font XS_MediumTextFont();
platform::Font S_RegularTextFont();
platform::Font S_MediumTextFont();

}  // namespace dk

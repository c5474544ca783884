#include "platform/ui/device.h"

#include "platform/graphics/screen_scale.h"
#include "platform/ui/application.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/ui_notifications.h"

namespace dk::platform {

Device& Device::current() {
  static Device* device = new Device;
  return *device;
}

void Device::setOrientation(DeviceOrientation orientation) {
  DK_ASSERT_MAIN_THREAD();
  if (orientation == orientation_) return;
  orientation_ = orientation;
  // The interface turns first (the window is the first observer on the platform), then the
  // screens hear of the new physical orientation.
  Application::shared().deviceOrientationDidChange(orientation);
  NotificationCenter::defaultCenter().post(kUIDeviceOrientationDidChangeNotification);
}

void Device::setForceTouchAvailable(bool available) {
  if (available == forceTouch_) return;
  Application::shared().changeTraits([&] { forceTouch_ = available; });
}

void Device::resetForTesting() { *this = Device(); }

Screen& Screen::main() {
  static Screen* screen = new Screen;
  return *screen;
}

double Screen::scale() const { return mainScreenScale(); }

Rect Screen::bounds() const {
  if (isLandscape(Application::shared().statusBarOrientation())) return Rect(0, 0, portraitSize_.height, portraitSize_.width);
  return Rect(0, 0, portraitSize_.width, portraitSize_.height);
}

void Screen::configure(Size portraitSize, double scale) {
  portraitSize_ = portraitSize;
  setMainScreenScale(scale);
}

}  // namespace dk::platform

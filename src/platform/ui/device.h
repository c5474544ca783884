// Device and Screen: the phone the UI runs on (UIDevice, UIScreen).
//
// Process-wide values that a host or a test configures: the hardware identifier ("hw.machine",
// "x86_64" by default), the idiom, the screen's portrait size and scale, the physical
// orientation and force-touch support. Setting the device orientation lets the Application
// rotate the interface (when the top screen allows it) and then posts
// "UIDeviceOrientationDidChangeNotification"; turning force touch on or off tells the screens on
// display through traitCollectionDidChange. The screen's bounds follow the interface
// orientation, as the platform's do. Main thread only.
#pragma once

#include <string>

#include "platform/graphics/geometry.h"

namespace dk::platform {

enum class DeviceOrientation { Unknown = 0, Portrait = 1, PortraitUpsideDown = 2, LandscapeLeft = 3, LandscapeRight = 4, FaceUp = 5, FaceDown = 6 };
enum class UserInterfaceIdiom { Unspecified = -1, Phone = 0, Pad = 1 };

class Device {
 public:
  static Device& current();

  std::string model() const { return idiom_ == UserInterfaceIdiom::Pad ? "iPad" : "iPhone"; }
  std::string systemName() const { return "iOS"; }
  const std::string& systemVersion() const { return systemVersion_; }
  // The hardware identifier string of the machine.
  const std::string& machineIdentifier() const { return machine_; }
  void setMachineIdentifier(std::string machine) { machine_ = std::move(machine); }
  UserInterfaceIdiom userInterfaceIdiom() const { return idiom_; }
  void setUserInterfaceIdiom(UserInterfaceIdiom idiom) { idiom_ = idiom; }
  bool isForceTouchAvailable() const { return forceTouch_; }
  // A change reaches the screens on display as a trait collection change.
  void setForceTouchAvailable(bool available);

  DeviceOrientation orientation() const { return orientation_; }
  // The phone was turned: rotates the interface when allowed, then notifies.
  void setOrientation(DeviceOrientation orientation);
  bool isGeneratingDeviceOrientationNotifications() const { return true; }

  // Back to a portrait phone with default values (tests).
  void resetForTesting();

 private:
  std::string machine_ = "x86_64";
  std::string systemVersion_ = "12.0";
  UserInterfaceIdiom idiom_ = UserInterfaceIdiom::Phone;
  DeviceOrientation orientation_ = DeviceOrientation::Portrait;
  bool forceTouch_ = false;
};

class Screen {
 public:
  static Screen& main();
  // In the current interface orientation.
  Rect bounds() const;
  // Pixels per point (the graphics layer's main screen scale).
  double scale() const;
  Size portraitSize() const { return portraitSize_; }
  void configure(Size portraitSize, double scale);
  void resetForTesting() { configure({375, 812}, 2); }

 private:
  Size portraitSize_{375, 812};
};

}  // namespace dk::platform

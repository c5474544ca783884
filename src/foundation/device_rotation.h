// The rotation the player applies when the device turns: the angle from one device orientation
// to another (UIDevice(Player) rotationAngleForOrientation:). The caller passes the current
// orientation, which the UI layer owns. Pure; safe from any thread.
#pragma once

#include <cstdint>

namespace dk {

// Device orientations as the platform numbers them.
enum DeviceOrientationNumber : int32_t {
  DeviceOrientationNumberUnknown = 0,
  DeviceOrientationNumberPortrait = 1,
  DeviceOrientationNumberPortraitUpsideDown = 2,
  DeviceOrientationNumberLandscapeLeft = 3,
  DeviceOrientationNumberLandscapeRight = 4,
  DeviceOrientationNumberFaceUp = 5,
  DeviceOrientationNumberFaceDown = 6,
};

// Radians from `current` to `orientation`: 0 when equal; from portrait or upside-down, pi/2 to
// landscape-left and 3pi/2 to landscape-right; from landscape-right to landscape-left pi/2; from
// landscape-left to landscape-right 3pi/2; 0 for every other pair.
float rotationAngleForOrientation(int32_t current, int32_t orientation);

}  // namespace dk

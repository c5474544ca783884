#include "foundation/kl_device_rotation.h"

namespace dk {

float rotationAngleForOrientation(int32_t current, int32_t orientation) {
  constexpr float kQuarterTurn = 1.5707964f;        // pi/2
  constexpr float kThreeQuarterTurns = 4.712389f;  // 3pi/2
  if (current == orientation) return 0.0f;
  switch (current) {
    case KLDeviceOrientationPortrait:
    case KLDeviceOrientationPortraitUpsideDown:
      if (orientation == KLDeviceOrientationLandscapeLeft) return kQuarterTurn;
      if (orientation == KLDeviceOrientationLandscapeRight) return kThreeQuarterTurns;
      return 0.0f;
    case KLDeviceOrientationLandscapeRight:
      return orientation == KLDeviceOrientationLandscapeLeft ? kQuarterTurn : 0.0f;
    case KLDeviceOrientationLandscapeLeft:
      return orientation == KLDeviceOrientationLandscapeRight ? kThreeQuarterTurns : 0.0f;
    default:
      return 0.0f;
  }
}

}  // namespace dk

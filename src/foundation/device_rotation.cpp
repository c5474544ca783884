#include "foundation/device_rotation.h"

namespace dk {

float rotationAngleForOrientation(int32_t current, int32_t orientation) {
  constexpr float kQuarterTurn = 1.5707964f;        // pi/2
  constexpr float kThreeQuarterTurns = 4.712389f;  // 3pi/2
  if (current == orientation) return 0.0f;
  switch (current) {
    case DeviceOrientationNumberPortrait:
    case DeviceOrientationNumberPortraitUpsideDown:
      if (orientation == DeviceOrientationNumberLandscapeLeft) return kQuarterTurn;
      if (orientation == DeviceOrientationNumberLandscapeRight) return kThreeQuarterTurns;
      return 0.0f;
    case DeviceOrientationNumberLandscapeRight:
      return orientation == DeviceOrientationNumberLandscapeLeft ? kQuarterTurn : 0.0f;
    case DeviceOrientationNumberLandscapeLeft:
      return orientation == DeviceOrientationNumberLandscapeRight ? kThreeQuarterTurns : 0.0f;
    default:
      return 0.0f;
  }
}

}  // namespace dk

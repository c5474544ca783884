// KLLargerHitTestAreaButton: a button with invisible, larger touch areas centred on it, made on
// first use: largeHitTestArea (44 x 44 points) and veryLargeTouchArea (64 x 64 points).
//
// The areas are plain clear buttons pinned by constraints to the button's centre; they have no
// action of their own (the owner gives them actions) and take the touches that land on them, also
// where they reach beyond the button's bounds. Main thread only.
#pragma once

#include <memory>

#include "platform/ui/button.h"

namespace dk {

class KLLargerHitTestAreaButton : public platform::Button {
 public:
  using Button::Button;

  std::shared_ptr<platform::Button> largeHitTestArea();
  std::shared_ptr<platform::Button> veryLargeTouchArea();

  // Inside the bounds or inside a touch area.
  bool pointInside(platform::Point point, const platform::Event* event) const override;

 private:
  std::shared_ptr<platform::Button> makeArea(double side);
  std::shared_ptr<platform::Button> large_, veryLarge_;
};

}  // namespace dk

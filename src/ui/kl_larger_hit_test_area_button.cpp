#include "ui/kl_larger_hit_test_area_button.h"

#include "platform/ui/layout_constraint.h"

namespace dk {

using platform::LayoutAttribute;
using platform::LayoutConstraint;

std::shared_ptr<platform::Button> KLLargerHitTestAreaButton::makeArea(double side) {
  auto area = std::make_shared<platform::Button>();
  area->setBackgroundColor(platform::Color::clear());
  area->setTranslatesAutoresizingMaskIntoConstraints(false);
  addSubview(area);
  auto self = sharedAs<platform::View>();
  LayoutConstraint::activate({
      platform::anchor(area, LayoutAttribute::CenterX).equalTo(platform::anchor(self, LayoutAttribute::CenterX)),
      platform::anchor(area, LayoutAttribute::CenterY).equalTo(platform::anchor(self, LayoutAttribute::CenterY)),
      platform::anchor(area, LayoutAttribute::Width).equalToConstant(side),
      platform::anchor(area, LayoutAttribute::Height).equalToConstant(side),
  });
  return area;
}

std::shared_ptr<platform::Button> KLLargerHitTestAreaButton::largeHitTestArea() {
  if (!large_) large_ = makeArea(44);
  return large_;
}

std::shared_ptr<platform::Button> KLLargerHitTestAreaButton::veryLargeTouchArea() {
  if (!veryLarge_) veryLarge_ = makeArea(64);
  return veryLarge_;
}

bool KLLargerHitTestAreaButton::pointInside(platform::Point point, const platform::Event* event) const {
  if (Button::pointInside(point, event)) return true;
  for (const auto& area : {large_, veryLarge_}) {
    if (area && !area->isHidden() && area->frame().contains(point)) return true;
  }
  return false;
}

}  // namespace dk

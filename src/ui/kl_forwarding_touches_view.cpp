#include "ui/kl_forwarding_touches_view.h"

#include "platform/ui/button.h"
#include "ui/view_extensions.h"

namespace dk {

std::shared_ptr<platform::View> KLForwardingTouchesView::hitTest(platform::Point point, const platform::Event* event) {
  auto self = sharedAs<platform::View>();
  auto hit = dk::hitTest(self, point, this);
  if (!event) {
    if (auto button = std::dynamic_pointer_cast<platform::Button>(hit);
        button && button->isUserInteractionEnabled() && button->isEnabled() && button->alpha() > 0) {
      button->sendActionsForControlEvents(platform::kControlEventTouchUpInside);
    }
  }
  return hit;
}

}  // namespace dk

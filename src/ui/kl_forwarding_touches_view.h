// KLForwardingTouchesView: a view that takes touches only on its buttons and lets every other
// touch fall through to the views below (the player's control overlay is built in one).
//
// A programmatic hit test (no event) that lands on an enabled, interactive, visible button also
// fires that button's touch-up-inside actions, which is how the player fires a control under a
// tap recognised on the video. Owned like any view; main thread only.
#pragma once

#include "platform/ui/view.h"

namespace dk {

class KLForwardingTouchesView : public platform::View {
 public:
  using View::View;
  std::shared_ptr<platform::View> hitTest(platform::Point point, const platform::Event* event) override;
};

}  // namespace dk

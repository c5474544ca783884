// The bordered and pill-shaped accent buttons of pop-ups and overlays: KLBorderedButton,
// KLLightAccentButton (a pill in the light theme colour) and KLCoolGreyAccentButton.
//
// Each styles itself in its drawing pass (background images per state, title font and colour,
// border, corner radius), base class first; actions are wired by the screens. The pill sizes
// itself from its title and the device's screen-size class. Main thread only.
#pragma once

#include "platform/graphics/context.h"
#include "platform/ui/button.h"

namespace dk {

class KLBorderedButton : public platform::Button {
 public:
  using Button::Button;
  void draw(platform::GraphicsContext& context, const platform::Rect& rect) override;

 protected:
  // The drawing pass's styling (what draw() applies before the button's content is shown).
  virtual void applyDrawingStyle();
};

class KLLightAccentButton : public KLBorderedButton {
 public:
  using KLBorderedButton::KLBorderedButton;
  // (max(90, title width + p), p) with p = 44 on screen-size classes 0 and 2, on class 1 34 for
  // model 1 and 38 otherwise; the title measured in "Roboto-Regular" at 13 points.
  platform::Size intrinsicContentSize() const override;

 protected:
  void applyDrawingStyle() override;
};

class KLCoolGreyAccentButton : public KLLightAccentButton {
 public:
  using KLLightAccentButton::KLLightAccentButton;

 protected:
  void applyDrawingStyle() override;
};

}  // namespace dk

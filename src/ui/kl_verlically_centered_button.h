// The icon-over-title buttons of the timeline's control rows: KLVerlicallyCenteredButton (name
// spelt so) and its clear variant KLVerticallyCenteredClearButton for the dark overlays.
//
// The icon sits centred above the title, the pair centred in the bounds (the title measured in
// "Roboto-Regular" at 13 points for the layout). They style themselves in the drawing pass and
// colour their title and icon in their state setters. `active` is a mark the screens keep on the
// button; it has no behaviour. Main thread only.
#pragma once

#include "platform/graphics/context.h"
#include "platform/ui/button.h"

namespace dk {

class KLVerlicallyCenteredButton : public platform::Button {
 public:
  using Button::Button;

  bool active() const { return active_; }
  void setActive(bool active) { active_ = active; }

  void setEnabled(bool enabled) override;
  void layoutSubviews() override;
  void draw(platform::GraphicsContext& context, const platform::Rect& rect) override;

 protected:
  virtual void applyDrawingStyle();
  // Places the icon above the title, both centred (run after the button's own layout).
  void calculateTitleLabelFrame();
  // Colours the title and, when there is one, re-tints the icon.
  void colourTitleAndImage(const platform::Color& colour);

 private:
  bool active_ = false;
};

class KLVerticallyCenteredClearButton : public KLVerlicallyCenteredButton {
 public:
  using KLVerlicallyCenteredButton::KLVerlicallyCenteredButton;

  void setEnabled(bool enabled) override;
  void setSelected(bool selected) override;
  void setHighlighted(bool highlighted) override;

 protected:
  void applyDrawingStyle() override;
};

}  // namespace dk

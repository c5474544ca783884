#include "ui/kl_bordered_button.h"

#include <algorithm>

#include "foundation/color_codes.h"
#include "platform/graphics/font.h"
#include "ui/fonts.h"
#include "ui/image_effects.h"

namespace dk {

using platform::kControlStateDisabled;
using platform::kControlStateHighlighted;
using platform::kControlStateNormal;

void KLBorderedButton::draw(platform::GraphicsContext& context, const platform::Rect& rect) {
  Button::draw(context, rect);
  applyDrawingStyle();
}

void KLBorderedButton::applyDrawingStyle() {
  const Color background = backgroundColor().value_or(Color::clear());
  setBackgroundImage(imageWithColor(background), kControlStateNormal);
  setBackgroundImage(imageWithColor(background), kControlStateHighlighted);
  layer().setBorderColor(Color::whiteColor());
  setClipsToBounds(true);
}

void KLLightAccentButton::applyDrawingStyle() {
  KLBorderedButton::applyDrawingStyle();
  setBackgroundImage(imageWithColor(lightColor()), kControlStateNormal);
  setBackgroundImage(imageWithColor(accentColor()), kControlStateHighlighted);
  setBackgroundImage(imageWithColor(coolGreyColor()), kControlStateDisabled);
  titleLabel()->setFont(XS_MediumTextFont());
  setTitleColor(Color::whiteColor(), kControlStateNormal);
  layer().setCornerRadius(frame().height() / 2);
  setClipsToBounds(true);
}

platform::Size KLLightAccentButton::intrinsicContentSize() const {
  const platform::Size title = platform::Font::named("Roboto-Regular", 13).sizeOfText(currentTitle());
  double p;
  switch (environmentScreenSizeClass()) {
    case 0:
    case 2: p = 44; break;
    case 1: p = environmentDeviceModel() == 1 ? 34 : 38; break;
    default: return {std::max(90.0, title.width), title.height};
  }
  return {std::max(90.0, title.width + p), p};
}

void KLCoolGreyAccentButton::applyDrawingStyle() {
  KLLightAccentButton::applyDrawingStyle();
  setBackgroundImage(imageWithColor(coolGreyColor()), kControlStateNormal);
  setBackgroundImage(imageWithColor(accentColor()), kControlStateHighlighted);
  setBackgroundImage(imageWithColor(lightGreyColor()), kControlStateDisabled);
}

}  // namespace dk

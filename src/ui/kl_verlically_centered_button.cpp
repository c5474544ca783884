#include "ui/kl_verlically_centered_button.h"

#include <algorithm>

#include "foundation/color_codes.h"
#include "platform/graphics/font.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"
#include "ui/image_effects.h"

namespace dk {

using platform::kControlStateDisabled;
using platform::kControlStateHighlighted;
using platform::kControlStateNormal;
using platform::kControlStateSelected;

void KLVerlicallyCenteredButton::colourTitleAndImage(const Color& colour) {
  titleLabel()->setTextColor(colour);
  if (auto image = imageView()->image()) setImageAndTint(*this, image, colour);
}

void KLVerlicallyCenteredButton::setEnabled(bool enabled) {
  Button::setEnabled(enabled);
  colourTitleAndImage(enabled ? darkColor() : lightGreyColor());
}

void KLVerlicallyCenteredButton::layoutSubviews() {
  Button::layoutSubviews();
  calculateTitleLabelFrame();
}

void KLVerlicallyCenteredButton::calculateTitleLabelFrame() {
  // The layout measures with this face and size whatever font the title shows.
  const platform::Size title = platform::Font::named("Roboto-Regular", 13).sizeOfText(titleLabel()->text());
  const platform::Size icon = imageView()->frame().size;
  const double blockWidth = std::max(title.width, icon.width);
  const double blockHeight = icon.height + title.height;
  const platform::Rect b = bounds();
  const platform::Rect r = b.insetBy((b.width() - blockWidth) / 2, (b.height() - blockHeight) / 2);
  imageView()->setFrame(platform::Rect(r.midX() - icon.width / 2, r.minY(), icon.width, icon.height));
  titleLabel()->setFrame(platform::Rect(frame().width() / 2 - title.width / 2, r.minY() + icon.height, title.width,
                                        title.height));
}

void KLVerlicallyCenteredButton::draw(platform::GraphicsContext& context, const platform::Rect& rect) {
  Button::draw(context, rect);
  applyDrawingStyle();
}

void KLVerlicallyCenteredButton::applyDrawingStyle() {
  const auto white = imageWithColor(Color::whiteColor());
  setBackgroundImage(white, kControlStateNormal);
  setBackgroundImage(white, kControlStateSelected);
  setBackgroundImage(white, kControlStateDisabled);
  setBackgroundImage(imageWithColor(lightGreyColor()), kControlStateHighlighted);
  titleLabel()->setFont(XXS_RegularTextFont());
  setTitleColor(darkColor(), kControlStateNormal);
  setTitleColor(darkColor(), kControlStateHighlighted);
  setTitleColor(darkColor(), kControlStateSelected);
  setTitleColor(lightGreyColor(), kControlStateDisabled);
  titleLabel()->setNumberOfLines(0);
  titleLabel()->setTextAlignment(platform::TextAlignment::Center);
  setClipsToBounds(true);
}

void KLVerticallyCenteredClearButton::setEnabled(bool enabled) {
  Button::setEnabled(enabled);
  colourTitleAndImage(enabled ? Color::whiteColor() : lightGreyColor());
}

void KLVerticallyCenteredClearButton::setSelected(bool selected) {
  Button::setSelected(selected);
  colourTitleAndImage(selected ? coolGreyColor() : Color::whiteColor());
}

void KLVerticallyCenteredClearButton::setHighlighted(bool highlighted) {
  Button::setHighlighted(highlighted);
  colourTitleAndImage(highlighted ? coolGreyColor() : Color::whiteColor());
}

void KLVerticallyCenteredClearButton::applyDrawingStyle() {
  KLVerlicallyCenteredButton::applyDrawingStyle();
  const auto clear = imageWithColor(Color::clear());
  for (unsigned state : {kControlStateNormal, kControlStateSelected, kControlStateDisabled, kControlStateHighlighted}) {
    setBackgroundImage(clear, state);
  }
  setTitleColor(Color::whiteColor(), kControlStateNormal);
  titleLabel()->setNumberOfLines(0);
  titleLabel()->setTextAlignment(platform::TextAlignment::Center);
  setClipsToBounds(true);
}

}  // namespace dk

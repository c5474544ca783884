#include "platform/ui/label.h"

#include <cmath>

#include "platform/graphics/context.h"

namespace dk::platform {

Label::Label() { setUserInteractionEnabled(false); }

Label::Label(const Rect& frame) : View(frame) { setUserInteractionEnabled(false); }

void Label::textChanged() {
  invalidateIntrinsicContentSize();
  setNeedsDisplay();
}

void Label::setText(const std::string& text) {
  text_ = text;
  textChanged();
}

AttributedString Label::attributedText() const {
  AttributedString s(text_, font_, textColor_);
  s.alignment = alignment_;
  return s;
}

void Label::setAttributedText(const AttributedString& text) {
  if (text.font) font_ = *text.font;
  if (text.foregroundColor) textColor_ = *text.foregroundColor;
  if (text.alignment) alignment_ = *text.alignment;
  setText(text.string);
}

void Label::setFont(const Font& font) {
  font_ = font;
  textChanged();
}

void Label::setTextColor(Color color) {
  textColor_ = color;
  setNeedsDisplay();
}

void Label::setTextAlignment(TextAlignment alignment) {
  alignment_ = alignment;
  setNeedsDisplay();
}

void Label::setNumberOfLines(int lines) {
  numberOfLines_ = lines;
  textChanged();
}

void Label::setLineBreakMode(LineBreakMode mode) {
  lineBreakMode_ = mode;
  textChanged();
}

void Label::setPreferredMaxLayoutWidth(double width) {
  preferredMaxLayoutWidth_ = width;
  textChanged();
}

TextAttributes Label::textAttributes() const {
  TextAttributes a;
  a.font = font_;
  a.color = enabled_ ? textColor_ : textColor_.withAlpha(textColor_.alpha * 0.4);
  a.alignment = alignment_;
  a.lineBreakMode = lineBreakMode_;
  a.numberOfLines = numberOfLines_;
  return a;
}

namespace {
Size ceilSize(Size s) { return {std::ceil(s.width), std::ceil(s.height)}; }
}  // namespace

Size Label::intrinsicContentSize() const {
  if (text_.empty()) return {0, 0};
  TextAttributes a = textAttributes();
  a.lineBreakMode = LineBreakMode::WordWrap;
  const double width = numberOfLines_ == 1 ? 0 : preferredMaxLayoutWidth_;
  return ceilSize(measureText(text_, a, {width, 0}));
}

Size Label::sizeThatFits(Size size) const {
  if (text_.empty()) return {0, 0};
  TextAttributes a = textAttributes();
  a.lineBreakMode = LineBreakMode::WordWrap;
  const double width = numberOfLines_ == 1 ? 0 : size.width;
  return ceilSize(measureText(text_, a, {width, 0}));
}

void Label::draw(GraphicsContext& context, const Rect& rect) {
  if (text_.empty()) return;
  const Rect b = bounds();
  TextAttributes a = textAttributes();
  if (adjustsFontSize_ && numberOfLines_ == 1) {
    // Shrinks the font (down to the minimum scale) until the line fits the width.
    const double minimum = font_.pointSize() * (minimumScaleFactor_ > 0 ? minimumScaleFactor_ : 0.5);
    double size = font_.pointSize();
    while (size > minimum && a.font.withSize(size).sizeOfText(text_).width > b.width()) size *= 0.95;
    a.font = font_.withSize(std::max(size, minimum));
  }
  TextLayout layout(text_, a, b.size);
  const Rect used = layout.usedRect();
  const double y = b.minY() + (b.height() - used.height()) / 2 - used.minY();
  layout.draw(context, {b.minX(), y});
}

}  // namespace dk::platform

// Label: a view that shows text (UILabel), measured and drawn with pango through Font.
//
// Intrinsic size is the text's size on one line (numberOfLines 1) or wrapped at
// preferredMaxLayoutWidth; sizeThatFits wraps at the width offered. The text is drawn centred
// vertically in the bounds, aligned horizontally by textAlignment. Labels do not take touches
// unless enabled. setText and setFont are overridable (self-fitting labels). Main thread only.
#pragma once

#include <optional>
#include <string>

#include "platform/graphics/font.h"
#include "platform/graphics/text_layout.h"
#include "platform/ui/attributed_string.h"
#include "platform/ui/view.h"

namespace dk::platform {

class Label : public View {
 public:
  Label();
  explicit Label(const Rect& frame);

  const std::string& text() const { return text_; }
  virtual void setText(const std::string& text);
  // The text with its attributes; setting it takes the font, colour and alignment it carries.
  AttributedString attributedText() const;
  virtual void setAttributedText(const AttributedString& text);
  const Font& font() const { return font_; }
  virtual void setFont(const Font& font);
  Color textColor() const { return textColor_; }
  void setTextColor(Color color);
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment alignment);
  int numberOfLines() const { return numberOfLines_; }
  void setNumberOfLines(int lines);
  LineBreakMode lineBreakMode() const { return lineBreakMode_; }
  void setLineBreakMode(LineBreakMode mode);
  double preferredMaxLayoutWidth() const { return preferredMaxLayoutWidth_; }
  void setPreferredMaxLayoutWidth(double width);
  bool adjustsFontSizeToFitWidth() const { return adjustsFontSize_; }
  void setAdjustsFontSizeToFitWidth(bool adjusts) { adjustsFontSize_ = adjusts; setNeedsDisplay(); }
  double minimumScaleFactor() const { return minimumScaleFactor_; }
  void setMinimumScaleFactor(double factor) { minimumScaleFactor_ = factor; setNeedsDisplay(); }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; setNeedsDisplay(); }

  // The attributes the text is laid out with.
  TextAttributes textAttributes() const;
  Size intrinsicContentSize() const override;
  Size sizeThatFits(Size size) const override;
  void draw(GraphicsContext& context, const Rect& rect) override;

 private:
  void textChanged();

  std::string text_;
  Font font_ = Font::system(17);
  Color textColor_ = Color::black();
  TextAlignment alignment_ = TextAlignment::Natural;
  int numberOfLines_ = 1;
  LineBreakMode lineBreakMode_ = LineBreakMode::TruncateTail;
  double preferredMaxLayoutWidth_ = 0;
  bool adjustsFontSize_ = false;
  double minimumScaleFactor_ = 0;
  bool enabled_ = true;
};

}  // namespace dk::platform

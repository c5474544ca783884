// TextField: one line of editable text (UITextField), as far as screens and tests use it.
//
// Becoming first responder (a tap on the field, or a call) brings the application's keyboard up;
// resigning (endEditing on an ancestor, or a call) sends it away, so the keyboard notifications
// reach the screens as on a device. Typing is simulated with insertText and deleteBackward. The
// field draws its text (or the placeholder in grey) on one line, inset from the edges, over an
// optional rounded border. Main thread only.
#pragma once

#include <string>

#include "platform/graphics/font.h"
#include "platform/graphics/text_layout.h"
#include "platform/ui/control.h"

namespace dk::platform {

enum ControlEditingEvents : unsigned {
  kControlEventEditingDidBegin = 1 << 16,
  kControlEventEditingChanged = 1 << 17,
  kControlEventEditingDidEnd = 1 << 18,
};

class TextField : public Control {
 public:
  enum class BorderStyle { None, RoundedRect };
  // The keyboard height of a portrait phone with a home indicator.
  static constexpr double kKeyboardHeight = 291;
  static constexpr double kTextInset = 8;

  TextField();
  explicit TextField(const Rect& frame);

  const std::string& text() const { return text_; }
  void setText(std::string text);
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string placeholder);
  const Font& font() const { return font_; }
  void setFont(const Font& font);
  Color textColor() const { return textColor_; }
  void setTextColor(Color color);
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment alignment);
  BorderStyle borderStyle() const { return borderStyle_; }
  void setBorderStyle(BorderStyle style);

  bool isEditing() const { return isFirstResponder(); }
  // Typing at the end of the text while editing (ignored otherwise).
  void insertText(const std::string& text);
  void deleteBackward();

  bool canBecomeFirstResponder() const override { return isEnabled(); }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  void touchesEnded(const TouchList& touches, const Event& event) override;
  Size intrinsicContentSize() const override;
  void draw(GraphicsContext& context, const Rect& rect) override;

 private:
  std::string text_, placeholder_;
  Font font_ = Font::system(17);
  Color textColor_ = Color::black();
  TextAlignment alignment_ = TextAlignment::Natural;
  BorderStyle borderStyle_ = BorderStyle::None;
};

}  // namespace dk::platform

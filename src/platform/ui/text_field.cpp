#include "platform/ui/text_field.h"

#include "platform/graphics/context.h"
#include "platform/ui/application.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {
namespace {
// Set while one field takes over editing from another: the keyboard stays up (main thread only).
bool handingOver = false;
}  // namespace

TextField::TextField() : TextField(Rect()) {}

TextField::TextField(const Rect& frame) : Control(frame) {
  setBackgroundColor(Color::whiteColor());
  setOpaque(false);
}

void TextField::setText(std::string text) {
  text_ = std::move(text);
  setNeedsDisplay();
}

void TextField::setPlaceholder(std::string placeholder) {
  placeholder_ = std::move(placeholder);
  setNeedsDisplay();
}

void TextField::setFont(const Font& font) {
  font_ = font;
  invalidateIntrinsicContentSize();
  setNeedsDisplay();
}

void TextField::setTextColor(Color color) {
  textColor_ = color;
  setNeedsDisplay();
}

void TextField::setTextAlignment(TextAlignment alignment) {
  alignment_ = alignment;
  setNeedsDisplay();
}

void TextField::setBorderStyle(BorderStyle style) {
  borderStyle_ = style;
  const bool rounded = style == BorderStyle::RoundedRect;
  layer().setBorderWidth(rounded ? 1 : 0);
  layer().setBorderColor(Color::rgba(0.8, 0.8, 0.8));
  layer().setCornerRadius(rounded ? 5 : 0);
  setNeedsDisplay();
}

void TextField::insertText(const std::string& text) {
  if (!isEditing() || text.empty()) return;
  text_ += text;
  setNeedsDisplay();
  sendActionsForControlEvents(kControlEventEditingChanged);
}

void TextField::deleteBackward() {
  if (!isEditing() || text_.empty()) return;
  // Drops one UTF-8 character, continuation bytes included.
  size_t end = text_.size() - 1;
  while (end > 0 && (static_cast<unsigned char>(text_[end]) & 0xC0) == 0x80) --end;
  text_.erase(end);
  setNeedsDisplay();
  sendActionsForControlEvents(kControlEventEditingChanged);
}

bool TextField::becomeFirstResponder() {
  DK_ASSERT_MAIN_THREAD();
  const bool was = isFirstResponder();
  auto current = Responder::currentFirstResponder();
  handingOver = current && current.get() != this && std::dynamic_pointer_cast<TextField>(current);
  const bool became = Responder::becomeFirstResponder();
  handingOver = false;
  if (!became) return false;
  if (!was) {
    auto& app = Application::shared();
    if (!app.isKeyboardVisible()) app.showKeyboard(kKeyboardHeight);
    sendActionsForControlEvents(kControlEventEditingDidBegin);
  }
  return true;
}

bool TextField::resignFirstResponder() {
  DK_ASSERT_MAIN_THREAD();
  if (!isFirstResponder()) return true;
  Responder::resignFirstResponder();
  // Another field taking over keeps the keyboard; otherwise it goes.
  if (!handingOver) Application::shared().hideKeyboard();
  sendActionsForControlEvents(kControlEventEditingDidEnd);
  return true;
}

void TextField::touchesEnded(const TouchList& touches, const Event& event) {
  const bool inside = !touches.empty() && pointInside(touches.front()->locationInView(this), &event);
  Control::touchesEnded(touches, event);
  if (inside && isEnabled()) becomeFirstResponder();
}

Size TextField::intrinsicContentSize() const {
  const Size line = font_.sizeOfText(text_.empty() ? (placeholder_.empty() ? "M" : placeholder_) : text_);
  return {line.width + 2 * kTextInset, line.height + 2 * kTextInset};
}

void TextField::draw(GraphicsContext& context, const Rect& rect) {
  const bool showPlaceholder = text_.empty();
  const std::string& shown = showPlaceholder ? placeholder_ : text_;
  if (shown.empty()) return;
  TextAttributes a;
  a.font = font_;
  a.color = showPlaceholder ? Color::rgba(0.7, 0.7, 0.72) : textColor_;
  a.alignment = alignment_;
  a.lineBreakMode = LineBreakMode::TruncateTail;
  a.numberOfLines = 1;
  const Rect b = bounds();
  const Size inner{std::max(0.0, b.width() - 2 * kTextInset), b.height()};
  TextLayout layout(shown, a, inner);
  const Rect used = layout.usedRect();
  layout.draw(context, {b.minX() + kTextInset, b.minY() + (b.height() - used.height()) / 2 - used.minY()});
}

}  // namespace dk::platform

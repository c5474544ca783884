// AttributedString: text with one set of attributes (NSAttributedString as the screens use it:
// a font, a colour and an alignment over the whole string). A plain value.
#pragma once

#include <optional>
#include <string>

#include "platform/graphics/font.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/text_layout.h"

namespace dk::platform {

struct AttributedString {
  std::string string;
  std::optional<Font> font;
  std::optional<Color> foregroundColor;
  std::optional<TextAlignment> alignment;

  AttributedString() = default;
  explicit AttributedString(std::string text) : string(std::move(text)) {}
  AttributedString(std::string text, std::optional<Font> f, std::optional<Color> color)
      : string(std::move(text)), font(std::move(f)), foregroundColor(color) {}
  size_t length() const { return string.size(); }
  friend bool operator==(const AttributedString& a, const AttributedString& b) {
    return a.string == b.string && a.font == b.font && a.foregroundColor == b.foregroundColor &&
           a.alignment == b.alignment;
  }
};

}  // namespace dk::platform

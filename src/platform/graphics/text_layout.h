// TextLayout: a paragraph of text laid out in a container (NSLayoutManager + NSTextContainer), for
// labels, buttons and hit tests on words.
//
// The text is UTF-8; character indexes are byte offsets into it (always at the start of a
// character), so they compare directly with std::string::find. The container has no line-fragment
// padding; lines break by `lineBreakMode` and stop at `numberOfLines` (0 = unlimited). Each
// TextLayout belongs to one thread at a time; different layouts may be used on different threads.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/font.h"
#include "platform/graphics/geometry.h"

namespace dk::platform {

class GraphicsContext;

// NSTextAlignment.
enum class TextAlignment { Left, Center, Right, Justified, Natural };

// NSLineBreakMode, in the platform's order.
enum class LineBreakMode { WordWrap, CharWrap, Clip, TruncateHead, TruncateTail, TruncateMiddle };

struct TextAttributes {
  Font font;
  Color color = Color::black();
  TextAlignment alignment = TextAlignment::Natural;
  LineBreakMode lineBreakMode = LineBreakMode::WordWrap;
  int numberOfLines = 0;
};

class TextLayout {
 public:
  // container: the width lines wrap at and the height lines are cut at (<= 0: unlimited).
  TextLayout(std::string text, TextAttributes attributes, Size container);
  ~TextLayout();
  TextLayout(TextLayout&&) noexcept;
  TextLayout& operator=(TextLayout&&) noexcept;

  const std::string& text() const { return text_; }
  const TextAttributes& attributes() const { return attributes_; }
  Size containerSize() const { return container_; }

  // The rectangle the laid-out lines occupy, relative to the container's top-left corner
  // (usedRectForTextContainer:); x follows the alignment.
  Rect usedRect() const;
  int lineCount() const;
  // Whether text was cut off by the width, the height or the line limit.
  bool isTruncated() const;
  // Index of the character nearest to the point (in container coordinates), or nothing for empty
  // text (characterIndexForPoint:inTextContainer:).
  std::optional<std::size_t> characterIndexAtPoint(Point p) const;
  // Draws the lines with their colour, the container's top-left corner at `origin`.
  void draw(GraphicsContext& context, Point origin) const;

  // Opaque pango state, for the graphics layer.
  struct Impl;

 private:
  std::string text_;
  TextAttributes attributes_;
  Size container_;
  std::unique_ptr<Impl> impl_;
};

// Size the text needs in `attributes` when wrapped to at most `maxSize` (<= 0: unlimited), as a
// label sizes itself (sizeThatFits:).
Size measureText(const std::string& text, const TextAttributes& attributes, Size maxSize);

}  // namespace dk::platform

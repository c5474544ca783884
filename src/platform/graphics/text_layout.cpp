#include "platform/graphics/text_layout.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/graphics/cairo_internal.h"

namespace dk::platform {
namespace {

bool isTruncating(LineBreakMode mode) {
  return mode == LineBreakMode::TruncateHead || mode == LineBreakMode::TruncateTail ||
         mode == LineBreakMode::TruncateMiddle;
}

PangoEllipsizeMode ellipsizeFor(LineBreakMode mode) {
  switch (mode) {
    case LineBreakMode::TruncateHead: return PANGO_ELLIPSIZE_START;
    case LineBreakMode::TruncateMiddle: return PANGO_ELLIPSIZE_MIDDLE;
    case LineBreakMode::TruncateTail: return PANGO_ELLIPSIZE_END;
    default: return PANGO_ELLIPSIZE_NONE;
  }
}

struct LineBox {
  double top, height;       // points, from the layout's top
  double left, width;       // logical extents, alignment included
};

std::vector<LineBox> lineBoxes(PangoLayout* layout) {
  std::vector<LineBox> boxes;
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(iter, nullptr, &logical);
    boxes.push_back({logical.y / double(PANGO_SCALE), logical.height / double(PANGO_SCALE),
                     logical.x / double(PANGO_SCALE), logical.width / double(PANGO_SCALE)});
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  return boxes;
}

}  // namespace

void configureLayout(PangoLayout* layout, const std::string& text, const TextAttributes& attributes, Size container) {
  PangoFontDescription* d = newFontDescription(attributes.font);
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  switch (attributes.alignment) {
    case TextAlignment::Center: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
    case TextAlignment::Right: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
    case TextAlignment::Justified:
      pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
      pango_layout_set_justify(layout, TRUE);
      break;
    case TextAlignment::Left:
    case TextAlignment::Natural: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
  }
  pango_layout_set_auto_dir(layout, FALSE);
  if (container.width > 0) {
    pango_layout_set_width(layout, static_cast<int>(std::lround(container.width * PANGO_SCALE)));
    // Word wrapping falls back to breaking inside a word that does not fit on a line by itself.
    pango_layout_set_wrap(layout, attributes.lineBreakMode == LineBreakMode::CharWrap ? PANGO_WRAP_CHAR
                                                                                       : PANGO_WRAP_WORD_CHAR);
  } else {
    pango_layout_set_width(layout, -1);
  }
}

struct TextLayout::Impl {
  PangoLayout* layout = nullptr;
  std::vector<LineBox> lines;  // the visible lines only
  bool truncated = false;
  ~Impl() {
    if (layout) g_object_unref(layout);
  }
};

TextLayout::TextLayout(std::string text, TextAttributes attributes, Size container)
    : text_(std::move(text)), attributes_(std::move(attributes)), container_(container),
      impl_(std::make_unique<Impl>()) {
  PangoLayout* layout = pango_layout_new(threadPangoContext());
  impl_->layout = layout;
  configureLayout(layout, text_, attributes_, container_);
  if (text_.empty()) return;
  std::vector<LineBox> all = lineBoxes(layout);
  // Lines shown: within the line limit, and each more than half inside the container's height.
  size_t visible = all.size();
  if (attributes_.numberOfLines > 0) visible = std::min(visible, static_cast<size_t>(attributes_.numberOfLines));
  if (container_.height > 0) {
    size_t fit = 0;
    while (fit < visible && all[fit].top + all[fit].height / 2 < container_.height) ++fit;
    visible = std::max<size_t>(fit, 1);
  }
  const bool singleLineTooWide =
      container_.width > 0 && !all.empty() && all[0].width > container_.width + 1e-6;
  impl_->truncated = visible < all.size() || (visible == 1 && all.size() == 1 && singleLineTooWide);
  if (visible < all.size() && isTruncating(attributes_.lineBreakMode) && container_.width > 0) {
    // Let pango end the last shown line with an ellipsis.
    pango_layout_set_ellipsize(layout, ellipsizeFor(attributes_.lineBreakMode));
    pango_layout_set_height(layout, -static_cast<int>(visible));
    all = lineBoxes(layout);
  } else if (visible == 1 && isTruncating(attributes_.lineBreakMode) && container_.width > 0) {
    pango_layout_set_ellipsize(layout, ellipsizeFor(attributes_.lineBreakMode));
    pango_layout_set_height(layout, -1);
    all = lineBoxes(layout);
  }
  all.resize(std::min(all.size(), visible));
  impl_->lines = std::move(all);
}

TextLayout::~TextLayout() = default;
TextLayout::TextLayout(TextLayout&&) noexcept = default;
TextLayout& TextLayout::operator=(TextLayout&&) noexcept = default;

Rect TextLayout::usedRect() const {
  if (impl_->lines.empty()) return Rect();
  double x0 = impl_->lines[0].left, x1 = x0 + impl_->lines[0].width;
  for (const auto& l : impl_->lines) {
    x0 = std::min(x0, l.left);
    x1 = std::max(x1, l.left + l.width);
  }
  const auto& last = impl_->lines.back();
  return Rect(x0, impl_->lines[0].top, x1 - x0, last.top + last.height - impl_->lines[0].top);
}

int TextLayout::lineCount() const { return static_cast<int>(impl_->lines.size()); }

bool TextLayout::isTruncated() const { return impl_->truncated; }

std::optional<std::size_t> TextLayout::characterIndexAtPoint(Point p) const {
  if (text_.empty() || impl_->lines.empty()) return std::nullopt;
  // Points below the shown lines belong to the last shown line.
  const auto& last = impl_->lines.back();
  const double y = std::clamp(p.y, 0.0, last.top + last.height - 0.001);
  int index = 0, trailing = 0;
  pango_layout_xy_to_index(impl_->layout, static_cast<int>(std::lround(p.x * PANGO_SCALE)),
                           static_cast<int>(std::lround(y * PANGO_SCALE)), &index, &trailing);
  return std::min(static_cast<std::size_t>(std::max(0, index)), text_.size() - 1);
}

void TextLayout::draw(GraphicsContext& context, Point origin) const {
  if (impl_->lines.empty()) return;
  GraphicsContext::Impl& ci = context.impl();
  cairo_t* cr = ci.cr;
  const Rect used = usedRect();
  const Color c = attributes_.color;
  ci.composite([&] {
    cairo_save(cr);
    // Only the shown lines; pango would draw every line of the paragraph.
    cairo_new_path(cr);
    cairo_rectangle(cr, origin.x + used.minX() - 1e4, origin.y, 2e4 + used.width(), used.maxY());
    cairo_clip(cr);
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
    cairo_move_to(cr, origin.x, origin.y);
    pango_cairo_show_layout(cr, impl_->layout);
    cairo_restore(cr);
  });
}

void GraphicsContext::drawTextLayout(const TextLayout& layout, Point origin) { layout.draw(*this, origin); }

Size measureText(const std::string& text, const TextAttributes& attributes, Size maxSize) {
  const TextLayout layout(text, attributes, maxSize);
  const Rect used = layout.usedRect();
  return used.size;
}

}  // namespace dk::platform

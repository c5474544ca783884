#include "platform/graphics/context.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/cairo_internal.h"

namespace dk::platform {
namespace {

void appendPath(cairo_t* cr, const Path& path) {
  cairo_new_path(cr);
  for (const auto& e : path.elements()) {
    switch (e.type) {
      case Path::ElementType::MoveTo: cairo_move_to(cr, e.points[0].x, e.points[0].y); break;
      case Path::ElementType::LineTo: cairo_line_to(cr, e.points[0].x, e.points[0].y); break;
      case Path::ElementType::CurveTo:
        cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x, e.points[2].y);
        break;
      case Path::ElementType::Close: cairo_close_path(cr); break;
    }
  }
}

void setSource(cairo_t* cr, const Color& c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

cairo_fill_rule_t cairoFillRule(FillRule rule) {
  return rule == FillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
}

// A pattern that maps the image onto `rect` of user space, its edge pixels continuing beyond.
cairo_pattern_t* imagePattern(const Image& image, const Rect& rect) {
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surfaceOf(image));
  cairo_matrix_t m;
  cairo_matrix_init_scale(&m, image.pixelWidth() / rect.width(), image.pixelHeight() / rect.height());
  cairo_matrix_translate(&m, -rect.minX(), -rect.minY());
  cairo_pattern_set_matrix(pattern, &m);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  return pattern;
}

}  // namespace

cairo_operator_t cairoOperator(BlendMode mode) {
  switch (mode) {
    case BlendMode::Normal: return CAIRO_OPERATOR_OVER;
    case BlendMode::Multiply: return CAIRO_OPERATOR_MULTIPLY;
    case BlendMode::Screen: return CAIRO_OPERATOR_SCREEN;
    case BlendMode::Overlay: return CAIRO_OPERATOR_OVERLAY;
    case BlendMode::Darken: return CAIRO_OPERATOR_DARKEN;
    case BlendMode::Lighten: return CAIRO_OPERATOR_LIGHTEN;
    case BlendMode::ColorDodge: return CAIRO_OPERATOR_COLOR_DODGE;
    case BlendMode::ColorBurn: return CAIRO_OPERATOR_COLOR_BURN;
    case BlendMode::SoftLight: return CAIRO_OPERATOR_SOFT_LIGHT;
    case BlendMode::HardLight: return CAIRO_OPERATOR_HARD_LIGHT;
    case BlendMode::Difference: return CAIRO_OPERATOR_DIFFERENCE;
    case BlendMode::Exclusion: return CAIRO_OPERATOR_EXCLUSION;
    case BlendMode::Hue: return CAIRO_OPERATOR_HSL_HUE;
    case BlendMode::Saturation: return CAIRO_OPERATOR_HSL_SATURATION;
    case BlendMode::Color: return CAIRO_OPERATOR_HSL_COLOR;
    case BlendMode::Luminosity: return CAIRO_OPERATOR_HSL_LUMINOSITY;
    case BlendMode::Clear: return CAIRO_OPERATOR_CLEAR;
    case BlendMode::Copy: return CAIRO_OPERATOR_SOURCE;
    case BlendMode::SourceIn: return CAIRO_OPERATOR_IN;
    case BlendMode::SourceOut: return CAIRO_OPERATOR_OUT;
    case BlendMode::SourceAtop: return CAIRO_OPERATOR_ATOP;
    case BlendMode::DestinationOver: return CAIRO_OPERATOR_DEST_OVER;
    case BlendMode::DestinationIn: return CAIRO_OPERATOR_DEST_IN;
    case BlendMode::DestinationOut: return CAIRO_OPERATOR_DEST_OUT;
    case BlendMode::DestinationAtop: return CAIRO_OPERATOR_DEST_ATOP;
    case BlendMode::XOR: return CAIRO_OPERATOR_XOR;
    case BlendMode::PlusLighter: return CAIRO_OPERATOR_ADD;
  }
  return CAIRO_OPERATOR_OVER;
}

GraphicsContext::Impl::Impl(cairo_t* c, double scale, int w, int h) : cr(c), deviceScale(scale), width(w), height(h) {
  stack.emplace_back();
  // The platform's defaults: one-point lines, butt caps, miter joins with limit 10.
  cairo_set_line_width(cr, 1.0);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  cairo_set_miter_limit(cr, 10.0);
}

GraphicsContext::Impl::~Impl() = default;

GraphicsContext::GraphicsContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
GraphicsContext::~GraphicsContext() = default;

// --- State ---

void GraphicsContext::saveGState() {
  cairo_save(impl_->cr);
  impl_->stack.push_back(impl_->stack.back());
}

void GraphicsContext::restoreGState() {
  // Neither the base state nor the states saved before an open transparency layer can be restored.
  const size_t floor = impl_->layers.empty() ? 1 : impl_->layers.back().stackSize + 1;
  if (impl_->stack.size() <= floor) return;
  cairo_restore(impl_->cr);
  impl_->stack.pop_back();
}

int GraphicsContext::gStateDepth() const { return static_cast<int>(impl_->stack.size()) - 1; }

void GraphicsContext::translate(double tx, double ty) { cairo_translate(impl_->cr, tx, ty); }
void GraphicsContext::scale(double sx, double sy) {
  if (sx == 0 || sy == 0) return;  // a singular transform would put cairo in an error state
  cairo_scale(impl_->cr, sx, sy);
}
void GraphicsContext::rotate(double radians) { cairo_rotate(impl_->cr, radians); }

void GraphicsContext::concat(const AffineTransform& t) {
  if (t.a * t.d - t.b * t.c == 0) return;
  const cairo_matrix_t m{t.a, t.b, t.c, t.d, t.tx, t.ty};
  cairo_transform(impl_->cr, &m);
}

AffineTransform GraphicsContext::ctm() const {
  cairo_matrix_t m;
  cairo_get_matrix(impl_->cr, &m);
  const double s = impl_->deviceScale;
  return {m.xx / s, m.yx / s, m.xy / s, m.yy / s, m.x0 / s, m.y0 / s};
}

void GraphicsContext::setFillColor(const Color& c) { impl_->stack.back().fill = c; }
void GraphicsContext::setStrokeColor(const Color& c) { impl_->stack.back().stroke = c; }
Color GraphicsContext::fillColor() const { return impl_->stack.back().fill; }
Color GraphicsContext::strokeColor() const { return impl_->stack.back().stroke; }
void GraphicsContext::setLineWidth(double width) { cairo_set_line_width(impl_->cr, std::max(0.0, width)); }

void GraphicsContext::setLineCap(LineCap cap) {
  cairo_set_line_cap(impl_->cr, cap == LineCap::Round    ? CAIRO_LINE_CAP_ROUND
                                : cap == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                         : CAIRO_LINE_CAP_BUTT);
}

void GraphicsContext::setLineJoin(LineJoin join) {
  cairo_set_line_join(impl_->cr, join == LineJoin::Round   ? CAIRO_LINE_JOIN_ROUND
                                 : join == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                           : CAIRO_LINE_JOIN_MITER);
}

void GraphicsContext::setMiterLimit(double limit) { cairo_set_miter_limit(impl_->cr, limit); }

void GraphicsContext::setLineDash(double phase, const std::vector<double>& lengths) {
  const bool valid = std::all_of(lengths.begin(), lengths.end(), [](double v) { return v >= 0; }) &&
                     std::any_of(lengths.begin(), lengths.end(), [](double v) { return v > 0; });
  if (lengths.empty() || !valid) {
    cairo_set_dash(impl_->cr, nullptr, 0, 0);
    return;
  }
  cairo_set_dash(impl_->cr, lengths.data(), static_cast<int>(lengths.size()), phase);
}

void GraphicsContext::setAlpha(double alpha) { impl_->stack.back().alpha = std::clamp(alpha, 0.0, 1.0); }
double GraphicsContext::alpha() const { return impl_->stack.back().alpha; }
void GraphicsContext::setBlendMode(BlendMode mode) { impl_->stack.back().blend = mode; }
BlendMode GraphicsContext::blendMode() const { return impl_->stack.back().blend; }

// --- Clipping ---

void GraphicsContext::clipToRect(const Rect& r) {
  const Rect s = r.standardized();
  cairo_new_path(impl_->cr);
  cairo_rectangle(impl_->cr, s.minX(), s.minY(), s.width(), s.height());
  cairo_clip(impl_->cr);
}

void GraphicsContext::clipToPath(const Path& path, FillRule rule) {
  appendPath(impl_->cr, path);
  cairo_set_fill_rule(impl_->cr, cairoFillRule(rule));
  cairo_clip(impl_->cr);
  cairo_set_fill_rule(impl_->cr, CAIRO_FILL_RULE_WINDING);
}

void GraphicsContext::clipToMask(const Rect& rect, const Image& mask) {
  // cairo clips only to paths, so the mask is kept as a device-space alpha image that every later
  // drawing operation of this state is composited through.
  cairo_surface_t* m = cairo_image_surface_create(CAIRO_FORMAT_A8, impl_->width, impl_->height);
  cairo_t* mc = cairo_create(m);
  cairo_matrix_t ctm;
  cairo_get_matrix(impl_->cr, &ctm);
  cairo_set_matrix(mc, &ctm);
  const Rect r = rect.standardized();
  if (r.width() > 0 && r.height() > 0) {
    cairo_rectangle(mc, r.minX(), r.minY(), r.width(), r.height());
    cairo_pattern_t* pattern = imagePattern(mask, r);
    cairo_set_source(mc, pattern);
    cairo_fill(mc);
    cairo_pattern_destroy(pattern);
  }
  if (const auto& previous = impl_->stack.back().mask) {
    cairo_identity_matrix(mc);
    cairo_set_operator(mc, CAIRO_OPERATOR_IN);
    cairo_set_source_surface(mc, previous.get(), 0, 0);
    cairo_paint(mc);
  }
  cairo_destroy(mc);
  cairo_surface_flush(m);
  impl_->stack.back().mask = std::shared_ptr<cairo_surface_t>(m, cairo_surface_destroy);
}

Rect GraphicsContext::clipBoundingBox() const {
  double x1, y1, x2, y2;
  cairo_clip_extents(impl_->cr, &x1, &y1, &x2, &y2);
  return Rect(x1, y1, x2 - x1, y2 - y1);
}

// --- Drawing ---

void GraphicsContext::fillRect(const Rect& r) { fillPath(Path::rect(r)); }
void GraphicsContext::strokeRect(const Rect& r) { strokePath(Path::rect(r)); }

void GraphicsContext::clearRect(const Rect& r) {
  cairo_t* cr = impl_->cr;
  const Rect s = r.standardized();
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_new_path(cr);
  cairo_rectangle(cr, s.minX(), s.minY(), s.width(), s.height());
  cairo_fill(cr);
  cairo_restore(cr);
}

void GraphicsContext::fillPath(const Path& path, FillRule rule) {
  if (path.isEmpty()) return;
  cairo_t* cr = impl_->cr;
  const Color c = impl_->stack.back().fill;
  impl_->composite([&] {
    appendPath(cr, path);
    setSource(cr, c);
    cairo_set_fill_rule(cr, cairoFillRule(rule));
    cairo_fill(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  });
}

void GraphicsContext::strokePath(const Path& path) {
  if (path.isEmpty() || cairo_get_line_width(impl_->cr) <= 0) return;
  cairo_t* cr = impl_->cr;
  const Color c = impl_->stack.back().stroke;
  impl_->composite([&] {
    appendPath(cr, path);
    setSource(cr, c);
    cairo_stroke(cr);
  });
}

void GraphicsContext::fillEllipse(const Rect& r) { fillPath(Path::ellipse(r)); }
void GraphicsContext::strokeEllipse(const Rect& r) { strokePath(Path::ellipse(r)); }

void GraphicsContext::drawLinearGradient(const std::vector<GradientStop>& stops, Point start, Point end,
                                         bool extendBeforeStart, bool extendAfterEnd) {
  if (stops.empty()) return;
  const double dx = end.x - start.x, dy = end.y - start.y;
  const double length = std::hypot(dx, dy);
  if (length == 0) return;
  cairo_t* cr = impl_->cr;
  cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
  for (const auto& s : stops) {
    cairo_pattern_add_color_stop_rgba(pattern, std::clamp(s.location, 0.0, 1.0), s.color.red, s.color.green,
                                      s.color.blue, s.color.alpha);
  }
  cairo_pattern_set_extend(pattern, extendBeforeStart || extendAfterEnd ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
  // A one-sided extension: pad both ways, then keep only the half-plane on the extended side.
  Path region;
  if (extendBeforeStart != extendAfterEnd) {
    double x1, y1, x2, y2;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    const double reach = std::hypot(x2 - x1, y2 - y1) + std::hypot(start.x - x1, start.y - y1) +
                         std::hypot(end.x - x1, end.y - y1) + 1;
    const double ux = dx / length, uy = dy / length;  // along the axis
    const double px = -uy, py = ux;                   // across it
    // The kept half-plane runs from the non-extended end towards the extended side.
    const Point edge = extendAfterEnd ? start : end;
    const double dir = extendAfterEnd ? 1 : -1;
    const Point a{edge.x + px * reach, edge.y + py * reach};
    const Point b{edge.x - px * reach, edge.y - py * reach};
    region.moveTo(a);
    region.lineTo(b);
    region.lineTo({b.x + dir * ux * reach, b.y + dir * uy * reach});
    region.lineTo({a.x + dir * ux * reach, a.y + dir * uy * reach});
    region.close();
  }
  impl_->composite([&] {
    cairo_save(cr);
    if (!region.isEmpty()) {
      appendPath(cr, region);
      cairo_clip(cr);
    }
    cairo_set_source(cr, pattern);
    cairo_paint(cr);
    cairo_restore(cr);
  });
  cairo_pattern_destroy(pattern);
}

void GraphicsContext::drawImage(const Image& image, const Rect& rect, std::optional<Color> tint) {
  const Rect r = rect.standardized();
  if (r.width() <= 0 || r.height() <= 0) return;
  cairo_t* cr = impl_->cr;
  cairo_pattern_t* pattern = imagePattern(image, r);
  impl_->composite([&] {
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, r.minX(), r.minY(), r.width(), r.height());
    if (tint) {
      cairo_clip(cr);
      setSource(cr, *tint);
      cairo_mask(cr, pattern);
    } else {
      cairo_set_source(cr, pattern);
      cairo_fill(cr);
    }
    cairo_restore(cr);
  });
  cairo_pattern_destroy(pattern);
}

void GraphicsContext::drawImage(const Image& image, const Rect& bounds, ContentMode mode, std::optional<Color> tint) {
  const Rect target = rectForContentMode(mode, image.size(), bounds);
  saveGState();
  clipToRect(bounds);
  drawImage(image, target, tint);
  restoreGState();
}

Size GraphicsContext::drawText(const std::string& utf8, const Rect& rect, const TextAttributes& attributes) {
  const Rect r = rect.standardized();
  TextLayout layout(utf8, attributes, r.size);
  drawTextLayout(layout, r.origin);
  return layout.usedRect().size;
}

void GraphicsContext::beginTransparencyLayer(double alpha) {
  impl_->layers.push_back({std::clamp(alpha, 0.0, 1.0), impl_->stack.back(), impl_->stack.size()});
  cairo_push_group(impl_->cr);
  // Inside the layer drawing starts afresh; the layer as a whole gets the outer alpha, blend and mask.
  Impl::State inner = impl_->stack.back();
  inner.alpha = 1;
  inner.blend = BlendMode::Normal;
  inner.mask.reset();
  impl_->stack.push_back(inner);
}

void GraphicsContext::endTransparencyLayer() {
  if (impl_->layers.empty()) return;
  const Impl::Layer layer = impl_->layers.back();
  // States saved inside the layer and not restored are dropped with it.
  while (impl_->stack.size() > layer.stackSize + 1) {
    cairo_restore(impl_->cr);
    impl_->stack.pop_back();
  }
  impl_->stack.pop_back();
  impl_->layers.pop_back();
  cairo_pattern_t* group = cairo_pop_group(impl_->cr);
  cairo_t* cr = impl_->cr;
  impl_->composite([&] {
    cairo_set_source(cr, group);
    cairo_paint_with_alpha(cr, layer.alpha);
  });
  cairo_pattern_destroy(group);
}

}  // namespace dk::platform

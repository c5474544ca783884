// Private to the graphics layer's .cpp files: the cairo and pango state behind Image,
// GraphicsContext and TextLayout. Nothing outside src/platform/graphics includes this header.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/graphics/context.h"
#include "platform/graphics/image.h"

namespace dk::platform {

struct Image::Bitmap {
  explicit Bitmap(cairo_surface_t* s) : surface(s) {}
  ~Bitmap() { cairo_surface_destroy(surface); }
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  cairo_surface_t* surface;  // ARGB32 image surface, never drawn into once wrapped
};

// Wraps a new ARGB32 image surface (takes ownership) as an immutable image.
ImagePtr imageFromSurface(cairo_surface_t* surface, double scale, bool opaque,
                          ImageRenderingMode mode = ImageRenderingMode::Automatic, std::string name = {});
// A new ARGB32 surface with a copy of the image's pixels.
cairo_surface_t* copySurface(cairo_surface_t* surface);
inline cairo_surface_t* surfaceOf(const Image& image) { return image.bitmap()->surface; }

// The pango context every layout uses: 72 dpi, no hinting, so that text metrics are in points and
// do not depend on the scale drawn at. One per thread (pango font maps are per thread).
PangoContext* threadPangoContext();
// A new description of the font (free with pango_font_description_free).
PangoFontDescription* newFontDescription(const Font& font);
// Prepares `layout` for text in the attributes (font, alignment, wrapping, line limit).
void configureLayout(PangoLayout* layout, const std::string& text, const TextAttributes& attributes, Size container);

struct GraphicsContext::Impl {
  struct State {
    Color fill = Color::black();
    Color stroke = Color::black();
    double alpha = 1;
    BlendMode blend = BlendMode::Normal;
    // Device-space alpha mask of clipToMask, shared with saved states that had it.
    std::shared_ptr<cairo_surface_t> mask;
  };

  struct Layer {
    double alpha;
    State outer;
    size_t stackSize;  // states below the layer's own
  };

  // cr draws on a surface of width x height pixels, its user space scaled by deviceScale.
  Impl(cairo_t* cr, double deviceScale, int width, int height);
  ~Impl();

  // Runs `draw` with the current alpha, blend mode and mask applied: directly when they are the
  // defaults, otherwise through a group composited once.
  template <typename Draw>
  void composite(Draw&& draw);

  cairo_t* cr;
  double deviceScale;
  int width;
  int height;
  std::vector<State> stack;  // stack.back() is the current state
  std::vector<Layer> layers;
};

cairo_operator_t cairoOperator(BlendMode mode);

template <typename Draw>
void GraphicsContext::Impl::composite(Draw&& draw) {
  const State& s = stack.back();
  if (s.alpha >= 1 && !s.mask) {
    cairo_set_operator(cr, cairoOperator(s.blend));
    draw();
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    return;
  }
  if (s.alpha <= 0) return;
  cairo_push_group(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  draw();
  cairo_pattern_t* group = cairo_pop_group(cr);
  cairo_save(cr);
  if (s.mask && s.alpha < 1) {
    cairo_push_group(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_source(cr, group);
    cairo_paint_with_alpha(cr, s.alpha);
    cairo_pattern_destroy(group);
    group = cairo_pop_group(cr);
  }
  cairo_set_operator(cr, cairoOperator(s.blend));
  // The source locks to the user space of this call; the mask is in device pixels.
  cairo_set_source(cr, group);
  if (s.mask) {
    cairo_identity_matrix(cr);
    cairo_mask_surface(cr, s.mask.get(), 0, 0);
  } else {
    cairo_paint_with_alpha(cr, s.alpha);
  }
  cairo_restore(cr);
  cairo_pattern_destroy(group);
}

}  // namespace dk::platform

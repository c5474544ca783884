#include "platform/graphics/image_renderer.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/cairo_internal.h"

namespace dk::platform {

struct ImageRenderer::State {
  Size size;
  double scale = 1;
  bool opaque = false;
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  std::unique_ptr<GraphicsContext> context;

  ~State() {
    context.reset();
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
  }
};

namespace {
int pixelCount(double points, double scale) {
  const double px = std::ceil(points * scale - 1e-9);
  return std::max(1, static_cast<int>(std::clamp(px, 1.0, 1.0e5)));
}
}  // namespace

ImageRenderer::ImageRenderer(Size pointSize, double scale, bool opaque) : state_(std::make_unique<State>()) {
  if (!(scale > 0)) scale = 1;
  state_->scale = scale;
  state_->opaque = opaque;
  const int w = pixelCount(pointSize.width, scale), h = pixelCount(pointSize.height, scale);
  state_->size = {std::max(0.0, pointSize.width), std::max(0.0, pointSize.height)};
  state_->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  state_->cr = cairo_create(state_->surface);
  if (opaque) {
    cairo_set_source_rgb(state_->cr, 0, 0, 0);
    cairo_paint(state_->cr);
  }
  cairo_scale(state_->cr, scale, scale);
  state_->context =
      std::make_unique<GraphicsContext>(std::make_unique<GraphicsContext::Impl>(state_->cr, scale, w, h));
}

ImageRenderer::~ImageRenderer() = default;

GraphicsContext& ImageRenderer::context() { return *state_->context; }
Size ImageRenderer::size() const { return state_->size; }
double ImageRenderer::scale() const { return state_->scale; }
int ImageRenderer::pixelWidth() const { return cairo_image_surface_get_width(state_->surface); }
int ImageRenderer::pixelHeight() const { return cairo_image_surface_get_height(state_->surface); }
bool ImageRenderer::isOpaque() const { return state_->opaque; }

ImagePtr ImageRenderer::image(ImageRenderingMode mode) const {
  cairo_surface_t* copy = copySurface(state_->surface);
  if (state_->opaque) {
    // An opaque context yields opaque pixels whatever was drawn (clear and copy included).
    unsigned char* data = cairo_image_surface_get_data(copy);
    const int stride = cairo_image_surface_get_stride(copy);
    const int w = pixelWidth(), h = pixelHeight();
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
      for (int x = 0; x < w; ++x) row[x] |= 0xff000000u;
    }
    cairo_surface_mark_dirty(copy);
  }
  return imageFromSurface(copy, state_->scale, state_->opaque, mode);
}

void ImageRenderer::withPixels(const std::function<void(PixelBuffer&)>& work) {
  cairo_surface_flush(state_->surface);
  PixelBuffer buffer{cairo_image_surface_get_data(state_->surface), pixelWidth(), pixelHeight(),
                     cairo_image_surface_get_stride(state_->surface)};
  work(buffer);
  cairo_surface_mark_dirty(state_->surface);
}

ImagePtr ImageRenderer::render(Size pointSize, double scale, bool opaque,
                               const std::function<void(GraphicsContext&)>& draw) {
  ImageRenderer renderer(pointSize, scale, opaque);
  draw(renderer.context());
  return renderer.image();
}

}  // namespace dk::platform

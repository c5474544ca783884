#include "platform/ui/render.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/image_filters.h"
#include "platform/graphics/image_renderer.h"
#include "platform/graphics/screen_scale.h"
#include "platform/ui/image_view.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {
namespace {

// The outline of a layer's bounds with its corner radius on the masked corners.
Path outline(const Layer& layer) {
  const Rect b = layer.bounds();
  const double r = std::min(layer.cornerRadius(), std::min(b.width(), b.height()) / 2);
  if (r <= 0) return Path::rect(b);
  const unsigned m = layer.maskedCorners();
  CornerRadii radii{(m & kCornerMinXMinY) ? r : 0, (m & kCornerMaxXMinY) ? r : 0, (m & kCornerMinXMaxY) ? r : 0,
                    (m & kCornerMaxXMaxY) ? r : 0};
  return Path::roundedRect(b, radii);
}

// Moves the context into a layer's bounds space from its superlayer's.
void enterLayerSpace(GraphicsContext& context, const Layer& layer) {
  const Rect b = layer.bounds();
  const Point p = layer.position();
  const Point a = layer.anchorPoint();
  context.translate(p.x, p.y);
  if (!layer.affineTransform().isIdentity()) context.concat(layer.affineTransform());
  context.translate(-a.x * b.width() - b.minX(), -a.y * b.height() - b.minY());
}

bool visible(const Layer& layer) { return !layer.isHidden() && layer.opacity() > 0.001; }

void drawLayerBody(GraphicsContext& context, const Layer& layer, View* view);

// The layer's own look and, for a view, its drawing, sublayers and subviews, without shadow.
void drawLayerContent(GraphicsContext& context, const Layer& layer, View* view) {
  const Rect b = layer.bounds();
  context.saveGState();
  if (layer.masksToBounds()) context.clipToPath(outline(layer));
  if (auto bg = layer.backgroundColor(); bg && bg->alpha > 0) {
    context.setFillColor(*bg);
    context.fillPath(outline(layer));
  }
  if (auto image = layer.contents()) context.drawImage(*image, b);
  layer.drawContents(context);
  if (view) view->draw(context, b);
  for (auto& sub : layer.sublayers()) drawLayer(context, *sub);
  if (view) {
    auto subviews = view->subviews();
    for (auto& sub : subviews) drawSubview(context, *sub);
  }
  context.restoreGState();
  if (layer.borderWidth() > 0 && layer.borderColor().alpha > 0) {
    context.saveGState();
    const double w = layer.borderWidth();
    Layer inset;
    inset.setBounds(b.insetBy(w / 2, w / 2));
    inset.setCornerRadius(std::max(0.0, layer.cornerRadius() - w / 2));
    inset.setMaskedCorners(layer.maskedCorners());
    context.setStrokeColor(layer.borderColor());
    context.setLineWidth(w);
    context.strokePath(outline(inset));
    context.restoreGState();
  }
}

// Odd box size whose three passes approximate a Gaussian blur of `radius` pixels.
int boxSize(double radiusPixels) {
  int d = static_cast<int>(std::floor(radiusPixels * 3.0 * std::sqrt(2 * M_PI) / 4.0 + 0.5));
  if (d % 2 == 0) ++d;
  return std::max(1, d);
}

void drawShadow(GraphicsContext& context, const Layer& layer, View* view) {
  const Rect b = layer.bounds();
  const double scale = mainScreenScale();
  const double pad = std::ceil(layer.shadowRadius() * 2 + 2);
  const Size size{b.width() + 2 * pad, b.height() + 2 * pad};
  if (size.width <= 0 || size.height <= 0) return;
  // The shape that casts the shadow: whatever the layer draws, as alpha.
  ImageRenderer offscreen(size, scale, false);
  offscreen.context().translate(pad - b.minX(), pad - b.minY());
  drawLayerContent(offscreen.context(), layer, view);
  const Color c = layer.shadowColor();
  const double opacity = std::clamp(layer.shadowOpacity(), 0.0, 1.0) * c.alpha;
  offscreen.withPixels([&](PixelBuffer& p) {
    for (int y = 0; y < p.height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(p.data + static_cast<size_t>(y) * p.bytesPerRow);
      for (int x = 0; x < p.width; ++x) {
        const double a = ((row[x] >> 24) & 0xff) / 255.0 * opacity;
        const auto A = static_cast<std::uint32_t>(std::lround(a * 255));
        const auto R = static_cast<std::uint32_t>(std::lround(c.red * a * 255));
        const auto G = static_cast<std::uint32_t>(std::lround(c.green * a * 255));
        const auto B = static_cast<std::uint32_t>(std::lround(c.blue * a * 255));
        row[x] = (A << 24) | (R << 16) | (G << 8) | B;
      }
    }
    if (layer.shadowRadius() > 0) {
      const int d = boxSize(layer.shadowRadius() * scale);
      boxConvolve(p.asConst(), p, d, d);
      boxConvolve(p.asConst(), p, d, d);
      boxConvolve(p.asConst(), p, d, d);
    }
  });
  const ImagePtr shadow = offscreen.image();
  const Size o = layer.shadowOffset();
  context.drawImage(*shadow, Rect(b.minX() - pad + o.width, b.minY() - pad + o.height, size.width, size.height));
}

void drawLayerBody(GraphicsContext& context, const Layer& layer, View* view) {
  const bool group = layer.opacity() < 0.999;
  if (group) context.beginTransparencyLayer(layer.opacity());
  if (layer.shadowOpacity() > 0) drawShadow(context, layer, view);
  drawLayerContent(context, layer, view);
  if (group) context.endTransparencyLayer();
}

}  // namespace

void drawLayer(GraphicsContext& context, const Layer& layer) {
  if (!visible(layer)) return;
  context.saveGState();
  enterLayerSpace(context, layer);
  drawLayerBody(context, layer, nullptr);
  context.restoreGState();
}

void drawSubview(GraphicsContext& context, View& view) {
  const Layer& layer = view.layer();
  if (!visible(layer)) return;
  context.saveGState();
  enterLayerSpace(context, layer);
  drawLayerBody(context, layer, &view);
  context.restoreGState();
}

void drawViewContents(GraphicsContext& context, View& view) {
  const Layer& layer = view.layer();
  if (!visible(layer)) return;
  context.saveGState();
  context.translate(-layer.bounds().minX(), -layer.bounds().minY());
  drawLayerBody(context, layer, &view);
  context.restoreGState();
}

ImagePtr renderViewToImage(View& view, double scale) {
  DK_ASSERT_MAIN_THREAD();
  view.layoutIfNeeded();
  const Size size = view.bounds().size;
  if (scale <= 0) scale = mainScreenScale();
  ImageRenderer renderer({std::max(size.width, 1.0), std::max(size.height, 1.0)}, scale, false);
  drawViewContents(renderer.context(), view);
  return renderer.image();
}

bool writeViewPNG(View& view, const std::string& path, double scale, std::string* error) {
  auto image = renderViewToImage(view, scale);
  return image && image->writePNG(path, error);
}

std::shared_ptr<View> snapshotView(View& view, bool afterScreenUpdates) {
  auto image = renderViewToImage(view);
  auto snapshot = std::make_shared<ImageView>(image);
  snapshot->setFrame(Rect(Point{}, view.bounds().size));
  return snapshot;
}

}  // namespace dk::platform

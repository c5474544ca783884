#include "ui/alpha_gradient.h"

#include "platform/graphics/image_renderer.h"

namespace dk {

using platform::Point;

void AlphaGradient::updatePoints(platform::Size frameSize) {
  switch (direction_) {
    case kOpaqueBottom: start_ = {0, frameSize.height}, end_ = {0, 0}; break;
    case kOpaqueTop: start_ = {0, 0}, end_ = {0, frameSize.height}; break;
    case kOpaqueRight: start_ = {frameSize.width, 0}, end_ = {0, 0}; break;
    case kOpaqueLeft: start_ = {0, 0}, end_ = {frameSize.width, 0}; break;
    default: break;
  }
}

void AlphaGradient::draw(platform::GraphicsContext& context, const platform::Rect& rect, platform::Size frameSize) {
  updatePoints(frameSize);
  const platform::Rect r = rect.standardized();
  if (r.width() <= 0 || r.height() <= 0) return;
  const platform::Rect local(0, 0, r.width(), r.height());

  // The colour, and a mask that is black where the colour shows and white where it is gone.
  platform::ImageRenderer offscreen(r.size, 1.0, false);
  offscreen.context().setFillColor(color_.withAlpha(color_.alpha * alpha_));
  offscreen.context().fillRect(local);
  const platform::ImagePtr colourImage = offscreen.image();
  offscreen.context().drawLinearGradient({{0, platform::Color::black()}, {1, platform::Color::whiteColor()}}, start_,
                                         end_, true, true);
  // As an image mask the grey level blocks: coverage = 1 - grey.
  offscreen.withPixels([](platform::PixelBuffer& p) {
    for (int y = 0; y < p.height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(p.data + static_cast<size_t>(y) * p.bytesPerRow);
      for (int x = 0; x < p.width; ++x) {
        const std::uint32_t grey = row[x] & 0xff;
        row[x] = (255 - grey) << 24;
      }
    }
  });
  const platform::ImagePtr mask = offscreen.image();

  context.saveGState();
  context.clipToMask(r, *mask);
  context.drawImage(*colourImage, r);
  context.restoreGState();
}

}  // namespace dk

#include "services/image_view_rescale.h"

#include "platform/graphics/image_renderer.h"
#include "platform/graphics/screen_scale.h"

namespace dk {

void rescaleImage(platform::ImageView& view, const platform::ImagePtr& image) {
  if (!image) {
    view.setImage(nullptr);
    return;
  }
  const platform::Size size = view.frame().size;
  if (size.width <= 0 || size.height <= 0) {
    view.setImage(image);
    return;
  }
  view.setImage(platform::ImageRenderer::render(size, platform::mainScreenScale(), true,
                                                [&](platform::GraphicsContext& context) {
                                                  context.drawImage(*image, platform::Rect(platform::Point{}, size));
                                                }));
}

}  // namespace dk

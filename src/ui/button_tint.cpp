#include "ui/button_tint.h"

#include "platform/graphics/image_renderer.h"
#include "platform/graphics/screen_scale.h"

namespace dk {

using platform::ImageRenderingMode;

void setImageForAllControlStates(platform::Button& button, const platform::ImagePtr& image) {
  for (unsigned state : {platform::kControlStateNormal, platform::kControlStateSelected,
                         platform::kControlStateHighlighted, platform::kControlStateDisabled}) {
    button.setImage(image, state);
  }
}

void setImageAndTint(platform::Button& button, const platform::ImagePtr& image, const platform::Color& tint) {
  const platform::ImagePtr templated = image ? image->withRenderingMode(ImageRenderingMode::AlwaysTemplate) : nullptr;
  for (unsigned state : {platform::kControlStateNormal, platform::kControlStateHighlighted,
                         platform::kControlStateDisabled}) {
    button.setImage(templated, state);
  }
  button.imageView()->setTintColor(tint);
}

void setImageAndTint(platform::Button& button, const platform::ImagePtr& image, const platform::Color& tint,
                     unsigned state) {
  button.setImage(image ? image->withRenderingMode(ImageRenderingMode::AlwaysTemplate) : nullptr, state);
  button.imageView()->setTintColor(tint);
}

void setImageAndTint(platform::ImageView& view, const platform::ImagePtr& image, const platform::Color& tint) {
  view.setImage(image ? image->withRenderingMode(ImageRenderingMode::AlwaysTemplate) : nullptr);
  view.setTintColor(tint);
}

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

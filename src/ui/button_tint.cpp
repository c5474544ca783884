#include "ui/button_tint.h"

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

}  // namespace dk

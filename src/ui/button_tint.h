// Tinting of button and image-view icons (UIButton(Tint), UIImageView(Tint)) and the thumbnail
// rescale of image views (UIImageView(Rescale)).
//
// A tinted icon is the image in template rendering mode shown in the tint colour of the view that
// draws it. Main thread only, like the views.
#pragma once

#include "platform/graphics/image.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"

namespace dk {

// setImageForAllControlStates: the same image for the normal, selected, highlighted and disabled states.
void setImageForAllControlStates(platform::Button& button, const platform::ImagePtr& image);
// setImage:andTint: the image in template mode for the normal, highlighted and disabled states,
// and the button's image view tinted with the colour.
void setImageAndTint(platform::Button& button, const platform::ImagePtr& image, const platform::Color& tint);
// setImage:andTint:forState: the same for one state.
void setImageAndTint(platform::Button& button, const platform::ImagePtr& image, const platform::Color& tint,
                     unsigned state);
// UIImageView setImage:andTint: template rendering of the image, the view's tint set.
void setImageAndTint(platform::ImageView& view, const platform::ImagePtr& image, const platform::Color& tint);

}  // namespace dk

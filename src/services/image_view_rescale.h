// rescaleImage: the image redrawn into an opaque bitmap of the view's frame size at the main
// screen's scale, filling it, and shown by the view. A missing image clears the view; a view not
// laid out yet (no size) shows the image as it is. Main thread.
#pragma once

#include "platform/graphics/image.h"
#include "platform/ui/image_view.h"

namespace dk {

void rescaleImage(platform::ImageView& view, const platform::ImagePtr& image);

}  // namespace dk

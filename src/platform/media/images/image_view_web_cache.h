// Loading a remote image into an image view (what the image library's view extension gives): the
// view shows the placeholder, then the image once it has loaded. A new load on a view cancels the
// view's previous one, and a cancelled load never reaches the view or its completion, so a reused
// view never shows an image meant for its earlier content. Main thread only, like the views.
#pragma once

#include <functional>
#include <string>

#include "platform/media/images/image_downloader.h"
#include "platform/ui/image_view.h"

namespace dk::platform {

using WebImageCompletion = std::function<void(ImagePtr image, ErrorPtr error, bool fromCache, const std::string& url)>;

// sd_setImageWithURL:placeholderImage:options:completed: through `downloader` (the shared one when
// nullptr).
void setImageWithURL(ImageView& view, const std::string& url, ImagePtr placeholder, unsigned options,
                     WebImageCompletion completed, std::shared_ptr<ImageDownloader> downloader = nullptr);
// Cancels the view's load in progress, if any.
void cancelCurrentImageLoad(ImageView& view);
// The view's load in progress, or nullptr.
ImageLoadOperationPtr currentImageLoad(const ImageView& view);

}  // namespace dk::platform

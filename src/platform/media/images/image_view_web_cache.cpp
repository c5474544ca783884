#include "platform/media/images/image_view_web_cache.h"

#include "platform/ui/main_thread.h"

namespace dk::platform {

namespace {
constexpr const char* kLoadKey = "dk.webImageLoad";
}  // namespace

ImageLoadOperationPtr currentImageLoad(const ImageView& view) {
  const std::any* value = view.associatedValue(kLoadKey);
  if (!value) return nullptr;
  auto operation = std::any_cast<ImageLoadOperationPtr>(*value);
  return operation && !operation->isCancelled() ? operation : nullptr;
}

void cancelCurrentImageLoad(ImageView& view) {
  DK_ASSERT_MAIN_THREAD();
  if (auto operation = currentImageLoad(view)) operation->cancel();
  view.setAssociatedValue(kLoadKey, ImageLoadOperationPtr());
}

void setImageWithURL(ImageView& view, const std::string& url, ImagePtr placeholder, unsigned options,
                     WebImageCompletion completed, std::shared_ptr<ImageDownloader> downloader) {
  DK_ASSERT_MAIN_THREAD();
  cancelCurrentImageLoad(view);
  if (!(options & kImageDelayPlaceholder)) view.setImage(placeholder);
  if (!downloader) downloader = ImageDownloader::sharedDownloader();
  // The view is reached weakly: a load that outlives its view just ends.
  auto weakView = std::weak_ptr<ImageView>(view.sharedAs<ImageView>());
  // A memory hit answers inside loadImage, before the operation is known: the shared slot below
  // lets the completion tell "still this view's load" in both cases.
  // Weak: the operation owns this completion, which must not own the operation back.
  auto slot = std::make_shared<std::weak_ptr<ImageLoadOperation>>();
  auto answered = std::make_shared<bool>(false);
  auto operation = downloader->loadImage(
      url, options, [weakView, url, options, completed, placeholder, slot, answered](ImagePtr image, ErrorPtr error,
                                                                                    bool fromCache) {
        *answered = true;
        auto view = weakView.lock();
        if (!view) return;
        auto self = slot->lock();
        if (self && currentImageLoad(*view) == self) view->setAssociatedValue(kLoadKey, ImageLoadOperationPtr());
        if (!(options & kImageAvoidAutoSetImage)) {
          if (image) {
            view->setImage(image);
          } else if (options & kImageDelayPlaceholder) {
            view->setImage(placeholder);
          }
        }
        if (completed) completed(image, error, fromCache, url);
      });
  *slot = operation;
  if (!*answered) view.setAssociatedValue(kLoadKey, operation);
}

}  // namespace dk::platform

#include "timeline/kl_timeline_preview_view_controller.h"

namespace dk {

void KLTimelinePreviewViewController::loadView() {
  KLViewController::loadView();
  auto image = std::make_shared<platform::ImageView>(view()->bounds());
  image->setContentMode(platform::ContentMode::ScaleAspectFill);
  view()->addSubview(image);
  previewImageView_ = image;
}

void KLTimelinePreviewViewController::setUpViews() {
  KLViewController::setUpViews();
  if (auto image = previewImageView()) {
    image->layer().setCornerRadius(16);
    image->setClipsToBounds(true);
    image->setImage(cameraImage_);
  }
}

}  // namespace dk

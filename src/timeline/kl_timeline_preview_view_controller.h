// KLTimelinePreviewViewController: the peek screen ("timelinePreview" of the "Timeline"
// storyboard) that shows one camera image with rounded corners.
#pragma once

#include <memory>

#include "platform/graphics/image.h"
#include "platform/ui/image_view.h"
#include "ui/kl_view_controller.h"

namespace dk {

class KLTimelinePreviewViewController : public KLViewController {
 public:
  static constexpr const char* kSceneIdentifier = "timelinePreview";

  const platform::ImagePtr& cameraImage() const { return cameraImage_; }
  void setCameraImage(platform::ImagePtr image) { cameraImage_ = std::move(image); }
  std::shared_ptr<platform::ImageView> previewImageView() const { return previewImageView_.lock(); }

  void loadView() override;
  void setUpViews() override;

 private:
  platform::ImagePtr cameraImage_;
  std::weak_ptr<platform::ImageView> previewImageView_;
};

}  // namespace dk

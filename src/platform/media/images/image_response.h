// ImageObject and the image reply decoder: what an image session's replies decode to.
//
// The HTTP layer decodes image replies through a process-wide hook so that it needs no graphics
// library; installImageResponseDecoder() installs the real one, which turns PNG or JPEG bytes into
// an Image at the main screen's scale (UIImage, as the image response serializer gives it).
// Bytes that are no image decode to nil. Thread-safe; installing twice is harmless.
#pragma once

#include "platform/foundation/object.h"
#include "platform/graphics/image.h"

namespace dk::platform {

// An Image that can travel inside a Value.
class ImageObject final : public Object {
 public:
  explicit ImageObject(ImagePtr image) : image_(std::move(image)) {}
  const ImagePtr& image() const { return image_; }
  std::string className() const override { return "UIImage"; }

 private:
  ImagePtr image_;
};

void installImageResponseDecoder();

}  // namespace dk::platform

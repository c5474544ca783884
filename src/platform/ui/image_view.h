// ImageView: a view that shows an image or a sequence of frames (UIImageView).
//
// The image is placed by the content mode; a template-mode image shows its shape in the view's
// tint colour. Frame animations run on the current clock: the frame shown is the one that
// (now - start) falls on, cycling every animationDuration seconds, animationRepeatCount times
// (0: until stopped); after the last cycle the view shows `image` again. No timer runs while an
// animation plays: the frame is worked out whenever it is asked for or drawn. Image views do not
// take touches unless enabled. Main thread only.
#pragma once

#include <vector>

#include "platform/graphics/image.h"
#include "platform/ui/view.h"

namespace dk::platform {

class ImageView : public View {
 public:
  ImageView();
  explicit ImageView(ImagePtr image);
  explicit ImageView(const Rect& frame);

  ImagePtr image() const { return image_; }
  virtual void setImage(ImagePtr image);
  ImagePtr highlightedImage() const { return highlightedImage_; }
  void setHighlightedImage(ImagePtr image) { highlightedImage_ = std::move(image); setNeedsDisplay(); }
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted) { highlighted_ = highlighted; setNeedsDisplay(); }

  const std::vector<ImagePtr>& animationImages() const { return animationImages_; }
  void setAnimationImages(std::vector<ImagePtr> images);
  // Seconds per cycle; 0 means one thirtieth of a second per frame.
  double animationDuration() const;
  void setAnimationDuration(double seconds) { animationDuration_ = seconds; }
  long animationRepeatCount() const { return animationRepeatCount_; }
  void setAnimationRepeatCount(long count) { animationRepeatCount_ = count; }
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const;
  // Index of the frame on display while animating (0 otherwise).
  size_t currentAnimationFrame() const;
  // What the view shows now: the current frame, the highlighted image or the image.
  ImagePtr displayedImage() const;

  Size intrinsicContentSize() const override;
  void draw(GraphicsContext& context, const Rect& rect) override;

 private:
  ImagePtr image_, highlightedImage_;
  bool highlighted_ = false;
  std::vector<ImagePtr> animationImages_;
  double animationDuration_ = 0;
  long animationRepeatCount_ = 0;
  bool animating_ = false;
  double animationStart_ = 0;
};

}  // namespace dk::platform

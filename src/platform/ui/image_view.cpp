#include "platform/ui/image_view.h"

#include <cmath>

#include "platform/dispatch/clock.h"
#include "platform/graphics/context.h"

namespace dk::platform {

ImageView::ImageView() { setUserInteractionEnabled(false); }

ImageView::ImageView(ImagePtr image) : ImageView() {
  if (image) setFrame(Rect(Point{}, image->size()));
  image_ = std::move(image);
}

ImageView::ImageView(const Rect& frame) : View(frame) { setUserInteractionEnabled(false); }

void ImageView::setImage(ImagePtr image) {
  const bool sizeChanged = !image_ || !image || image_->size() != image->size();
  image_ = std::move(image);
  if (sizeChanged) invalidateIntrinsicContentSize();
  setNeedsDisplay();
}

void ImageView::setAnimationImages(std::vector<ImagePtr> images) {
  animationImages_ = std::move(images);
  if (animationImages_.empty()) animating_ = false;
  setNeedsDisplay();
}

double ImageView::animationDuration() const {
  if (animationDuration_ > 0) return animationDuration_;
  return animationImages_.size() / 30.0;
}

void ImageView::startAnimating() {
  if (animationImages_.empty()) return;
  animating_ = true;
  animationStart_ = now();
  setNeedsDisplay();
}

void ImageView::stopAnimating() {
  animating_ = false;
  setNeedsDisplay();
}

bool ImageView::isAnimating() const {
  if (!animating_ || animationImages_.empty()) return false;
  if (animationRepeatCount_ <= 0) return true;
  const double cycle = animationDuration();
  return cycle > 0 && now() - animationStart_ < cycle * animationRepeatCount_;
}

size_t ImageView::currentAnimationFrame() const {
  if (!isAnimating()) return 0;
  const double cycle = animationDuration();
  const size_t n = animationImages_.size();
  if (cycle <= 0) return 0;
  const double elapsed = std::max(0.0, now() - animationStart_);
  const double perFrame = cycle / n;
  // Clock times near 1.7e9 s carry about a quarter of a microsecond of rounding.
  return static_cast<size_t>(std::floor(elapsed / perFrame + 1e-3)) % n;
}

ImagePtr ImageView::displayedImage() const {
  if (isAnimating()) return animationImages_[currentAnimationFrame()];
  if (highlighted_ && highlightedImage_) return highlightedImage_;
  return image_;
}

Size ImageView::intrinsicContentSize() const {
  if (!image_) return {kNoIntrinsicMetric, kNoIntrinsicMetric};
  return image_->size();
}

void ImageView::draw(GraphicsContext& context, const Rect& rect) {
  auto image = displayedImage();
  if (!image) return;
  std::optional<Color> tint;
  if (image->renderingMode() == ImageRenderingMode::AlwaysTemplate) tint = tintColor();
  context.drawImage(*image, bounds(), contentMode(), tint);
}

}  // namespace dk::platform

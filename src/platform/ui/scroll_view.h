// ScrollView: a view whose bounds origin (the content offset) moves over a larger content, with
// dragging, flinging, animated offsets and zooming (UIScrollView).
//
// Delegate callbacks come in the platform's order. A drag: scrollViewWillBeginDragging, then
// scrollViewDidScroll at every move, scrollViewWillEndDragging (velocity in points per
// millisecond, target offset in/out), scrollViewDidEndDragging(willDecelerate); when it
// decelerates, scrollViewWillBeginDecelerating, scrollViewDidScroll at every frame and
// scrollViewDidEndDecelerating. setContentOffset reports scrollViewDidScroll at once; an
// animated offset moves over run-loop frames (DisplayLink, 60 per second of the current clock)
// and ends with scrollViewDidEndScrollingAnimation. isDragging is true from will-begin-dragging
// until did-end-dragging has returned; isDecelerating from will-begin-decelerating until
// did-end-decelerating. A finger that catches a decelerating view stops it: the following
// will-begin-dragging still sees isDecelerating (then it clears), and a catch that ends without
// a drag reports did-end-decelerating. Zoom: the delegate's viewForZooming is scaled by a
// transform, the content size follows it, and pinches keep the content under the fingers.
// Deceleration follows the platform's rate (0.998 per millisecond) and stops at the content's
// edges. Main thread only; the delegate is held weakly.
#pragma once

#include <memory>
#include <optional>

#include "platform/ui/display_link.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/view.h"

namespace dk::platform {

class ScrollView;

class ScrollViewDelegate {
 public:
  virtual ~ScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(ScrollView& scrollView) {}
  virtual void scrollViewWillBeginDragging(ScrollView& scrollView) {}
  // `velocity` in points per millisecond of content offset; `targetContentOffset` may be changed.
  virtual void scrollViewWillEndDragging(ScrollView& scrollView, Point velocity, Point* targetContentOffset) {}
  virtual void scrollViewDidEndDragging(ScrollView& scrollView, bool willDecelerate) {}
  virtual void scrollViewWillBeginDecelerating(ScrollView& scrollView) {}
  virtual void scrollViewDidEndDecelerating(ScrollView& scrollView) {}
  virtual void scrollViewDidEndScrollingAnimation(ScrollView& scrollView) {}
  // nullptr: no zooming.
  virtual std::shared_ptr<View> viewForZooming(ScrollView& scrollView) { return nullptr; }
  virtual void scrollViewWillBeginZooming(ScrollView& scrollView, View* view) {}
  virtual void scrollViewDidZoom(ScrollView& scrollView) {}
  virtual void scrollViewDidEndZooming(ScrollView& scrollView, View* view, double scale) {}
};

class ScrollView : public View {
 public:
  static constexpr double kDecelerationRateNormal = 0.998;
  static constexpr double kDecelerationRateFast = 0.99;
  static constexpr double kScrollAnimationDuration = 0.3;

  ScrollView();
  explicit ScrollView(const Rect& frame);
  ~ScrollView() override;

  void setDelegate(std::weak_ptr<ScrollViewDelegate> delegate) { delegate_ = std::move(delegate); }
  std::shared_ptr<ScrollViewDelegate> delegate() const { return delegate_.lock(); }

  Point contentOffset() const { return bounds().origin; }
  void setContentOffset(Point offset);
  void setContentOffset(Point offset, bool animated);
  Size contentSize() const { return contentSize_; }
  void setContentSize(Size size);
  EdgeInsets contentInset() const { return contentInset_; }
  void setContentInset(const EdgeInsets& inset);
  EdgeInsets adjustedContentInset() const { return contentInset_; }
  // The range the offset rests in.
  Point minimumContentOffset() const;
  Point maximumContentOffset() const;
  void scrollRectToVisible(const Rect& rect, bool animated);

  bool isTracking() const { return tracking_; }
  bool isDragging() const { return dragging_; }
  bool isDecelerating() const { return decelerating_; }
  bool isZooming() const { return zooming_; }
  bool isZoomBouncing() const { return zoomBouncing_; }
  // True while an animated offset or zoom is moving the content.
  bool isAnimatingScroll() const { return animation_.has_value(); }

  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
  bool bounces() const { return bounces_; }
  void setBounces(bool bounces) { bounces_ = bounces; }
  bool bouncesZoom() const { return bouncesZoom_; }
  void setBouncesZoom(bool bounces) { bouncesZoom_ = bounces; }
  bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
  void setAlwaysBounceVertical(bool value) { alwaysBounceVertical_ = value; }
  bool alwaysBounceHorizontal() const { return alwaysBounceHorizontal_; }
  void setAlwaysBounceHorizontal(bool value) { alwaysBounceHorizontal_ = value; }
  bool isPagingEnabled() const { return pagingEnabled_; }
  void setPagingEnabled(bool enabled) { pagingEnabled_ = enabled; }
  bool showsVerticalScrollIndicator() const { return showsVertical_; }
  void setShowsVerticalScrollIndicator(bool shows) { showsVertical_ = shows; }
  bool showsHorizontalScrollIndicator() const { return showsHorizontal_; }
  void setShowsHorizontalScrollIndicator(bool shows) { showsHorizontal_ = shows; }
  double decelerationRate() const { return decelerationRate_; }
  void setDecelerationRate(double rate) { decelerationRate_ = rate; }

  double zoomScale() const { return zoomScale_; }
  void setZoomScale(double scale) { setZoomScale(scale, false); }
  void setZoomScale(double scale, bool animated);
  double minimumZoomScale() const { return minimumZoomScale_; }
  void setMinimumZoomScale(double scale) { minimumZoomScale_ = scale; }
  double maximumZoomScale() const { return maximumZoomScale_; }
  void setMaximumZoomScale(double scale) { maximumZoomScale_ = scale; }
  // Zooms so that `rect` (in the zoomed view's own coordinates) fills the bounds.
  void zoomToRect(const Rect& rect, bool animated);

  const std::shared_ptr<PanGestureRecognizer>& panGestureRecognizer() const { return pan_; }
  const std::shared_ptr<PinchGestureRecognizer>& pinchGestureRecognizer() const { return pinch_; }

  void setBounds(const Rect& bounds) override;
  bool gestureRecognizerShouldBegin(const GestureRecognizer& recognizer) const override;

  // Scroll views can scroll along an axis when the content (with insets) exceeds the bounds.
  bool canScrollHorizontally() const;
  bool canScrollVertically() const;

  // ---- internal (the scroll view's own recognisers) ----
  void panTouchDown();
  void panTouchUpWithoutDrag();

 protected:
  // Called after every change of the offset, before the delegate hears of it.
  virtual void contentOffsetDidChange() {}

 private:
  struct Animation {
    enum class Kind { Deceleration, Offset, Zoom } kind;
    double start = 0;
    double duration = 0;
    Point from, to;
    double fromScale = 1, toScale = 1;
    bool reportsZoomEnd = false;
  };
  void setUp();
  void handlePan(GestureRecognizer& recognizer);
  void handlePinch(GestureRecognizer& recognizer);
  void startAnimation(Animation animation);
  void stopAnimation();
  void tick(double now);
  void finishAnimation();
  void applyZoom(double scale, std::shared_ptr<View> zoomView);
  std::shared_ptr<View> zoomView();
  Point clampOffset(Point offset) const;
  Point rubberBand(Point offset) const;

  std::weak_ptr<ScrollViewDelegate> delegate_;
  Size contentSize_;
  EdgeInsets contentInset_;
  bool tracking_ = false, dragging_ = false, decelerating_ = false, zooming_ = false, zoomBouncing_ = false;
  bool caughtDeceleration_ = false;
  bool scrollEnabled_ = true, bounces_ = true, bouncesZoom_ = true;
  bool alwaysBounceVertical_ = false, alwaysBounceHorizontal_ = false;
  bool pagingEnabled_ = false, showsVertical_ = true, showsHorizontal_ = true;
  double decelerationRate_ = kDecelerationRateNormal;
  double zoomScale_ = 1, minimumZoomScale_ = 1, maximumZoomScale_ = 1;
  Point dragStartOffset_;
  double pinchStartScale_ = 1;
  Point pinchAnchor_;  // content point (zoom view coordinates, unscaled) under the fingers
  std::shared_ptr<PanGestureRecognizer> pan_;
  std::shared_ptr<PinchGestureRecognizer> pinch_;
  std::optional<Animation> animation_;
  std::shared_ptr<DisplayLink> link_;
};

}  // namespace dk::platform

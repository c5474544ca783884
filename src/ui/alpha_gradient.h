// AlphaGradient: the drawing of AlphaGradientView, one colour fading to transparent along one of
// four edges, for the view class of the UI layer to host.
//
// The view keeps an AlphaGradient, forwards its `alpha`, `color` and `direction` setters to it
// (then asks for a redraw) and calls draw() from its drawing pass. Main thread only, as the view.
#pragma once

#include "platform/graphics/context.h"
#include "platform/graphics/geometry.h"

namespace dk {

class AlphaGradient {
 public:
  // Direction values: 0 opaque at the bottom, 1 at the top, 2 at the right, 3 at the left.
  static constexpr int kOpaqueBottom = 0, kOpaqueTop = 1, kOpaqueRight = 2, kOpaqueLeft = 3;

  double alpha() const { return alpha_; }
  void setAlpha(double alpha) { alpha_ = alpha; }
  const platform::Color& color() const { return color_; }
  void setColor(const platform::Color& color) { color_ = color; }
  int direction() const { return direction_; }
  void setDirection(int direction) { direction_ = direction; }
  platform::Point startPoint() const { return start_; }
  platform::Point endPoint() const { return end_; }

  // Works out the start and end points from the direction and the view's frame size; another
  // direction keeps the previous points.
  void updatePoints(platform::Size frameSize);
  // drawRect: updates the points for frameSize, then paints `rect`: the colour at `alpha` where
  // the gradient starts, fading linearly to nothing where it ends, extended beyond both.
  void draw(platform::GraphicsContext& context, const platform::Rect& rect, platform::Size frameSize);

 private:
  platform::Point start_;
  platform::Point end_;
  double alpha_ = 1.0;
  int direction_ = kOpaqueBottom;
  platform::Color color_ = platform::Color::black();
};

}  // namespace dk

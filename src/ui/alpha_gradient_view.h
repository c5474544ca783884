// AlphaGradientView: a passive overlay painting one colour that fades to transparent along one of
// four edges (content fades out under controls).
//
// At creation: gradient alpha 1.0, touches pass through, clear background, colour black,
// direction 0 (opaque at the bottom). `setAlpha` sets the opacity of the colour at the opaque end,
// not the view's own transparency. Setting alpha, colour or direction asks for a redraw; the
// drawing is AlphaGradient's. Main thread only.
#pragma once

#include "platform/graphics/context.h"
#include "platform/ui/view.h"
#include "ui/alpha_gradient.h"

namespace dk {

class AlphaGradientView : public platform::View {
 public:
  AlphaGradientView();
  explicit AlphaGradientView(const platform::Rect& frame);

  // The gradient's opacity (the view's own alpha stays as it is).
  void setAlpha(double alpha) override;
  double gradientAlpha() const { return gradient_.alpha(); }
  const platform::Color& color() const { return gradient_.color(); }
  void setColor(const platform::Color& color);
  int direction() const { return gradient_.direction(); }
  void setDirection(int direction);
  platform::Point startPoint() const { return gradient_.startPoint(); }
  platform::Point endPoint() const { return gradient_.endPoint(); }

  void draw(platform::GraphicsContext& context, const platform::Rect& rect) override;

 private:
  void setUp();
  AlphaGradient gradient_;
};

}  // namespace dk

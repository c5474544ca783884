#include "ui/alpha_gradient_view.h"

namespace dk {

AlphaGradientView::AlphaGradientView() { setUp(); }

AlphaGradientView::AlphaGradientView(const platform::Rect& frame) : View(frame) { setUp(); }

void AlphaGradientView::setUp() {
  gradient_.setAlpha(1.0);
  setUserInteractionEnabled(false);
  setBackgroundColor(platform::Color::clear());
  gradient_.setColor(platform::Color::black());
}

void AlphaGradientView::setAlpha(double alpha) {
  gradient_.setAlpha(alpha);
  setNeedsDisplay();
}

void AlphaGradientView::setColor(const platform::Color& color) {
  gradient_.setColor(color);
  setNeedsDisplay();
}

void AlphaGradientView::setDirection(int direction) {
  gradient_.setDirection(direction);
  setNeedsDisplay();
}

void AlphaGradientView::draw(platform::GraphicsContext& context, const platform::Rect& rect) {
  gradient_.draw(context, rect, frame().size);
}

}  // namespace dk

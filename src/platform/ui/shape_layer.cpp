#include "platform/ui/shape_layer.h"

namespace dk::platform {

void ShapeLayer::drawContents(GraphicsContext& context) const {
  if (path_.isEmpty()) return;
  if (fillColor_ && fillColor_->alpha > 0) {
    context.setFillColor(*fillColor_);
    context.fillPath(path_, fillRule_);
  }
  if (strokeColor_ && strokeColor_->alpha > 0 && lineWidth_ > 0) {
    context.setStrokeColor(*strokeColor_);
    context.setLineWidth(lineWidth_);
    context.setLineCap(lineCap_);
    context.setLineJoin(lineJoin_);
    context.strokePath(path_);
  }
}

void GradientLayer::drawContents(GraphicsContext& context) const { style_.draw(context, bounds()); }

}  // namespace dk::platform

#include "timeline/download_progress_layer.h"

namespace dk {

std::shared_ptr<platform::ShapeLayer> downloadStatusCircleLayer(const DownloadStatusCircle& circle) {
  auto layer = std::make_shared<platform::ShapeLayer>();
  layer->setPath(circle.path);
  layer->setStrokeColor(circle.strokeColor);
  layer->setFillColor(circle.fillColor);
  layer->setLineWidth(circle.lineWidth);
  if (circle.bounds) layer->setBounds(*circle.bounds);
  if (circle.position) layer->setPosition(*circle.position);
  return layer;
}

void addDownloadProgressLayerWithName(const std::shared_ptr<platform::Layer>& progressLayer, platform::Layer& parent,
                                      const std::string& name) {
  parent.addSublayer(progressLayer);
  parent.setValue(name, std::weak_ptr<platform::Layer>(progressLayer));
}

std::shared_ptr<platform::Layer> downloadProgressLayerWithName(const platform::Layer& parent, const std::string& name) {
  auto stored = parent.valueAs<std::weak_ptr<platform::Layer>>(name);
  return stored ? stored->lock() : nullptr;
}

void removeDownloadProgressLayerFromLayerWithName(platform::Layer& parent, const std::string& name) {
  if (auto layer = downloadProgressLayerWithName(parent, name)) layer->removeFromSuperlayer();
  parent.setValue(name, std::any());
}

}  // namespace dk

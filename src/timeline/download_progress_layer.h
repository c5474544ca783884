// The download-progress ring over event thumbnails as a layer: the shape of
// getDownloadStatusCircleWithRadius (ui/download_status_circle.h) made into a shape layer, kept on
// a parent layer under a name so that it can be found and removed again
// (addDownloadProgressLayerWithName, removeDownloadProgressLayerFromLayerWithName). Main thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/shape_layer.h"
#include "ui/download_status_circle.h"

namespace dk {

std::shared_ptr<platform::ShapeLayer> downloadStatusCircleLayer(const DownloadStatusCircle& circle);
void addDownloadProgressLayerWithName(const std::shared_ptr<platform::Layer>& progressLayer, platform::Layer& parent,
                                      const std::string& name);
void removeDownloadProgressLayerFromLayerWithName(platform::Layer& parent, const std::string& name);
// The layer kept under the name, or nullptr.
std::shared_ptr<platform::Layer> downloadProgressLayerWithName(const platform::Layer& parent, const std::string& name);

}  // namespace dk

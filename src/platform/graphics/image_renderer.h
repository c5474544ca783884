// ImageRenderer: an offscreen bitmap to draw into and take images from (UIGraphicsImageRenderer,
// UIGraphicsBeginImageContextWithOptions).
//
// The bitmap has a size in points and a scale; its context draws in points. `image()` snapshots
// the current contents into a new immutable Image, so drawing may go on afterwards. `withPixels`
// gives the raw premultiplied ARGB32 buffer for pixel work (the blur). A renderer belongs to the
// thread that uses it; renderers on different threads are independent.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/graphics/context.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/image.h"

namespace dk::platform {

// Writable view of a bitmap's pixels (vImage_Buffer).
struct PixelBuffer {
  std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int bytesPerRow = 0;
  ConstPixelBuffer asConst() const { return {data, width, height, bytesPerRow}; }
};

class ImageRenderer {
 public:
  // A transparent bitmap of the size in points at the scale (opaque: starts black and yields
  // opaque images). Sizes round up to whole pixels, at least one.
  ImageRenderer(Size pointSize, double scale = 1.0, bool opaque = false);
  ~ImageRenderer();
  ImageRenderer(const ImageRenderer&) = delete;
  ImageRenderer& operator=(const ImageRenderer&) = delete;

  GraphicsContext& context();
  Size size() const;
  double scale() const;
  int pixelWidth() const;
  int pixelHeight() const;
  bool isOpaque() const;

  // A copy of the current contents.
  ImagePtr image(ImageRenderingMode mode = ImageRenderingMode::Automatic) const;
  // Runs `work` on the bitmap's pixels; drawing before and after sees the changes.
  void withPixels(const std::function<void(PixelBuffer&)>& work);

  // Draws with `draw` into a new renderer and returns its image.
  static ImagePtr render(Size pointSize, double scale, bool opaque,
                         const std::function<void(GraphicsContext&)>& draw);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace dk::platform

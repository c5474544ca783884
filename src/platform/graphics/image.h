// Image: an immutable bitmap (UIImage) with a size in points and a scale (pixels per point).
//
// Pixels are 32-bit premultiplied ARGB in native byte order (on little-endian machines the bytes
// are B, G, R, A), the layout cairo and the blur work on. Images are shared through ImagePtr and
// never change after creation, so one image may be drawn or read from several threads at once.
// Images with other contents are made by ImageRenderer (image_renderer.h) or the factories below.
// `named` resolves the project's own images from the resource folder, once per process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"

namespace dk::platform {

class Image;
using ImagePtr = std::shared_ptr<const Image>;

// How an image view or button draws the image: as it is, or its shape filled with the tint colour.
enum class ImageRenderingMode { Automatic, AlwaysOriginal, AlwaysTemplate };

// Read-only view of an image's pixels.
struct ConstPixelBuffer {
  const std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int bytesPerRow = 0;
};

class Image {
 public:
  // A fully transparent image (opaque: filled black and flagged opaque). Sizes below one pixel
  // are raised to one pixel.
  static ImagePtr create(Size pointSize, double scale = 1.0, bool opaque = false);
  // Copies premultiplied ARGB32 pixels (stride in bytes).
  static ImagePtr fromPixels(const std::uint8_t* argb32, int pixelWidth, int pixelHeight, int bytesPerRow,
                             double scale = 1.0, bool opaque = false);
  // An image whose pixels `fill` writes straight into the image's own storage (premultiplied
  // ARGB32, `bytesPerRow` apart), nothing zeroed or copied first. nullptr when the storage cannot
  // be had or `fill` returns false; `fill` must write every pixel.
  static ImagePtr fromPixelWriter(int pixelWidth, int pixelHeight, double scale, bool opaque,
                                  const std::function<bool(std::uint8_t* data, int bytesPerRow)>& fill);
  // Decodes PNG or JPEG bytes (by their signature). nullptr with a reason in *error otherwise.
  static ImagePtr fromEncodedData(const std::vector<std::uint8_t>& bytes, double scale = 1.0,
                                  std::string* error = nullptr);
  // The same, shrunk by a whole factor (blocks averaged) while it is decoded so that neither side
  // exceeds `maxPixelSize` pixels: a picture far larger than it is shown never takes its full
  // size in memory (an interlaced PNG far above it is refused).
  static ImagePtr fromEncodedDataFitting(const std::vector<std::uint8_t>& bytes, int maxPixelSize, double scale = 1.0,
                                         std::string* error = nullptr);
  static ImagePtr fromFile(const std::string& path, double scale = 1.0, std::string* error = nullptr);

  // The project's image of that name ("loadingGrey1", "Play"), looked up as "<name>@2x.png",
  // "<name>@3x.png" then "<name>.png" under images/ of each resource folder (see resourceImagePath).
  // Loaded once per process and shared; nullptr when there is no such image.
  static ImagePtr named(const std::string& name);
  // The file `named` would load, or nothing; also how callers load a resource uncached.
  static std::optional<std::string> resourceImagePath(const std::string& name, double* scale = nullptr);
  // Resource folders searched in order: the environment variable DK_RESOURCE_DIR, the folder the
  // build configured, the build tree's generated images.
  static std::vector<std::string> resourceDirectories();
  // Empties the `named` cache (tests).
  static void clearNamedCache();

  // An image of `size` points filled with the colour (1 x 1 point by default).
  static ImagePtr withColor(const Color& color, Size size = {1, 1}, double scale = 1.0);

  Size size() const { return size_; }
  double scale() const { return scale_; }
  int pixelWidth() const { return pixelWidth_; }
  int pixelHeight() const { return pixelHeight_; }
  bool isOpaque() const { return opaque_; }
  ImageRenderingMode renderingMode() const { return renderingMode_; }
  // The name it was loaded under, when it came from `named` (for messages).
  const std::string& name() const { return name_; }

  // The same pixels with another rendering mode (imageWithRenderingMode:); shares the bitmap.
  ImagePtr withRenderingMode(ImageRenderingMode mode) const;
  // The same pixels at another scale (so another point size); shares the bitmap.
  ImagePtr withScale(double scale) const;
  // The pixel rectangle clipped to the image, as a new image of scale 1 (CGImageCreateWithImageInRect);
  // nullptr when nothing of it lies on the image.
  ImagePtr croppedToPixels(int x, int y, int width, int height) const;

  ConstPixelBuffer pixels() const;
  // Un-premultiplied colour of one pixel (components 0...1); transparent outside the image.
  Color pixelColor(int x, int y) const;
  // Premultiplied 0xAARRGGBB word of one pixel; 0 outside the image.
  std::uint32_t pixelValue(int x, int y) const;

  std::vector<std::uint8_t> encodePNG() const;
  // quality 0...1; transparent pixels are flattened over black.
  std::vector<std::uint8_t> encodeJPEG(double quality = 0.9) const;
  bool writePNG(const std::string& path, std::string* error = nullptr) const;
  bool writeJPEG(const std::string& path, double quality = 0.9, std::string* error = nullptr) const;

  // Owner of the pixel memory (a cairo surface); opaque to callers.
  struct Bitmap;
  Image(std::shared_ptr<Bitmap> bitmap, double scale, bool opaque, ImageRenderingMode mode, std::string name);
  const std::shared_ptr<Bitmap>& bitmap() const { return bitmap_; }

 private:
  std::shared_ptr<Bitmap> bitmap_;
  Size size_;
  double scale_ = 1;
  int pixelWidth_ = 0, pixelHeight_ = 0;
  bool opaque_ = false;
  ImageRenderingMode renderingMode_ = ImageRenderingMode::Automatic;
  std::string name_;
};

}  // namespace dk::platform

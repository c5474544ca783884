// Image effects and image helpers of the screens (UIImage(ImageEffects), UIImage(ImageWithColorAndAlpha),
// UIImage(TemplateImage), UIImage(ImageName), ProgresImage and the animation frame lists).
//
// The blur with tint and saturation is what lies behind "no recording" messages: three box passes
// approximate a Gaussian, then a colour matrix changes the saturation. Images are immutable and
// shared; every function returns a new image (or nullptr when it cannot make one). The functions
// keep no state beyond the process-wide image cache and may be called from any thread; the screens
// call them on the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/graphics/image.h"

namespace dk {

using platform::Color;
using platform::ImagePtr;

// --- Blur, tint and saturation ---

// The odd box size of the three passes for a blur radius in points at a screen scale.
int blurBoxSize(double radiusPoints, double screenScale);
// The saturation matrix for factor s in vImage's integer form (divisor 256), rows in the order the
// matrix call takes them (memory bytes B, G, R, A).
std::array<std::int16_t, 16> saturationMatrix(double s);
constexpr std::int32_t kSaturationMatrixDivisor = 256;

// applyBlurWithRadius:lightColor:saturationDeltaFactor:maskImage:. The result has the source's
// point size at the main screen's scale (platform::mainScreenScale()). nullptr, with the message
// logged, for an image below one point or a mask without pixels.
ImagePtr applyBlurWithRadius(const ImagePtr& image, double blurRadius, std::optional<Color> tintColor,
                             double saturationDeltaFactor, const ImagePtr& maskImage);
ImagePtr applyLightEffect(const ImagePtr& image);
ImagePtr applyExtraLightEffect(const ImagePtr& image);
ImagePtr applyDarkEffect(const ImagePtr& image);
ImagePtr applyTintEffectWithColor(const ImagePtr& image, const Color& tintColor);
ImagePtr applyLightEffectWithBlurRadius(const ImagePtr& image, double blurRadius);

// --- One-colour and template images ---

// imageWithColor: a 1 x 1 point image of the colour.
ImagePtr imageWithColor(const Color& color);
// imageWithColor:andRect: an image of the rectangle's size, the rectangle filled with the colour.
ImagePtr imageWithColor(const Color& color, const platform::Rect& rect);
// translucentImageWithAlpha: redrawn at the main screen's scale with the screen blend mode and alpha.
ImagePtr translucentImageWithAlpha(const ImagePtr& image, double alpha);
// templateImageWithColor: the source's shape (its alpha) filled with the colour, same size and scale.
ImagePtr templateImageWithColor(const ImagePtr& image, const Color& color);

// --- Named images and animation frames ---

// imageWithName: the framework's own image of that name.
ImagePtr imageWithName(const std::string& name);

class ProgresImage {
 public:
  // getImageFor:index: the image named "<name><index>".
  static ImagePtr getImageFor(const std::string& name, long index);
};

// Frame indexes from `from` to `to` inclusive, counting down when from >= to, up otherwise.
std::vector<long> animationFrameIndexes(long from, long to);
// imagesForAnimation: the frames "<name><i>" of the framework's images; missing frames skipped.
std::vector<ImagePtr> imagesForAnimation(long from, long to, const std::string& name);
// bigImagesForAnimation: the same frames loaded from their files each time (uncached).
std::vector<ImagePtr> bigImagesForAnimation(long from, long to, const std::string& name);
// coloredImagesForAnimation: the same frames through templateImageWithColor.
std::vector<ImagePtr> coloredImagesForAnimation(long from, long to, const std::string& name, const Color& color);

}  // namespace dk

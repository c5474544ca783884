#include "ui/image_effects.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "platform/graphics/image_filters.h"
#include "platform/graphics/image_renderer.h"
#include "platform/graphics/screen_scale.h"

namespace dk {

using platform::GraphicsContext;
using platform::Image;
using platform::ImageRenderer;
using platform::PixelBuffer;
using platform::Rect;
using platform::Size;

namespace {

std::string describe(const ImagePtr& image) {
  if (!image) return "(null)";
  char text[160];
  std::snprintf(text, sizeof text, "<Image %s%s%g x %g @%gx>", image->name().c_str(),
                image->name().empty() ? "" : " ", image->size().width, image->size().height, image->scale());
  return text;
}

}  // namespace

int blurBoxSize(double radiusPoints, double screenScale) {
  const double inputRadius = radiusPoints * screenScale;
  constexpr double kSqrtTwoPi = 2.5066282746310002;
  auto size = static_cast<int>(std::floor(inputRadius * 3.0 * kSqrtTwoPi / 4.0 + 0.5));
  if (size % 2 == 0) ++size;
  return std::max(size, 1);
}

std::array<std::int16_t, 16> saturationMatrix(double s) {
  const double m[16] = {
      0.0722 + 0.9278 * s, 0.0722 - 0.0722 * s, 0.0722 - 0.0722 * s, 0,  //
      0.7152 - 0.7152 * s, 0.7152 + 0.2848 * s, 0.7152 - 0.7152 * s, 0,  //
      0.2126 - 0.2126 * s, 0.2126 - 0.2126 * s, 0.2126 + 0.7873 * s, 0,  //
      0,                   0,                   0,                   1,
  };
  std::array<std::int16_t, 16> result{};
  for (int i = 0; i < 16; ++i) {
    const float scaled = static_cast<float>(m[i] * kSaturationMatrixDivisor);
    result[i] = static_cast<std::int16_t>(std::clamp(std::roundf(scaled), -32768.0f, 32767.0f));
  }
  return result;
}

ImagePtr applyBlurWithRadius(const ImagePtr& image, double blurRadius, std::optional<Color> tintColor,
                             double saturationDeltaFactor, const ImagePtr& maskImage) {
  if (!image) {
    std::fprintf(stderr, "*** error: image must be backed by a CGImage: %s\n", describe(image).c_str());
    return nullptr;
  }
  const Size size = image->size();
  if (size.width < 1 || size.height < 1) {
    std::fprintf(stderr, "*** error: invalid size: (%.2f x %.2f). Both dimensions must be >= 1: %s\n", size.width,
                 size.height, describe(image).c_str());
    return nullptr;
  }
  const double scale = platform::mainScreenScale();
  const Rect imageRect(0, 0, size.width, size.height);
  const bool hasBlur = blurRadius > FLT_EPSILON;
  const bool hasSaturationChange = std::fabs(saturationDeltaFactor - 1.0) > FLT_EPSILON;

  ImagePtr effectImage = image;
  if (hasBlur || hasSaturationChange) {
    ImageRenderer first(size, scale, false);
    first.context().drawImage(*image, imageRect);
    ImageRenderer second(size, scale, false);
    bool resultInFirst = false;
    first.withPixels([&](PixelBuffer& in) {
      second.withPixels([&](PixelBuffer& out) {
        if (hasBlur) {
          // Three box passes approximate a Gaussian of the radius.
          const int box = blurBoxSize(blurRadius, scale);
          platform::boxConvolve(in.asConst(), out, box, box);
          platform::boxConvolve(out.asConst(), in, box, box);
          platform::boxConvolve(in.asConst(), out, box, box);
        }
        if (hasSaturationChange) {
          const auto matrix = saturationMatrix(saturationDeltaFactor);
          if (hasBlur) {
            platform::matrixMultiply(out.asConst(), in, matrix, kSaturationMatrixDivisor);
            resultInFirst = true;
          } else {
            platform::matrixMultiply(in.asConst(), out, matrix, kSaturationMatrixDivisor);
          }
        }
      });
    });
    effectImage = resultInFirst ? first.image() : second.image();
  }

  ImageRenderer output(size, scale, false);
  GraphicsContext& context = output.context();
  context.drawImage(*image, imageRect);
  // A saturation change without blur is an effect too: draw it rather than drop it.
  if (hasBlur || hasSaturationChange) {
    context.saveGState();
    if (maskImage) context.clipToMask(imageRect, *maskImage);
    context.drawImage(*effectImage, imageRect);
    context.restoreGState();
  }
  if (tintColor) {
    context.saveGState();
    context.setFillColor(*tintColor);
    context.fillRect(imageRect);
    context.restoreGState();
  }
  return output.image();
}

ImagePtr applyLightEffect(const ImagePtr& image) {
  return applyBlurWithRadius(image, 14.0, Color::white(0.8, 0.3), 1.8, nullptr);
}

ImagePtr applyExtraLightEffect(const ImagePtr& image) {
  return applyBlurWithRadius(image, 20.0, Color::white(0.97, 0.82), 1.8, nullptr);
}

ImagePtr applyDarkEffect(const ImagePtr& image) {
  return applyBlurWithRadius(image, 20.0, Color::white(0.3, 0.73), 1.8, nullptr);
}

ImagePtr applyTintEffectWithColor(const ImagePtr& image, const Color& tintColor) {
  // Grey and coloured tints alike keep their components and take the effect's alpha.
  return applyBlurWithRadius(image, 10.0, tintColor.withAlpha(0.6), -1.0, nullptr);
}

ImagePtr applyLightEffectWithBlurRadius(const ImagePtr& image, double blurRadius) {
  return applyBlurWithRadius(image, blurRadius, Color::clear(), 0.8, nullptr);
}

ImagePtr imageWithColor(const Color& color) { return imageWithColor(color, Rect(0, 0, 1, 1)); }

ImagePtr imageWithColor(const Color& color, const Rect& rect) {
  return ImageRenderer::render(rect.size, 1.0, false, [&](GraphicsContext& context) {
    context.setFillColor(color);
    context.fillRect(rect);
  });
}

ImagePtr translucentImageWithAlpha(const ImagePtr& image, double alpha) {
  if (!image) return nullptr;
  return ImageRenderer::render(image->size(), platform::mainScreenScale(), false, [&](GraphicsContext& context) {
    context.setBlendMode(platform::BlendMode::Screen);
    context.setAlpha(alpha);
    context.drawImage(*image, Rect(0, 0, image->size().width, image->size().height));
  });
}

ImagePtr templateImageWithColor(const ImagePtr& image, const Color& color) {
  if (!image) return nullptr;
  const Rect rect(0, 0, image->size().width, image->size().height);
  return ImageRenderer::render(image->size(), image->scale(), false, [&](GraphicsContext& context) {
    context.setBlendMode(platform::BlendMode::Normal);
    context.clipToMask(rect, *image);
    context.setFillColor(color);
    context.fillRect(rect);
  });
}

ImagePtr imageWithName(const std::string& name) { return Image::named(name); }

ImagePtr ProgresImage::getImageFor(const std::string& name, long index) {
  return Image::named(name + std::to_string(index));
}

std::vector<long> animationFrameIndexes(long from, long to) {
  std::vector<long> indexes;
  if (from >= to) {
    for (long i = from; i >= to; --i) indexes.push_back(i);
  } else {
    for (long i = from; i <= to; ++i) indexes.push_back(i);
  }
  return indexes;
}

std::vector<ImagePtr> imagesForAnimation(long from, long to, const std::string& name) {
  std::vector<ImagePtr> frames;
  for (long i : animationFrameIndexes(from, to)) {
    if (ImagePtr frame = ProgresImage::getImageFor(name, i)) frames.push_back(std::move(frame));
  }
  return frames;
}

std::vector<ImagePtr> bigImagesForAnimation(long from, long to, const std::string& name) {
  std::vector<ImagePtr> frames;
  for (long i : animationFrameIndexes(from, to)) {
    double scale = 1;
    // A missing frame is skipped rather than put into the list as a hole.
    const auto path = Image::resourceImagePath(name + std::to_string(i), &scale);
    if (!path) continue;
    if (ImagePtr frame = Image::fromFile(*path, scale)) frames.push_back(std::move(frame));
  }
  return frames;
}

std::vector<ImagePtr> coloredImagesForAnimation(long from, long to, const std::string& name, const Color& color) {
  std::vector<ImagePtr> frames;
  for (long i : animationFrameIndexes(from, to)) {
    ImagePtr frame = Image::named(name + std::to_string(i));
    if (!frame) continue;
    if (ImagePtr coloured = templateImageWithColor(frame, color)) frames.push_back(std::move(coloured));
  }
  return frames;
}

}  // namespace dk

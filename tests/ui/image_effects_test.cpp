#include <gtest/gtest.h>

#include <cmath>

#include "platform/graphics/image_compare.h"
#include "platform/graphics/image_renderer.h"
#include "screen_scale_scope.h"
#include "ui/image_effects.h"

namespace dk {
namespace {

using platform::GraphicsContext;
using platform::Image;
using platform::ImageRenderer;
using platform::Rect;

ImagePtr flat(const Color& color, platform::Size size = {20, 20}, double scale = 2.0) {
  return Image::withColor(color, size, scale);
}

// A white square in the middle of a black picture.
ImagePtr squareOnBlack() {
  return ImageRenderer::render({40, 40}, 2.0, true, [](GraphicsContext& c) {
    c.setFillColor(Color::whiteColor());
    c.fillRect(Rect(15, 15, 10, 10));
  });
}

bool isGrey(const Color& c, double tolerance = 1.5 / 255) {
  return std::abs(c.red - c.green) <= tolerance && std::abs(c.green - c.blue) <= tolerance;
}

TEST(BlurBoxSize, FollowsRadiusAndScaleAndIsAlwaysOdd) {
  EXPECT_EQ(blurBoxSize(14, 2), 53);
  EXPECT_EQ(blurBoxSize(10, 2), 39);  // 38 raised to odd
  EXPECT_EQ(blurBoxSize(5, 2), 19);   // the timeline's snapshot
  EXPECT_EQ(blurBoxSize(5, 3), 29);
  EXPECT_EQ(blurBoxSize(20, 1), 39);
  EXPECT_EQ(blurBoxSize(0.2, 1), 1);
}

TEST(SaturationMatrix, FactorOneIsTheIdentity) {
  const auto m = saturationMatrix(1.0);
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) EXPECT_EQ(m[row * 4 + col], row == col ? 256 : 0) << row << "," << col;
  }
}

TEST(SaturationMatrix, EntriesAreRoundedTimes256AndColumnsKeepGrey) {
  const auto m = saturationMatrix(1.8);
  EXPECT_EQ(m[0], 446);    // 256 * (0.0722 + 0.9278 * 1.8)
  EXPECT_EQ(m[4], -146);   // 256 * (0.7152 - 0.7152 * 1.8)
  EXPECT_EQ(m[8], -44);    // 256 * (0.2126 - 0.2126 * 1.8)
  EXPECT_EQ(m[10], 417);   // 256 * (0.2126 + 0.7873 * 1.8)
  EXPECT_EQ(m[15], 256);
  for (int col = 0; col < 3; ++col) EXPECT_NEAR(m[col] + m[4 + col] + m[8 + col], 256, 1) << col;
  // Factor 0: every output channel is the luminance of the input.
  const auto grey = saturationMatrix(0.0);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(grey[row * 4], grey[row * 4 + 1]);
    EXPECT_EQ(grey[row * 4 + 1], grey[row * 4 + 2]);
  }
  EXPECT_EQ(grey[8], 54);  // red's weight, 256 * 0.2126
}

TEST(ApplyBlur, NoBlurNoSaturationGivesTheSourceUnderTheTint) {
  test::ScreenScaleScope scale(2.0);
  const ImagePtr source = squareOnBlack();
  const ImagePtr plain = applyBlurWithRadius(source, 0, std::nullopt, 1.0, nullptr);
  ASSERT_TRUE(plain);
  EXPECT_TRUE(platform::compareImages(*plain, *source).within(0, 0));
  const ImagePtr tinted = applyBlurWithRadius(source, 0, Color::rgba(1, 0, 0, 0.5), 1.0, nullptr);
  const Color inside = tinted->pixelColor(40, 40), outside = tinted->pixelColor(2, 2);
  EXPECT_NEAR(inside.red, 1.0, 0.01);
  EXPECT_NEAR(inside.green, 0.5, 0.01);
  EXPECT_NEAR(outside.red, 0.5, 0.01);
  EXPECT_NEAR(outside.green, 0.0, 0.01);
}

TEST(ApplyBlur, SaturationWithoutBlurIsDrawn) {
  // Red desaturated to nothing is its luminance; the effect must not be computed and dropped.
  test::ScreenScaleScope scale(2.0);
  const ImagePtr result = applyBlurWithRadius(flat(Color::rgba(1, 0, 0)), 0, std::nullopt, 0.0, nullptr);
  ASSERT_TRUE(result);
  const Color c = result->pixelColor(10, 10);
  EXPECT_TRUE(isGrey(c)) << c.red << " " << c.green << " " << c.blue;
  EXPECT_NEAR(c.red, 0.2126, 0.01);
}

TEST(ApplyBlur, GreyStaysGreyUnderStrongerSaturation) {
  test::ScreenScaleScope scale(2.0);
  const ImagePtr result = applyBlurWithRadius(flat(Color::white(0.5)), 0, std::nullopt, 1.8, nullptr);
  EXPECT_TRUE(isGrey(result->pixelColor(5, 5)));
  EXPECT_NEAR(result->pixelColor(5, 5).red, 0.5, 2.0 / 255);
  // A colour gets more colourful: red grows further from green.
  const ImagePtr colour = applyBlurWithRadius(flat(Color::rgba(0.6, 0.4, 0.4)), 0, std::nullopt, 1.8, nullptr);
  const Color c = colour->pixelColor(5, 5);
  EXPECT_GT(c.red - c.green, 0.2 + 0.1);
}

TEST(ApplyBlur, BlurKeepsAFlatImageAndSpreadsEdgesSymmetrically) {
  test::ScreenScaleScope scale(2.0);
  const ImagePtr flatGrey = flat(Color::white(0.4), {30, 30});
  const ImagePtr blurredFlat = applyBlurWithRadius(flatGrey, 5, std::nullopt, 1.0, nullptr);
  EXPECT_TRUE(platform::compareImages(*blurredFlat, *flatGrey).within(0.01, 1));

  const ImagePtr blurred = applyBlurWithRadius(squareOnBlack(), 5, std::nullopt, 1.0, nullptr);
  ASSERT_TRUE(blurred);
  // Light leaks out of the square and the square darkens, the same amount on each side.
  const double leftOfSquare = blurred->pixelColor(27, 40).red, rightOfSquare = blurred->pixelColor(52, 40).red;
  const double above = blurred->pixelColor(40, 27).red, below = blurred->pixelColor(40, 52).red;
  EXPECT_GT(leftOfSquare, 0.05);
  EXPECT_NEAR(leftOfSquare, rightOfSquare, 1.5 / 255);
  EXPECT_NEAR(above, below, 1.5 / 255);
  EXPECT_NEAR(above, leftOfSquare, 1.5 / 255);
  EXPECT_LT(blurred->pixelColor(31, 31).red, 0.9);
  // Total light is kept (the picture is large enough that the edges do not matter).
  double sourceSum = 0, blurredSum = 0;
  const ImagePtr source = squareOnBlack();
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 80; ++x) {
      sourceSum += source->pixelColor(x, y).red;
      blurredSum += blurred->pixelColor(x, y).red;
    }
  }
  EXPECT_NEAR(blurredSum, sourceSum, sourceSum * 0.02);
}

TEST(ApplyBlur, ResultTakesTheScreenScaleAndTheSourceSize) {
  test::ScreenScaleScope scale(3.0);
  const ImagePtr result = applyLightEffectWithBlurRadius(flat(Color::white(0.5), {10, 6}, 1.0), 5);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->scale(), 3.0);
  EXPECT_EQ(result->size(), (platform::Size{10, 6}));
  // Clear tint, grey source: the light effect leaves a flat grey as it was.
  EXPECT_NEAR(result->pixelColor(15, 9).red, 0.5, 2.0 / 255);
}

TEST(ApplyBlur, MaskLimitsWhereTheEffectShows) {
  test::ScreenScaleScope scale(2.0);
  const ImagePtr mask = ImageRenderer::render({20, 20}, 1.0, false, [](GraphicsContext& c) {
    c.setFillColor(Color::black());
    c.fillRect(Rect(0, 0, 10, 20));
  });
  const ImagePtr result = applyBlurWithRadius(flat(Color::rgba(1, 0, 0)), 0, std::nullopt, 0.0, mask);
  EXPECT_TRUE(isGrey(result->pixelColor(5, 20)));       // under the mask: desaturated
  EXPECT_EQ(result->pixelColor(35, 20), Color::rgba(1, 0, 0));  // outside: the source
}

TEST(ApplyBlur, RefusesImagesBelowOnePoint) {
  test::ScreenScaleScope scale(2.0);
  EXPECT_FALSE(applyBlurWithRadius(nullptr, 5, std::nullopt, 1.0, nullptr));
  EXPECT_FALSE(applyLightEffect(Image::create({0.5, 10}, 2.0)));
  EXPECT_TRUE(applyLightEffect(Image::create({1, 1}, 2.0)));
}

TEST(ImageEffects, PresetsTintAsTheirTable) {
  test::ScreenScaleScope scale(2.0);
  const ImagePtr black = flat(Color::black(), {30, 30});
  // White 0.8 at alpha 0.3 over black is 0.24; white 0.3 at 0.73 is 0.219; 0.97 at 0.82 is 0.795.
  EXPECT_NEAR(applyLightEffect(black)->pixelColor(30, 30).red, 0.24, 0.01);
  EXPECT_NEAR(applyDarkEffect(black)->pixelColor(30, 30).red, 0.219, 0.01);
  EXPECT_NEAR(applyExtraLightEffect(black)->pixelColor(30, 30).red, 0.795, 0.01);
  const Color tint = applyTintEffectWithColor(black, Color::rgba(0, 0, 1, 1))->pixelColor(30, 30);
  EXPECT_NEAR(tint.blue, 0.6, 0.01);
  EXPECT_NEAR(tint.red, 0.0, 0.01);
}

TEST(ImageWithColor, OnePointImageOfTheColour) {
  const ImagePtr image = imageWithColor(Color::rgba(0, 1, 0, 0.5));
  EXPECT_EQ(image->size(), (platform::Size{1, 1}));
  EXPECT_EQ(image->scale(), 1.0);
  EXPECT_NEAR(image->pixelColor(0, 0).green, 1, 0.01);
  EXPECT_NEAR(image->pixelColor(0, 0).alpha, 0.5, 0.01);
  const ImagePtr sized = imageWithColor(Color::black(), Rect(0, 0, 6, 4));
  EXPECT_EQ(sized->size(), (platform::Size{6, 4}));
  EXPECT_EQ(sized->pixelColor(5, 3), Color::black());
}

TEST(TemplateImage, ShapeFilledWithTheColourAtTheSameSizeAndScale) {
  const ImagePtr icon = Image::named("Event_arrow_up");
  ASSERT_TRUE(icon);
  const ImagePtr red = templateImageWithColor(icon, Color::rgba(1, 0, 0));
  ASSERT_TRUE(red);
  EXPECT_EQ(red->size(), icon->size());
  EXPECT_EQ(red->scale(), icon->scale());
  int shape = 0;
  for (int y = 0; y < icon->pixelHeight(); ++y) {
    for (int x = 0; x < icon->pixelWidth(); ++x) {
      const Color a = icon->pixelColor(x, y), b = red->pixelColor(x, y);
      ASSERT_NEAR(a.alpha, b.alpha, 1.5 / 255) << x << "," << y;
      if (b.alpha > 0.5) {
        ++shape;
        EXPECT_NEAR(b.red, 1, 0.01);
        EXPECT_NEAR(b.green, 0, 0.01);
      }
    }
  }
  EXPECT_GT(shape, 20);
  EXPECT_FALSE(templateImageWithColor(nullptr, Color::black()));
}

TEST(TranslucentImage, AlphaScalesTheImage) {
  test::ScreenScaleScope scale(2.0);
  const ImagePtr half = translucentImageWithAlpha(flat(Color::rgba(0, 0, 1), {4, 4}, 1.0), 0.5);
  ASSERT_TRUE(half);
  EXPECT_EQ(half->scale(), 2.0);
  EXPECT_NEAR(half->pixelColor(3, 3).alpha, 0.5, 0.01);
  EXPECT_NEAR(half->pixelColor(3, 3).blue, 1.0, 0.02);
}

TEST(AnimationFrames, CountDownWhenFromIsNotBelowTo) {
  EXPECT_EQ(animationFrameIndexes(1, 4), (std::vector<long>{1, 2, 3, 4}));
  EXPECT_EQ(animationFrameIndexes(4, 1), (std::vector<long>{4, 3, 2, 1}));
  EXPECT_EQ(animationFrameIndexes(3, 3), (std::vector<long>{3}));
  const auto down = imagesForAnimation(21, 1, "play_pause");
  ASSERT_EQ(down.size(), 21u);
  EXPECT_EQ(down.front()->name(), "play_pause21");
  EXPECT_EQ(down.back()->name(), "play_pause1");
  const auto up = imagesForAnimation(1, 21, "play_pause");
  EXPECT_EQ(up.front()->name(), "play_pause1");
  EXPECT_EQ(up.back()->name(), "play_pause21");
}

TEST(AnimationFrames, MissingFramesAreSkipped) {
  EXPECT_EQ(imagesForAnimation(85, 95, "loadingGrey").size(), 6u);
  EXPECT_TRUE(imagesForAnimation(1, 3, "no_such_animation").empty());
  EXPECT_EQ(bigImagesForAnimation(89, 92, "loadingWhite").size(), 2u);
  EXPECT_EQ(coloredImagesForAnimation(90, 91, "loadingGrey", Color::black()).size(), 1u);
}

TEST(AnimationFrames, BigFramesAreFreshCopiesOfTheSamePictures) {
  const auto big = bigImagesForAnimation(1, 2, "pause_play");
  ASSERT_EQ(big.size(), 2u);
  const ImagePtr cached = Image::named("pause_play1");
  EXPECT_NE(big[0], cached);
  EXPECT_TRUE(platform::compareImages(*big[0], *cached).within(0, 0));
  EXPECT_EQ(big[0]->scale(), cached->scale());
}

TEST(AnimationFrames, ColouredFramesTakeTheColour) {
  const auto frames = coloredImagesForAnimation(1, 90, "loadingGrey", Color::rgba(0, 0.5, 1));
  ASSERT_EQ(frames.size(), 90u);
  const ImagePtr& first = frames.front();
  bool sawInk = false;
  for (int y = 0; y < first->pixelHeight() && !sawInk; ++y) {
    for (int x = 0; x < first->pixelWidth(); ++x) {
      const Color c = first->pixelColor(x, y);
      if (c.alpha > 0.9) {
        EXPECT_NEAR(c.blue, 1, 0.01);
        EXPECT_NEAR(c.green, 0.5, 0.01);
        sawInk = true;
        break;
      }
    }
  }
  EXPECT_TRUE(sawInk);
}

TEST(NamedImages, EveryImageTheScreensUseResolves) {
  std::vector<std::string> names = {
      "box_uncheck", "box_check", "No_connection", "Selector_previous_next", "Triangle",
      "timeline_calendar_picker", "prev_frame", "next_frame", "open_fs", "Player_Prev", "Player_Next", "Play",
      "Pause", "motion_event", "sound_event", "Infrared_event", "no_snap", "download_while", "download_done",
      "download-summary", "chevron_left_white", "arrow_back_white", "Event_arrow_up", "Event_arrow_down",
      "Player_iOs_shot", "zoom-in", "zoom-out", "more-timeline", "prev-frame", "next-frame", "loadingWhite1"};
  for (int i = 1; i <= 90; ++i) {
    names.push_back("loadingGrey" + std::to_string(i));
    names.push_back("loadingWhite" + std::to_string(i));
  }
  for (int i = 1; i <= 21; ++i) {
    names.push_back("play_pause" + std::to_string(i));
    names.push_back("pause_play" + std::to_string(i));
  }
  for (const auto& name : names) {
    const ImagePtr image = imageWithName(name);
    ASSERT_TRUE(image) << name;
    EXPECT_GE(image->size().width, 10) << name;
    // Every icon has something drawn in it.
    bool inked = false;
    for (int y = 0; y < image->pixelHeight() && !inked; ++y) {
      for (int x = 0; x < image->pixelWidth() && !inked; ++x) inked = image->pixelColor(x, y).alpha > 0.5;
    }
    EXPECT_TRUE(inked) << name;
  }
  EXPECT_EQ(ProgresImage::getImageFor("loadingGrey", 7), imageWithName("loadingGrey7"));
}

TEST(NamedImages, SpinnerFramesTurn) {
  // Consecutive frames differ; the sequence closes the circle.
  const ImagePtr first = imageWithName("loadingWhite1");
  const ImagePtr second = imageWithName("loadingWhite2");
  const ImagePtr last = imageWithName("loadingWhite90");
  EXPECT_FALSE(platform::compareImages(*first, *second).within(0, 0));
  EXPECT_TRUE(platform::compareImages(*first, *last).within(2, 255));
  // The morph starts as play and ends as pause.
  EXPECT_TRUE(platform::compareImages(*imageWithName("play_pause1"), *imageWithName("Play")).within(0, 0));
  EXPECT_TRUE(platform::compareImages(*imageWithName("play_pause21"), *imageWithName("Pause")).within(0, 0));
  EXPECT_TRUE(platform::compareImages(*imageWithName("pause_play1"), *imageWithName("Pause")).within(0, 0));
}

}  // namespace
}  // namespace dk

#include <gtest/gtest.h>

#include <cmath>

#include "platform/graphics/context.h"
#include "platform/graphics/image_compare.h"
#include "platform/graphics/image_renderer.h"

namespace dk::platform {
namespace {

void expectColor(const Image& image, int x, int y, const Color& expected, double tolerance = 0.01) {
  const Color c = image.pixelColor(x, y);
  EXPECT_NEAR(c.alpha, expected.alpha, tolerance) << "at " << x << "," << y;
  if (expected.alpha > 0) {
    EXPECT_NEAR(c.red, expected.red, tolerance * 2) << "at " << x << "," << y;
    EXPECT_NEAR(c.green, expected.green, tolerance * 2) << "at " << x << "," << y;
    EXPECT_NEAR(c.blue, expected.blue, tolerance * 2) << "at " << x << "," << y;
  }
}

TEST(GraphicsContext, DrawsInPointsAtTheRendererScale) {
  ImageRenderer r({10, 10}, 2.0);
  r.context().setFillColor(Color::rgba(1, 0, 0));
  r.context().fillRect(Rect(0, 0, 5, 10));
  const ImagePtr image = r.image();
  expectColor(*image, 9, 5, Color::rgba(1, 0, 0));
  expectColor(*image, 10, 5, Color::clear());
  EXPECT_EQ(r.context().ctm(), AffineTransform::identity());
}

TEST(GraphicsContext, ImageIsASnapshotThatLaterDrawingLeavesAlone) {
  ImageRenderer r({4, 4});
  const ImagePtr before = r.image();
  r.context().setFillColor(Color::black());
  r.context().fillRect(Rect(0, 0, 4, 4));
  EXPECT_EQ(before->pixelColor(1, 1), Color::clear());
  EXPECT_EQ(r.image()->pixelColor(1, 1), Color::black());
}

TEST(GraphicsContext, SaveAndRestoreBringBackColoursTransformAndClip) {
  ImageRenderer r({20, 20});
  GraphicsContext& c = r.context();
  c.setFillColor(Color::rgba(0, 0, 1));
  c.saveGState();
  c.setFillColor(Color::rgba(1, 0, 0));
  c.translate(10, 0);
  c.clipToRect(Rect(0, 0, 5, 5));
  c.setAlpha(0.5);
  EXPECT_EQ(c.gStateDepth(), 1);
  c.restoreGState();
  c.restoreGState();  // one restore too many is ignored
  EXPECT_EQ(c.gStateDepth(), 0);
  EXPECT_EQ(c.fillColor(), Color::rgba(0, 0, 1));
  EXPECT_EQ(c.alpha(), 1.0);
  EXPECT_EQ(c.ctm(), AffineTransform::identity());
  c.fillRect(Rect(0, 0, 20, 20));
  expectColor(*r.image(), 19, 19, Color::rgba(0, 0, 1));
}

TEST(GraphicsContext, TransformsApplyInTheOrderGiven) {
  ImageRenderer r({20, 20});
  GraphicsContext& c = r.context();
  c.translate(10, 10);
  c.rotate(M_PI / 2);  // x now points down
  c.setFillColor(Color::black());
  c.fillRect(Rect(2, -1, 5, 2));
  const ImagePtr image = r.image();
  expectColor(*image, 10, 15, Color::black());
  expectColor(*image, 15, 10, Color::clear());
  const AffineTransform t = c.ctm();
  EXPECT_NEAR(t.apply(Point{1, 0}).y, 11, 1e-9);
}

TEST(GraphicsContext, ClipLimitsDrawingAndReportsItsBox) {
  ImageRenderer r({10, 10});
  GraphicsContext& c = r.context();
  c.clipToPath(Path::ellipse(Rect(0, 0, 10, 10)));
  EXPECT_EQ(c.clipBoundingBox(), Rect(0, 0, 10, 10));
  c.setFillColor(Color::black());
  c.fillRect(Rect(0, 0, 10, 10));
  const ImagePtr image = r.image();
  expectColor(*image, 5, 5, Color::black());
  expectColor(*image, 0, 0, Color::clear());
}

TEST(GraphicsContext, AlphaMultipliesIntoFills) {
  ImageRenderer r({4, 4});
  r.context().setAlpha(0.5);
  r.context().setFillColor(Color::rgba(0, 1, 0, 0.5));
  r.context().fillRect(Rect(0, 0, 4, 4));
  expectColor(*r.image(), 1, 1, Color::rgba(0, 1, 0, 0.25));
}

TEST(GraphicsContext, ClipToMaskFollowsTheMaskAlpha) {
  // Left half of the mask opaque, right half at 25 %.
  const ImagePtr mask = ImageRenderer::render({2, 1}, 1.0, false, [](GraphicsContext& c) {
    c.setFillColor(Color::black());
    c.fillRect(Rect(0, 0, 1, 1));
    c.setFillColor(Color::black().withAlpha(0.25));
    c.fillRect(Rect(1, 0, 1, 1));
  });
  ImageRenderer r({20, 10});
  GraphicsContext& c = r.context();
  c.saveGState();
  c.clipToMask(Rect(0, 0, 20, 10), *mask);
  c.setFillColor(Color::rgba(1, 0, 0));
  c.fillRect(Rect(0, 0, 20, 10));
  c.restoreGState();
  const ImagePtr image = r.image();
  expectColor(*image, 2, 5, Color::rgba(1, 0, 0));
  expectColor(*image, 18, 5, Color::rgba(1, 0, 0, 0.25), 0.02);
  // After the restore the mask no longer applies.
  c.setFillColor(Color::rgba(0, 0, 1));
  c.fillRect(Rect(10, 0, 10, 10));
  expectColor(*r.image(), 18, 5, Color::rgba(0, 0, 1));
}

TEST(GraphicsContext, MaskOutsideItsRectangleClipsEverything) {
  const ImagePtr mask = Image::withColor(Color::black(), {1, 1});
  ImageRenderer r({10, 10});
  r.context().clipToMask(Rect(0, 0, 5, 5), *mask);
  r.context().setFillColor(Color::black());
  r.context().fillRect(Rect(0, 0, 10, 10));
  expectColor(*r.image(), 2, 2, Color::black());
  expectColor(*r.image(), 7, 7, Color::clear());
}

TEST(GraphicsContext, TintedImageDrawsOnlyTheShapeInTheTint) {
  const ImagePtr shape = ImageRenderer::render({10, 10}, 2.0, false, [](GraphicsContext& c) {
    c.setFillColor(Color::rgba(0.2, 0.2, 0.2));
    c.fillRect(Rect(0, 0, 5, 10));
  });
  ImageRenderer r({10, 10}, 2.0);
  r.context().drawImage(*shape, Rect(0, 0, 10, 10), Color::rgba(1, 0.5, 0));
  const ImagePtr image = r.image();
  expectColor(*image, 2, 10, Color::rgba(1, 0.5, 0));
  expectColor(*image, 15, 10, Color::clear());
}

TEST(GraphicsContext, ImageStretchesToTheRectangle) {
  const ImagePtr dot = Image::withColor(Color::rgba(0, 0, 1), {1, 1});
  ImageRenderer r({10, 10});
  r.context().drawImage(*dot, Rect(2, 2, 6, 6));
  const ImagePtr image = r.image();
  expectColor(*image, 2, 2, Color::rgba(0, 0, 1));
  expectColor(*image, 7, 7, Color::rgba(0, 0, 1));
  expectColor(*image, 1, 1, Color::clear());
  expectColor(*image, 8, 8, Color::clear());
}

TEST(GraphicsContext, ContentModeAspectFitCentresTheImage) {
  const ImagePtr wide = Image::withColor(Color::black(), {4, 2});
  ImageRenderer r({10, 10});
  r.context().drawImage(*wide, Rect(0, 0, 10, 10), ContentMode::ScaleAspectFit);
  const ImagePtr image = r.image();
  expectColor(*image, 5, 5, Color::black());
  expectColor(*image, 5, 1, Color::clear());  // fitted 10 x 5 from y = 2.5
  EXPECT_EQ(rectForContentMode(ContentMode::ScaleAspectFill, {4, 2}, Rect(0, 0, 10, 10)), Rect(-5, 0, 20, 10));
  EXPECT_EQ(rectForContentMode(ContentMode::BottomRight, {4, 2}, Rect(0, 0, 10, 10)), Rect(6, 8, 4, 2));
}

TEST(GraphicsContext, LinearGradientInterpolatesAndExtends) {
  ImageRenderer r({100, 10});
  r.context().drawLinearGradient({{0, Color::black()}, {1, Color::whiteColor()}}, {20, 0}, {80, 0});
  const ImagePtr image = r.image();
  EXPECT_NEAR(image->pixelColor(5, 5).red, 0, 0.01);     // extended before the start
  EXPECT_NEAR(image->pixelColor(50, 5).red, 0.5, 0.02);  // halfway
  EXPECT_NEAR(image->pixelColor(95, 5).red, 1, 0.01);    // extended after the end
}

TEST(GraphicsContext, OneSidedGradientExtensionLeavesTheOtherSideEmpty) {
  ImageRenderer r({100, 10});
  r.context().drawLinearGradient({{0, Color::black()}, {1, Color::whiteColor()}}, {20, 0}, {80, 0}, false, true);
  const ImagePtr image = r.image();
  EXPECT_EQ(image->pixelColor(5, 5).alpha, 0);
  EXPECT_EQ(image->pixelColor(95, 5), Color::whiteColor());
}

TEST(GraphicsContext, TransparencyLayerCompositesItsContentOnce) {
  // Two overlapping fills in a 50 % layer: the overlap is not darker than the rest.
  ImageRenderer r({20, 10});
  GraphicsContext& c = r.context();
  c.beginTransparencyLayer(0.5);
  c.setFillColor(Color::black());
  c.fillRect(Rect(0, 0, 15, 10));
  c.fillRect(Rect(5, 0, 15, 10));
  c.endTransparencyLayer();
  const ImagePtr image = r.image();
  EXPECT_NEAR(image->pixelColor(2, 5).alpha, 0.5, 0.01);
  EXPECT_NEAR(image->pixelColor(10, 5).alpha, 0.5, 0.01);
  EXPECT_EQ(c.gStateDepth(), 0);
}

TEST(GraphicsContext, ScreenBlendLightens) {
  ImageRenderer r({4, 4});
  GraphicsContext& c = r.context();
  c.setFillColor(Color::rgba(0.5, 0.5, 0.5));
  c.fillRect(Rect(0, 0, 4, 4));
  c.setBlendMode(BlendMode::Screen);
  c.fillRect(Rect(0, 0, 4, 4));
  // screen(a, b) = a + b - ab = 0.75
  EXPECT_NEAR(r.image()->pixelColor(1, 1).red, 0.75, 0.01);
}

TEST(GraphicsContext, ClearRectAndOpaqueRenderers) {
  ImageRenderer r({4, 4}, 1.0, true);
  r.context().setFillColor(Color::whiteColor());
  r.context().fillRect(Rect(0, 0, 4, 4));
  r.context().clearRect(Rect(0, 0, 2, 2));
  const ImagePtr image = r.image();
  EXPECT_TRUE(image->isOpaque());
  EXPECT_EQ(image->pixelColor(0, 0), Color::black());  // an opaque bitmap shows black where cleared
  EXPECT_EQ(image->pixelColor(3, 3), Color::whiteColor());
}

TEST(GraphicsContext, StrokeFollowsLineWidthAndDash) {
  ImageRenderer r({40, 10});
  GraphicsContext& c = r.context();
  c.setStrokeColor(Color::black());
  c.setLineWidth(4);
  c.setLineDash(0, {10, 10});
  Path line;
  line.moveTo({0, 5});
  line.lineTo({40, 5});
  c.strokePath(line);
  const ImagePtr image = r.image();
  EXPECT_EQ(image->pixelColor(5, 4).alpha, 1);    // in the first dash
  EXPECT_EQ(image->pixelColor(15, 4).alpha, 0);   // in the first gap
  EXPECT_EQ(image->pixelColor(25, 4).alpha, 1);
  EXPECT_EQ(image->pixelColor(5, 0).alpha, 0);    // beyond half the width
}

TEST(GraphicsContext, TextDrawsInsideItsRectangleInItsColour) {
  ImageRenderer r({200, 40}, 2.0);
  TextAttributes attributes;
  attributes.font = Font::named("Roboto-Regular", 20);
  attributes.color = Color::rgba(1, 0, 0);
  const Size used = r.context().drawText("Hello", Rect(10, 5, 180, 30), attributes);
  EXPECT_GT(used.width, 20);
  const ImagePtr image = r.image();
  int inked = 0, outside = 0;
  for (int y = 0; y < image->pixelHeight(); ++y) {
    for (int x = 0; x < image->pixelWidth(); ++x) {
      const Color px = image->pixelColor(x, y);
      if (px.alpha == 0) continue;
      const bool inside = x >= 20 && x < 20 + used.width * 2 + 2 && y >= 10 && y < 10 + used.height * 2 + 2;
      inside ? ++inked : ++outside;
      if (px.alpha > 0.9) {
        EXPECT_NEAR(px.red, 1, 0.02);
      }
    }
  }
  EXPECT_GT(inked, 100);
  EXPECT_EQ(outside, 0);
}

TEST(ImageCompare, ReportsHowFarPicturesAreApart) {
  const ImagePtr a = Image::withColor(Color::black(), {4, 4});
  ImageRenderer r({4, 4});
  r.context().setFillColor(Color::black());
  r.context().fillRect(Rect(0, 0, 4, 4));
  r.context().setFillColor(Color::whiteColor());
  r.context().fillRect(Rect(0, 0, 1, 1));
  const ImagePtr b = r.image();
  EXPECT_TRUE(compareImages(*a, *a).within(0, 0));
  const ImageDifference d = compareImages(*a, *b);
  EXPECT_TRUE(d.sameSize);
  EXPECT_EQ(d.maxAbsolute, 255);
  EXPECT_EQ(d.differingPixels, 1u);
  EXPECT_NEAR(d.meanAbsolute, 255.0 * 3 / (16 * 4), 1e-9);
  EXPECT_FALSE(d.within(50, 10));
  EXPECT_TRUE(d.within(50, 255));
  EXPECT_FALSE(compareImages(*a, *Image::withColor(Color::black(), {4, 5})).within(255, 255));
}

}  // namespace
}  // namespace dk::platform

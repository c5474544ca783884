// The rule stored pictures are compared by: noise on edges passes, a mark that changed fails.
#include <gtest/gtest.h>

#include "platform/graphics/image_renderer.h"
#include "platform/ui/stored_picture.h"

namespace dk {
namespace {

using platform::Color;
using platform::GraphicsContext;
using platform::ImageRenderer;
using platform::Rect;
using test::storedPictureMismatch;

// A tall strip (as the timeline's) with an event mark at (x, y) of the given size and some text-
// like strokes, at the screens' scale.
platform::ImagePtr strip(Rect mark, Color markColor = Color::rgba(0.95, 0.35, 0.2)) {
  return ImageRenderer::render({320, 1000}, 2.0, true, [&](GraphicsContext& c) {
    c.setFillColor(Color::white(0.12));
    c.fillRect(Rect(0, 0, 320, 1000));
    c.setFillColor(Color::white(0.8));
    for (int row = 0; row < 10; ++row) c.fillRect(Rect(20, 40 + row * 90, 120, 1.5));
    c.setFillColor(markColor);
    c.fillEllipse(mark);
  });
}

TEST(StoredPicture, PassesTheSamePictureAndEdgesMovedBySubPixels) {
  const auto stored = strip(Rect(200, 500, 6, 6));
  EXPECT_EQ(storedPictureMismatch(*strip(Rect(200, 500, 6, 6)), *stored), "");
  // Anti-aliasing of another machine: the dot's edge a third of a pixel over.
  EXPECT_EQ(storedPictureMismatch(*strip(Rect(200.17, 500.17, 6, 6)), *stored), "");
}

TEST(StoredPicture, RefusesADotThatTurnedIntoABar) {
  const auto stored = strip(Rect(200, 500, 6, 6));
  // Well under 1% of the pixels, yet the mark is plainly another shape.
  const auto bar = strip(Rect(200, 500, 6, 40));
  EXPECT_LT(platform::compareImages(*bar, *stored, 24).differingPixels * 100,
            static_cast<size_t>(bar->pixelWidth() * bar->pixelHeight()));
  EXPECT_NE(storedPictureMismatch(*bar, *stored), "");
}

TEST(StoredPicture, RefusesAMarkThatMovedOrChangedColourOrAPictureOfAnotherSize) {
  const auto stored = strip(Rect(200, 500, 6, 6));
  EXPECT_NE(storedPictureMismatch(*strip(Rect(200, 520, 6, 6)), *stored), "");
  EXPECT_NE(storedPictureMismatch(*strip(Rect(200, 500, 6, 6), Color::rgba(0.2, 0.6, 0.95)), *stored), "");
  const auto smaller = ImageRenderer::render({320, 999}, 2.0, true, [](GraphicsContext&) {});
  EXPECT_NE(storedPictureMismatch(*smaller, *stored), "");
}

}  // namespace
}  // namespace dk

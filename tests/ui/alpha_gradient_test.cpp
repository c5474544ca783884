#include <gtest/gtest.h>

#include "platform/graphics/image_renderer.h"
#include "ui/alpha_gradient.h"

namespace dk {
namespace {

using platform::ImagePtr;
using platform::ImageRenderer;
using platform::Rect;
using platform::Size;

ImagePtr drawGradient(AlphaGradient& g, Size size) {
  ImageRenderer r(size, 2.0);
  g.draw(r.context(), Rect(0, 0, size.width, size.height), size);
  return r.image();
}

TEST(AlphaGradient, NewGradientIsOpaqueBlackAtTheBottomFadingUpwards) {
  AlphaGradient g;
  const ImagePtr image = drawGradient(g, {20, 100});
  const auto bottom = image->pixelColor(20, 199), middle = image->pixelColor(20, 100), top = image->pixelColor(20, 0);
  EXPECT_NEAR(bottom.alpha, 1.0, 0.02);
  EXPECT_NEAR(bottom.red, 0.0, 0.02);
  EXPECT_NEAR(middle.alpha, 0.5, 0.03);
  EXPECT_NEAR(top.alpha, 0.0, 0.02);
  EXPECT_EQ(g.startPoint(), (platform::Point{0, 100}));
  EXPECT_EQ(g.endPoint(), (platform::Point{0, 0}));
}

TEST(AlphaGradient, AlphaHalvesTheOpaqueEnd) {
  AlphaGradient g;
  g.setAlpha(0.5);
  const ImagePtr image = drawGradient(g, {20, 100});
  EXPECT_NEAR(image->pixelColor(20, 199).alpha, 0.5, 0.02);
  EXPECT_NEAR(image->pixelColor(20, 100).alpha, 0.25, 0.03);
}

TEST(AlphaGradient, DirectionsPutTheColourOnTheirEdge) {
  AlphaGradient g;
  g.setColor(platform::Color::rgba(1, 0, 0));
  g.setDirection(AlphaGradient::kOpaqueTop);
  ImagePtr image = drawGradient(g, {100, 20});
  EXPECT_NEAR(image->pixelColor(100, 0).alpha, 1.0, 0.1);
  EXPECT_NEAR(image->pixelColor(100, 0).red, 1.0, 0.02);
  EXPECT_NEAR(image->pixelColor(100, 39).alpha, 0.0, 0.05);
  g.setDirection(AlphaGradient::kOpaqueRight);
  image = drawGradient(g, {100, 20});
  EXPECT_NEAR(image->pixelColor(199, 20).alpha, 1.0, 0.02);
  EXPECT_NEAR(image->pixelColor(0, 20).alpha, 0.0, 0.02);
  g.setDirection(AlphaGradient::kOpaqueLeft);
  image = drawGradient(g, {100, 20});
  EXPECT_NEAR(image->pixelColor(0, 20).alpha, 1.0, 0.02);
  EXPECT_NEAR(image->pixelColor(199, 20).alpha, 0.0, 0.02);
}

TEST(AlphaGradient, UnknownDirectionKeepsThePreviousPoints) {
  AlphaGradient g;
  g.setDirection(AlphaGradient::kOpaqueLeft);
  g.updatePoints({50, 30});
  g.setDirection(7);
  g.updatePoints({80, 80});
  EXPECT_EQ(g.startPoint(), (platform::Point{0, 0}));
  EXPECT_EQ(g.endPoint(), (platform::Point{50, 0}));
  // A gradient that never had points has both at the origin: nothing to fade along.
  AlphaGradient fresh;
  fresh.setDirection(9);
  fresh.updatePoints({10, 10});
  EXPECT_EQ(fresh.startPoint(), fresh.endPoint());
}

}  // namespace
}  // namespace dk

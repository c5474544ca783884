#include <gtest/gtest.h>

#include "platform/graphics/gradient_layer.h"
#include "platform/graphics/image_renderer.h"

namespace dk::platform {
namespace {

TEST(GradientLayerStyle, ColoursSpreadEvenlyWithoutLocations) {
  GradientLayerStyle g;
  g.colors = {Color::black(), Color::white(0.5), Color::whiteColor()};
  const auto stops = g.stops();
  ASSERT_EQ(stops.size(), 3u);
  EXPECT_EQ(stops[0].location, 0);
  EXPECT_EQ(stops[1].location, 0.5);
  EXPECT_EQ(stops[2].location, 1);
}

TEST(GradientLayerStyle, LocationsAreClampedAndKeptInOrder) {
  GradientLayerStyle g;
  g.colors = {Color::black(), Color::whiteColor(), Color::black()};
  g.locations = {-0.5, 0.8, 0.3};
  const auto stops = g.stops();
  EXPECT_EQ(stops[0].location, 0);
  EXPECT_EQ(stops[1].location, 0.8);
  EXPECT_EQ(stops[2].location, 0.8);
  // A location list of the wrong length is ignored.
  g.locations = {0.1};
  EXPECT_EQ(g.stops()[1].location, 0.5);
}

TEST(GradientLayerStyle, DrawsTopToBottomByDefaultWithinItsBounds) {
  GradientLayerStyle g;
  g.colors = {Color::black().withAlpha(0), Color::black()};
  ImageRenderer r({10, 120});
  g.draw(r.context(), Rect(0, 10, 10, 100));
  const ImagePtr image = r.image();
  EXPECT_EQ(image->pixelColor(5, 5).alpha, 0);                // outside the bounds
  EXPECT_NEAR(image->pixelColor(5, 11).alpha, 0.0, 0.03);
  EXPECT_NEAR(image->pixelColor(5, 60).alpha, 0.5, 0.03);
  EXPECT_NEAR(image->pixelColor(5, 108).alpha, 1.0, 0.03);
  EXPECT_EQ(image->pixelColor(5, 115).alpha, 0);
}

TEST(GradientLayerStyle, OneColourFillsAndNoColourDrawsNothing) {
  GradientLayerStyle g;
  ImageRenderer r({4, 4});
  g.draw(r.context(), Rect(0, 0, 4, 4));
  EXPECT_EQ(r.image()->pixelColor(2, 2), Color::clear());
  g.colors = {Color::rgba(0, 0, 1)};
  g.draw(r.context(), Rect(0, 0, 4, 4));
  EXPECT_EQ(r.image()->pixelColor(2, 2), Color::rgba(0, 0, 1));
}

}  // namespace
}  // namespace dk::platform

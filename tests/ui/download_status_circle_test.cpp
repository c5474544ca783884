#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ui/download_status_circle.h"

namespace dk {
namespace {

TEST(DownloadStatusCircle, CompleteIsAClosedCircle) {
  const auto circle = getDownloadStatusCircleWithRadius(platform::Color::rgba(0, 0, 1), 12, 1.0f, 1.5f);
  EXPECT_EQ(circle.lineWidth, 1.5);
  EXPECT_EQ(circle.fillColor, platform::Color::clear());
  EXPECT_EQ(circle.strokeColor, platform::Color::rgba(0, 0, 1));
  ASSERT_TRUE(circle.position);
  EXPECT_EQ(*circle.position, (platform::Point{0.5, 0.5}));
  EXPECT_FALSE(circle.bounds);
  EXPECT_EQ(circle.path.elements().back().type, platform::Path::ElementType::Close);
  const auto box = circle.path.boundingBox();
  EXPECT_NEAR(box.width(), 24, 1e-9);
  EXPECT_TRUE(circle.path.contains({12, 12}));
  EXPECT_FALSE(circle.path.contains({1, 1}));
}

TEST(DownloadStatusCircle, HalfwayIsThreeQuartersPiFromTheTopClockwise) {
  const float r = 10;
  const auto arc = getDownloadStatusCircleWithRadius(platform::Color::black(), r, 0.5f, 1.5f);
  ASSERT_TRUE(arc.bounds);
  EXPECT_EQ(*arc.bounds, platform::Rect(0, 0, 20, 20));
  EXPECT_FALSE(arc.position);
  const platform::Point centre{20.5, 20.5};
  const platform::Point start = arc.path.elements().front().points[0];
  EXPECT_NEAR(start.x, centre.x, 1e-5);
  EXPECT_NEAR(start.y, centre.y - r, 1e-5);  // the top
  const double endAngle = 1.5 * std::numbers::pi + 0.75 * std::numbers::pi;
  EXPECT_NEAR(arc.path.currentPoint().x, centre.x + r * std::cos(endAngle), 1e-4);
  EXPECT_NEAR(arc.path.currentPoint().y, centre.y + r * std::sin(endAngle), 1e-4);
  // Clockwise from the top passes through the right of the centre, not the left.
  EXPECT_GT(arc.path.boundingBox().maxX(), centre.x + r - 0.01);
  EXPECT_GT(arc.path.boundingBox().minX(), centre.x - 0.01);
  EXPECT_NE(arc.path.elements().back().type, platform::Path::ElementType::Close);
}

TEST(DownloadStatusCircle, NoProgressIsAnEmptyArc) {
  const auto arc = getDownloadStatusCircleWithRadius(platform::Color::black(), 10, 0.0f, 1.5f);
  EXPECT_EQ(arc.path.elements().size(), 1u);  // only the starting point
}

}  // namespace
}  // namespace dk

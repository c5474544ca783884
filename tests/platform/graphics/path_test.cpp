#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/graphics/path.h"

namespace dk::platform {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(Path, RoundedRectWithHalfSideRadiusIsACircle) {
  // The download ring's full state: a 2r square rounded by r.
  const Path circle = Path::roundedRect(Rect(0, 0, 20, 20), 10);
  EXPECT_TRUE(circle.contains({10, 10}));
  EXPECT_TRUE(circle.contains({10, 0.5}));
  EXPECT_FALSE(circle.contains({1, 1}));    // a square corner would hold this
  EXPECT_FALSE(circle.contains({19, 19}));
  const Rect box = circle.boundingBox();
  EXPECT_NEAR(box.minX(), 0, 1e-9);
  EXPECT_NEAR(box.maxX(), 20, 1e-9);
}

TEST(Path, CornerRadiusIsClampedToHalfTheShorterSide) {
  // A timeline bar narrower than its radius still ends in round caps, not in loops.
  EXPECT_EQ(Path::roundedRect(Rect(0, 0, 10, 40), 50), Path::roundedRect(Rect(0, 0, 10, 40), 5));
  const Path capsule = Path::roundedRect(Rect(0, 0, 10, 40), 50);
  EXPECT_TRUE(capsule.contains({5, 20}));
  EXPECT_FALSE(capsule.contains({0.3, 0.3}));
  EXPECT_TRUE(capsule.contains({0.5, 20}));
}

TEST(Path, PerCornerRadiiRoundOnlyTheirCorners) {
  const Path p = Path::roundedRect(Rect(0, 0, 40, 40), CornerRadii{10, 0, 0, 0});
  EXPECT_FALSE(p.contains({0.5, 0.5}));   // top-left rounded
  EXPECT_TRUE(p.contains({39.5, 0.5}));   // top-right square
  EXPECT_TRUE(p.contains({0.5, 39.5}));
}

TEST(Path, ClockwiseArcRunsThroughIncreasingAngles) {
  // From the top (3pi/2), a quarter turn clockwise on a y-down screen ends at the right.
  const Path arc = Path::arc({0, 0}, 10, 3 * kPi / 2, 2 * kPi, true);
  EXPECT_NEAR(arc.elements().front().points[0].x, 0, 1e-9);
  EXPECT_NEAR(arc.elements().front().points[0].y, -10, 1e-9);
  EXPECT_NEAR(arc.currentPoint().x, 10, 1e-9);
  EXPECT_NEAR(arc.currentPoint().y, 0, 1e-9);
  // Its bounding box stays in the upper-right quadrant.
  EXPECT_GE(arc.boundingBox().minX(), -1e-9);
  EXPECT_LE(arc.boundingBox().maxY(), 1e-9);
}

TEST(Path, CounterClockwiseArcGoesTheLongWayRoundForTheSameAngles) {
  const Path arc = Path::arc({0, 0}, 10, 3 * kPi / 2, 2 * kPi, false);
  EXPECT_NEAR(arc.currentPoint().x, 10, 1e-9);
  // Three quarters of a circle pass through the left and the bottom.
  EXPECT_NEAR(arc.boundingBox().minX(), -10, 0.5);
  EXPECT_NEAR(arc.boundingBox().maxY(), 10, 0.5);
}

TEST(Path, ArcPointsLieOnTheCircle) {
  const Path arc = Path::arc({5, 5}, 10, 0.3, 2.9, true);
  for (const auto& e : arc.elements()) {
    const Point end = e.type == Path::ElementType::CurveTo ? e.points[2] : e.points[0];
    EXPECT_NEAR(std::hypot(end.x - 5, end.y - 5), 10, 1e-9);
  }
  // Between its ends each curve stays within a hair of the circle.
  const Path half = Path::arc({0, 0}, 100, 0, kPi, true);
  Point from = half.elements().front().points[0];
  for (const auto& e : half.elements()) {
    if (e.type != Path::ElementType::CurveTo) continue;
    const Point mid{(from.x + 3 * e.points[0].x + 3 * e.points[1].x + e.points[2].x) / 8,
                    (from.y + 3 * e.points[0].y + 3 * e.points[1].y + e.points[2].y) / 8};
    EXPECT_NEAR(std::hypot(mid.x, mid.y), 100, 0.05);
    from = e.points[2];
  }
}

TEST(Path, FullTurnOrMoreIsOneCircle) {
  const Path full = Path::arc({0, 0}, 10, 0, 2 * kPi, true);
  const Path more = Path::arc({0, 0}, 10, 0, 7 * kPi, true);
  EXPECT_EQ(full, more);
  EXPECT_NEAR(full.currentPoint().x, 10, 1e-9);
  EXPECT_NEAR(full.currentPoint().y, 0, 1e-9);
}

TEST(Path, ArcAfterACurrentPointJoinsWithALine) {
  Path p;
  p.moveTo({-20, 0});
  p.addArc({0, 0}, 10, kPi, 2 * kPi, true);
  ASSERT_GE(p.elements().size(), 3u);
  EXPECT_EQ(p.elements()[1].type, Path::ElementType::LineTo);
  EXPECT_NEAR(p.elements()[1].points[0].x, -10, 1e-9);
}

TEST(Path, FillRulesDifferForNestedSubpaths) {
  Path ring;
  ring.addRect(Rect(0, 0, 30, 30));
  ring.addRect(Rect(10, 10, 10, 10));
  EXPECT_TRUE(ring.contains({15, 15}, FillRule::NonZero));
  EXPECT_FALSE(ring.contains({15, 15}, FillRule::EvenOdd));
  EXPECT_TRUE(ring.contains({5, 5}, FillRule::EvenOdd));
}

TEST(Path, TransformMovesEveryPoint) {
  const Path p = Path::rect(Rect(0, 0, 10, 10)).transformed(AffineTransform::translation(5, 7).scaledBy(2, 2));
  EXPECT_EQ(p.boundingBox(), Rect(5, 7, 20, 20));
}

TEST(Path, LineWithoutCurrentPointStartsASubpath) {
  Path p;
  p.lineTo({3, 4});
  EXPECT_EQ(p.elements().front().type, Path::ElementType::MoveTo);
  EXPECT_TRUE(p.hasCurrentPoint());
  EXPECT_TRUE(Path().boundingBox().isEmpty());
}

}  // namespace
}  // namespace dk::platform

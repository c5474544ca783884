// Geometry, hierarchy, hit testing, layout and constraints of the view tree.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/ui/control.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/view.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

void expectRectNear(const Rect& a, const Rect& b, double eps = 1e-6) {
  EXPECT_NEAR(a.minX(), b.minX(), eps);
  EXPECT_NEAR(a.minY(), b.minY(), eps);
  EXPECT_NEAR(a.width(), b.width(), eps);
  EXPECT_NEAR(a.height(), b.height(), eps);
}

TEST(ViewGeometry, FrameBoundsAndCentreStayInStep) {
  auto v = std::make_shared<View>(Rect(10, 20, 100, 50));
  EXPECT_EQ(v->bounds(), Rect(0, 0, 100, 50));
  EXPECT_EQ(v->center(), (Point{60, 45}));
  v->setCenter({100, 100});
  EXPECT_EQ(v->frame(), Rect(50, 75, 100, 50));
  v->setBounds(Rect(0, 0, 40, 40));
  EXPECT_EQ(v->frame(), Rect(80, 80, 40, 40));  // resized about the centre
}

TEST(ViewGeometry, ARotatedViewsFrameIsItsBoundingBox) {
  auto v = std::make_shared<View>(Rect(0, 0, 100, 20));
  v->setTransform(AffineTransform::rotation(M_PI / 2));
  expectRectNear(v->frame(), Rect(40, -40, 20, 100));
  EXPECT_EQ(v->bounds().size, (Size{100, 20}));  // bounds are untouched by the transform
  v->setTransform(AffineTransform::rotation(M_PI / 4));
  const double side = (100 + 20) / std::sqrt(2.0);
  expectRectNear(v->frame(), Rect(50 - side / 2, 10 - side / 2, side, side));
}

TEST(ViewGeometry, SettingTheFrameOfATurnedViewSizesItsBoundsToFit) {
  // A picker turned a quarter and given a wide, short frame becomes a short, tall picker inside.
  auto v = std::make_shared<View>(Rect(0, 0, 100, 100));
  v->setTransform(AffineTransform::rotation(M_PI / 2));
  v->setFrame(Rect(0, 300, 375, 60));
  expectRectNear(v->frame(), Rect(0, 300, 375, 60));
  EXPECT_NEAR(v->bounds().width(), 60, 1e-9);
  EXPECT_NEAR(v->bounds().height(), 375, 1e-9);
}

TEST(ViewGeometry, PointsConvertThroughOffsetsScrollAndTransforms) {
  auto root = std::make_shared<View>(Rect(0, 0, 400, 400));
  auto a = std::make_shared<View>(Rect(50, 50, 200, 200));
  auto b = std::make_shared<View>(Rect(10, 20, 50, 50));
  root->addSubview(a);
  a->addSubview(b);
  EXPECT_EQ(b->convertPointTo({0, 0}, root.get()), (Point{60, 70}));
  EXPECT_EQ(root->convertPointTo({60, 70}, b.get()), (Point{0, 0}));
  a->setBounds(Rect(0, 30, 200, 200));  // scrolled 30 points down
  EXPECT_EQ(b->convertPointTo({0, 0}, root.get()), (Point{60, 40}));
  a->setTransform(AffineTransform::rotation(M_PI));  // upside down about its centre (150, 150)
  const Point p = b->convertPointTo({0, 0}, root.get());
  EXPECT_NEAR(p.x, 240, 1e-9);
  EXPECT_NEAR(p.y, 260, 1e-9);
  const Point back = b->convertPointFrom(p, root.get());
  EXPECT_NEAR(back.x, 0, 1e-9);
  EXPECT_NEAR(back.y, 0, 1e-9);
  expectRectNear(b->convertRectTo(b->bounds(), root.get()), Rect(190, 210, 50, 50));
}

TEST(ViewHierarchy, SubviewsAreOrderedAndMovedBetweenParents) {
  auto p1 = std::make_shared<View>();
  auto p2 = std::make_shared<View>();
  auto a = std::make_shared<View>(), b = std::make_shared<View>(), c = std::make_shared<View>();
  p1->addSubview(a);
  p1->addSubview(b);
  p1->insertSubview(c, 0);
  EXPECT_EQ(p1->subviews(), (std::vector<std::shared_ptr<View>>{c, a, b}));
  p1->bringSubviewToFront(c.get());
  EXPECT_EQ(p1->subviews().back(), c);
  p2->addSubview(a);
  EXPECT_EQ(a->superview(), p2);
  EXPECT_EQ(p1->subviews().size(), 2u);
  b->removeFromSuperview();
  EXPECT_EQ(b->superview(), nullptr);
  p1->addSubview(p1);  // a view cannot contain itself
  a->addSubview(p2);   // nor its own ancestor
  EXPECT_EQ(p2->superview(), nullptr);
}

TEST(ViewHierarchy, ASubviewOutlivingItsParentForgetsIt) {
  auto child = std::make_shared<View>();
  {
    auto parent = std::make_shared<View>();
    parent->addSubview(child);
    EXPECT_EQ(child->superview(), parent);
  }
  EXPECT_EQ(child->superview(), nullptr);
}

TEST(ViewHierarchy, ViewWithTagSearchesDepthFirstIncludingItself) {
  auto root = std::make_shared<View>();
  auto a = std::make_shared<View>(), b = std::make_shared<View>(), deep = std::make_shared<View>();
  root->addSubview(a);
  root->addSubview(b);
  a->addSubview(deep);
  deep->setTag(7);
  b->setTag(7);
  EXPECT_EQ(root->viewWithTag(7), deep);
  root->setTag(7);
  EXPECT_EQ(root->viewWithTag(7), root);
  EXPECT_EQ(root->viewWithTag(99), nullptr);
}

TEST(ViewHitTest, SkipsHiddenTransparentAndNonInteractiveViews) {
  auto root = std::make_shared<View>(Rect(0, 0, 300, 300));
  auto below = std::make_shared<View>(Rect(0, 0, 300, 300));
  auto top = std::make_shared<View>(Rect(50, 50, 100, 100));
  root->addSubview(below);
  root->addSubview(top);
  EXPECT_EQ(root->hitTest({60, 60}, nullptr), top);
  top->setHidden(true);
  EXPECT_EQ(root->hitTest({60, 60}, nullptr), below);
  top->setHidden(false);
  top->setAlpha(0.005);
  EXPECT_EQ(root->hitTest({60, 60}, nullptr), below);
  top->setAlpha(0.02);
  EXPECT_EQ(root->hitTest({60, 60}, nullptr), top);
  top->setUserInteractionEnabled(false);
  EXPECT_EQ(root->hitTest({60, 60}, nullptr), below);
  below->setUserInteractionEnabled(false);
  EXPECT_EQ(root->hitTest({60, 60}, nullptr), root);
  EXPECT_EQ(root->hitTest({400, 60}, nullptr), nullptr);
}

TEST(ViewHitTest, ASubviewOutsideItsParentsBoundsIsNotHit) {
  auto root = std::make_shared<View>(Rect(0, 0, 300, 300));
  auto parent = std::make_shared<View>(Rect(0, 0, 100, 100));
  auto sticking = std::make_shared<View>(Rect(80, 80, 100, 100));
  root->addSubview(parent);
  parent->addSubview(sticking);
  EXPECT_EQ(root->hitTest({90, 90}, nullptr), sticking);
  EXPECT_EQ(root->hitTest({150, 150}, nullptr), root);
}

TEST(ViewHitTest, ARotatedViewIsHitInsideItsTurnedShapeOnly) {
  auto root = std::make_shared<View>(Rect(0, 0, 300, 300));
  auto bar = std::make_shared<View>(Rect(100, 140, 100, 20));
  root->addSubview(bar);
  bar->setTransform(AffineTransform::rotation(M_PI / 2));  // now a vertical bar around (150, 150)
  EXPECT_EQ(root->hitTest({150, 110}, nullptr), bar);
  EXPECT_EQ(root->hitTest({110, 150}, nullptr), root);
}

class AutoresizeAndLayout : public UiTest {};

TEST_F(AutoresizeAndLayout, FlexibleViewsFollowTheirParentsSize) {
  auto parent = std::make_shared<View>(Rect(0, 0, 200, 100));
  auto stretchy = std::make_shared<View>(Rect(10, 10, 180, 80));
  stretchy->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  auto pinnedRight = std::make_shared<View>(Rect(170, 10, 20, 20));
  pinnedRight->setAutoresizingMask(kAutoresizingFlexibleLeftMargin);
  parent->addSubview(stretchy);
  parent->addSubview(pinnedRight);
  parent->setFrame(Rect(0, 0, 300, 150));
  EXPECT_EQ(stretchy->frame(), Rect(10, 10, 280, 130));
  EXPECT_EQ(pinnedRight->frame(), Rect(270, 10, 20, 20));
}

struct CountingView : View {
  using View::View;
  int layouts = 0;
  void layoutSubviews() override {
    ++layouts;
    View::layoutSubviews();
  }
};

TEST_F(AutoresizeAndLayout, LayoutRequestsInAWindowAreCoalescedIntoOnePass) {
  showWindow();
  auto v = std::make_shared<CountingView>(Rect(0, 0, 100, 100));
  window_->addSubview(v);
  MainRunLoop::runUntilIdle();
  const int before = v->layouts;
  v->setNeedsLayout();
  v->setNeedsLayout();
  v->setFrame(Rect(0, 0, 120, 100));
  EXPECT_EQ(v->layouts, before);  // nothing until the run loop turns
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(v->layouts, before + 1);
  v->setNeedsLayout();
  v->layoutIfNeeded();
  EXPECT_EQ(v->layouts, before + 2);
  v->layoutIfNeeded();
  EXPECT_EQ(v->layouts, before + 2);
}

TEST_F(AutoresizeAndLayout, ConstraintsPinEdgesCentreAndSize) {
  auto parent = std::make_shared<View>(Rect(0, 0, 300, 200));
  auto pinned = std::make_shared<View>();
  auto centred = std::make_shared<View>();
  pinned->setTranslatesAutoresizingMaskIntoConstraints(false);
  centred->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(pinned);
  parent->addSubview(centred);
  LayoutConstraint::activate({
      anchor(pinned, LayoutAttribute::Top).equalTo(anchor(parent, LayoutAttribute::Top), 10),
      anchor(pinned, LayoutAttribute::Bottom).equalTo(anchor(parent, LayoutAttribute::Bottom), -10),
      anchor(pinned, LayoutAttribute::Left).equalTo(anchor(parent, LayoutAttribute::Left)),
      anchor(pinned, LayoutAttribute::Right).equalTo(anchor(parent, LayoutAttribute::Right)),
      anchor(centred, LayoutAttribute::CenterX).equalTo(anchor(parent, LayoutAttribute::CenterX)),
      anchor(centred, LayoutAttribute::CenterY).equalTo(anchor(parent, LayoutAttribute::CenterY)),
      anchor(centred, LayoutAttribute::Width).equalToConstant(44),
      anchor(centred, LayoutAttribute::Height).equalToConstant(44),
  });
  parent->layoutIfNeeded();
  EXPECT_EQ(pinned->frame(), Rect(0, 10, 300, 180));
  EXPECT_EQ(centred->frame(), Rect(128, 78, 44, 44));
  parent->setFrame(Rect(0, 0, 400, 400));
  parent->layoutIfNeeded();
  EXPECT_EQ(pinned->frame(), Rect(0, 10, 400, 380));
  EXPECT_EQ(centred->frame(), Rect(178, 178, 44, 44));
}

TEST_F(AutoresizeAndLayout, ChangingAConstantMovesTheViewAtTheNextLayout) {
  auto parent = std::make_shared<View>(Rect(0, 0, 300, 200));
  auto card = std::make_shared<View>(Rect(0, 0, 50, 20));
  card->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(card);
  auto bottom = anchor(parent, LayoutAttribute::Bottom).equalTo(anchor(card, LayoutAttribute::Bottom), 30);
  bottom->setActive(true);
  EXPECT_EQ(bottom->owner(), parent.get());  // the common ancestor holds it
  parent->layoutIfNeeded();
  EXPECT_EQ(card->frame().maxY(), 170);
  bottom->setConstant(50);
  EXPECT_TRUE(parent->needsLayout());
  parent->layoutIfNeeded();
  EXPECT_EQ(card->frame().maxY(), 150);
  bottom->setActive(false);
  bottom->setConstant(0);
  parent->layoutIfNeeded();
  EXPECT_EQ(card->frame().maxY(), 150);  // an inactive constraint places nothing
}

TEST_F(AutoresizeAndLayout, InequalitiesClampWhatTheEqualitiesLeave) {
  auto parent = std::make_shared<View>(Rect(0, 0, 300, 200));
  auto box = std::make_shared<View>(Rect(0, 0, 20, 20));
  box->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(box);
  LayoutConstraint::activate({
      anchor(box, LayoutAttribute::CenterX).equalTo(anchor(parent, LayoutAttribute::CenterX)),
      anchor(box, LayoutAttribute::Top).equalTo(anchor(parent, LayoutAttribute::Top)),
      anchor(box, LayoutAttribute::Width).greaterThanOrEqualToConstant(100),
  });
  parent->layoutIfNeeded();
  EXPECT_EQ(box->frame(), Rect(100, 0, 100, 20));  // grown about its pinned centre
}

TEST_F(AutoresizeAndLayout, EdgeBoundsOfACentredViewKeepItCentred) {
  auto parent = std::make_shared<View>(Rect(0, 0, 300, 200));
  auto label = std::make_shared<View>(Rect(0, 0, 40, 20));
  label->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(label);
  auto wide = std::make_shared<View>(Rect(0, 0, 400, 20));
  wide->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(wide);
  for (const auto& v : {label, wide}) {
    LayoutConstraint::activate({
        anchor(v, LayoutAttribute::CenterX).equalTo(anchor(parent, LayoutAttribute::CenterX)),
        anchor(v, LayoutAttribute::Top).equalTo(anchor(parent, LayoutAttribute::Top)),
        anchor(v, LayoutAttribute::Leading).greaterThanOrEqualTo(anchor(parent, LayoutAttribute::Leading), 24),
        anchor(v, LayoutAttribute::Trailing).greaterThanOrEqualTo(anchor(parent, LayoutAttribute::Trailing), -24),
    });
  }
  parent->layoutIfNeeded();
  // Centred with its trailing edge at least 24 from the right: it spans both margins.
  EXPECT_EQ(label->frame(), Rect(24, 0, 252, 20)) << "grown about its centre";
  EXPECT_EQ(wide->frame(), Rect(24, 0, 252, 20)) << "shrunk about its centre";
}

TEST_F(AutoresizeAndLayout, TheResponderChainLeadsFromAViewToItsScreen) {
  auto screen = std::make_shared<ViewController>();
  showWindow(screen);
  auto inner = std::make_shared<View>();
  screen->view()->addSubview(inner);
  EXPECT_EQ(inner->owningViewController(), screen);
  EXPECT_EQ(screen->view()->nextResponder(), screen);
  EXPECT_EQ(screen->nextResponder(), window_);
  EXPECT_EQ(inner->window(), window_);
}

}  // namespace
}  // namespace dk::platform::testing

// Scroll view callback order for drags, flings, animated offsets and zooming, as a user drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/ui/image_view.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

// Records each callback with the flags the scroll view shows at that moment.
class RecordingScrollDelegate : public ScrollViewDelegate {
 public:
  CallLog log;
  Point lastVelocity;
  Point lastTarget;
  std::optional<Point> retarget;  // replaces the target offset when set
  std::shared_ptr<View> zoomView;
  double endZoomScale = 0;
  int didScrollCount = 0;

  static std::string flags(ScrollView& s) {
    return std::string(s.isDragging() ? "D" : "-") + (s.isDecelerating() ? "V" : "-");
  }
  void scrollViewDidScroll(ScrollView&) override {
    ++didScrollCount;
    log.add("didScroll");
  }
  void scrollViewWillBeginDragging(ScrollView& s) override { log.add("willBeginDragging " + flags(s)); }
  void scrollViewWillEndDragging(ScrollView& s, Point velocity, Point* target) override {
    lastVelocity = velocity;
    if (retarget) *target = *retarget;
    lastTarget = *target;
    log.add("willEndDragging " + flags(s));
  }
  void scrollViewDidEndDragging(ScrollView& s, bool decelerate) override {
    log.add(std::string("didEndDragging ") + (decelerate ? "decelerate " : "stop ") + flags(s));
  }
  void scrollViewWillBeginDecelerating(ScrollView& s) override { log.add("willBeginDecelerating " + flags(s)); }
  void scrollViewDidEndDecelerating(ScrollView& s) override { log.add("didEndDecelerating " + flags(s)); }
  void scrollViewDidEndScrollingAnimation(ScrollView&) override { log.add("didEndScrollingAnimation"); }
  std::shared_ptr<View> viewForZooming(ScrollView&) override { return zoomView; }
  void scrollViewWillBeginZooming(ScrollView&, View*) override { log.add("willBeginZooming"); }
  void scrollViewDidZoom(ScrollView&) override { log.add("didZoom"); }
  void scrollViewDidEndZooming(ScrollView&, View*, double scale) override {
    endZoomScale = scale;
    log.add("didEndZooming");
  }
};

class ScrollViewTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    showWindow();
    scroll_ = std::make_shared<ScrollView>(Rect(0, 0, 300, 400));
    scroll_->setContentSize({300, 4000});
    delegate_ = std::make_shared<RecordingScrollDelegate>();
    scroll_->setDelegate(delegate_);
    window_->rootViewController()->view()->addSubview(scroll_);
    MainRunLoop::runUntilIdle();
  }
  std::vector<std::string> calls() const { return delegate_->log.folded("didScroll"); }

  std::shared_ptr<ScrollView> scroll_;
  std::shared_ptr<RecordingScrollDelegate> delegate_;
};

TEST_F(ScrollViewTest, SettingTheOffsetReportsOneScrollAtOnce) {
  scroll_->setContentOffset({0, 120});
  EXPECT_EQ(scroll_->contentOffset(), (Point{0, 120}));
  EXPECT_EQ(delegate_->log.calls, (std::vector<std::string>{"didScroll"}));
  scroll_->setContentOffset({0, 120});  // no change, no report
  EXPECT_EQ(delegate_->log.calls.size(), 1u);
}

TEST_F(ScrollViewTest, ADragFollowsTheFingerAndEndsWithoutDecelerating) {
  driver().drag({150, 300}, {150, 100}, 0.5);
  EXPECT_EQ(scroll_->contentOffset(), (Point{0, 200}));
  EXPECT_EQ(calls(), (std::vector<std::string>{"willBeginDragging D-", "didScroll", "willEndDragging D-",
                                                "didEndDragging stop D-"}));
  EXPECT_EQ(delegate_->lastVelocity, (Point{0, 0}));
  EXPECT_FALSE(scroll_->isDragging());
  EXPECT_FALSE(scroll_->isTracking());
  EXPECT_GT(delegate_->didScrollCount, 10);
}

TEST_F(ScrollViewTest, AFlingDeceleratesToWhereTheVelocityCarriesIt) {
  scroll_->setContentOffset({0, 200});
  delegate_->log.take();
  driver().fling({150, 350}, {150, 150}, 5 * UiTestDriver::kFrame);
  // 200 points in 5 frames: 2.4 points per millisecond of content offset.
  EXPECT_NEAR(delegate_->lastVelocity.y, 2.4, 1e-4);
  EXPECT_TRUE(scroll_->isDecelerating());
  const double target = delegate_->lastTarget.y;
  EXPECT_NEAR(target, 400 + delegate_->lastVelocity.y / -std::log(ScrollView::kDecelerationRateNormal), 1e-6);
  ASSERT_TRUE(driver().settle());
  EXPECT_NEAR(scroll_->contentOffset().y, target, 1e-9);
  EXPECT_EQ(calls(), (std::vector<std::string>{"willBeginDragging D-", "didScroll", "willEndDragging D-",
                                                "didEndDragging decelerate D-", "willBeginDecelerating -V",
                                                "didScroll", "didEndDecelerating --"}));
}

TEST_F(ScrollViewTest, AFlingStopsAtTheEndOfTheContent) {
  scroll_->setContentOffset({0, 3500});
  driver().fling({150, 390}, {150, 10}, 4 * UiTestDriver::kFrame);
  ASSERT_TRUE(driver().settle());
  EXPECT_EQ(scroll_->contentOffset().y, 3600);  // 4000 of content in 400 of view
  EXPECT_EQ(delegate_->lastTarget.y, 3600);
}

TEST_F(ScrollViewTest, TheDelegateMayMoveTheTargetOfAFling) {
  delegate_->retarget = Point{0, 1000};
  driver().fling({150, 350}, {150, 150}, 5 * UiTestDriver::kFrame);
  ASSERT_TRUE(driver().settle());
  EXPECT_EQ(scroll_->contentOffset().y, 1000);
}

TEST_F(ScrollViewTest, AnAnimatedOffsetMovesOverFramesAndReportsItsEnd) {
  scroll_->setContentOffset({0, 600}, true);
  EXPECT_EQ(scroll_->contentOffset().y, 0);  // read back at once: not there yet
  EXPECT_TRUE(scroll_->isAnimatingScroll());
  driver().advance(ScrollView::kScrollAnimationDuration / 2);
  const double halfway = scroll_->contentOffset().y;
  EXPECT_GT(halfway, 0);
  EXPECT_LT(halfway, 600);
  ASSERT_TRUE(driver().settle());
  EXPECT_EQ(scroll_->contentOffset().y, 600);
  EXPECT_EQ(calls(), (std::vector<std::string>{"didScroll", "didEndScrollingAnimation"}));
  EXPECT_FALSE(scroll_->isDragging());
  EXPECT_FALSE(scroll_->isDecelerating());
}

TEST_F(ScrollViewTest, AFingerCatchingAFlingStopsIt) {
  driver().fling({150, 350}, {150, 150}, 5 * UiTestDriver::kFrame);
  driver().advanceFrames(5);
  ASSERT_TRUE(scroll_->isDecelerating());
  delegate_->log.take();
  auto touches = driver().touchDown({{150, 200}});
  const double stoppedAt = scroll_->contentOffset().y;
  driver().advanceFrames(10);
  EXPECT_EQ(scroll_->contentOffset().y, stoppedAt);  // held still under the finger
  driver().moveAlong(touches, {{150, 200}}, {{150, 150}}, 0.2);
  driver().advance(0.1);
  driver().touchUp(touches);
  // The drag that catches a fling begins while the view still counts as decelerating.
  EXPECT_EQ(calls(), (std::vector<std::string>{"willBeginDragging DV", "didScroll", "willEndDragging D-",
                                                "didEndDragging stop D-"}));
  EXPECT_FALSE(scroll_->isDecelerating());
  EXPECT_EQ(scroll_->contentOffset().y, stoppedAt + 50);
}

TEST_F(ScrollViewTest, ATapOnAFlingStopsItAndEndsTheDeceleration) {
  driver().fling({150, 350}, {150, 150}, 5 * UiTestDriver::kFrame);
  driver().advanceFrames(5);
  delegate_->log.take();
  driver().tap({150, 200});
  EXPECT_EQ(calls(), (std::vector<std::string>{"didEndDecelerating --"}));
  EXPECT_TRUE(driver().settle());
}

TEST_F(ScrollViewTest, DraggingPastTheTopBouncesBack) {
  driver().drag({150, 100}, {150, 300}, 0.4);
  EXPECT_LT(scroll_->contentOffset().y, 0);
  EXPECT_GT(scroll_->contentOffset().y, -200);  // follows at half speed beyond the edge
  ASSERT_TRUE(driver().settle());
  EXPECT_EQ(scroll_->contentOffset().y, 0);
  EXPECT_EQ(calls(), (std::vector<std::string>{"willBeginDragging D-", "didScroll", "willEndDragging D-",
                                                "didEndDragging decelerate D-", "willBeginDecelerating -V",
                                                "didScroll", "didEndDecelerating --"}));
}

TEST_F(ScrollViewTest, WithoutBouncingTheOffsetStaysInside) {
  scroll_->setBounces(false);
  driver().drag({150, 100}, {150, 300}, 0.4);
  EXPECT_EQ(scroll_->contentOffset().y, 0);
  EXPECT_TRUE(driver().settle());
  EXPECT_EQ(std::count(delegate_->log.calls.begin(), delegate_->log.calls.end(), "willBeginDecelerating -V"), 0);
}

TEST_F(ScrollViewTest, ContentThatFitsDoesNotScroll) {
  scroll_->setContentSize({300, 300});
  driver().drag({150, 300}, {150, 100}, 0.3);
  EXPECT_EQ(scroll_->contentOffset().y, 0);
  EXPECT_TRUE(delegate_->log.calls.empty());
  scroll_->setAlwaysBounceVertical(true);
  driver().drag({150, 300}, {150, 100}, 0.3);
  EXPECT_FALSE(delegate_->log.calls.empty());
}

TEST_F(ScrollViewTest, SettingTheOffsetDuringAFlingEndsIt) {
  driver().fling({150, 350}, {150, 150}, 5 * UiTestDriver::kFrame);
  driver().advanceFrames(3);
  delegate_->log.take();
  scroll_->setContentOffset({0, 50});
  EXPECT_EQ(calls(), (std::vector<std::string>{"didScroll", "didEndDecelerating --"}));
  EXPECT_TRUE(driver().settle());
  EXPECT_EQ(scroll_->contentOffset().y, 50);
}

class ZoomTest : public ScrollViewTest {
 protected:
  void SetUp() override {
    ScrollViewTest::SetUp();
    image_ = std::make_shared<ImageView>(Rect(0, 0, 300, 400));
    scroll_->addSubview(image_);
    scroll_->setContentSize({300, 400});
    scroll_->setMinimumZoomScale(1);
    scroll_->setMaximumZoomScale(4);
    delegate_->zoomView = image_;
  }
  std::shared_ptr<ImageView> image_;
};

TEST_F(ZoomTest, APinchZoomsAboutTheFingers) {
  driver().pinch({100, 100}, 100, 200, 0.3);
  EXPECT_NEAR(scroll_->zoomScale(), 2.0, 1e-9);
  EXPECT_NEAR(scroll_->contentSize().width, 600, 1e-9);
  EXPECT_NEAR(scroll_->contentSize().height, 800, 1e-9);
  // The content point under the fingers stays under them.
  EXPECT_NEAR(scroll_->contentOffset().x, 100, 1e-9);
  EXPECT_NEAR(scroll_->contentOffset().y, 100, 1e-9);
  EXPECT_EQ(image_->frame().origin, (Point{0, 0}));
  auto c = calls();
  EXPECT_EQ(c.front(), "willBeginZooming");
  EXPECT_EQ(c.back(), "didEndZooming");
  EXPECT_NEAR(delegate_->endZoomScale, 2.0, 1e-9);
}

TEST_F(ZoomTest, WithoutZoomBouncingAPinchStopsAtTheMaximum) {
  scroll_->setBouncesZoom(false);
  driver().pinch({150, 200}, 40, 300, 0.3);
  EXPECT_EQ(scroll_->zoomScale(), 4);
  EXPECT_EQ(delegate_->endZoomScale, 4);
}

TEST_F(ZoomTest, APinchBeyondTheMinimumBouncesBackAndThenReportsTheEnd) {
  driver().pinch({150, 200}, 200, 100, 0.3);
  EXPECT_LT(scroll_->zoomScale(), 1);
  EXPECT_TRUE(scroll_->isZoomBouncing());
  EXPECT_EQ(std::count(delegate_->log.calls.begin(), delegate_->log.calls.end(), "didEndZooming"), 0);
  ASSERT_TRUE(driver().settle());
  EXPECT_EQ(scroll_->zoomScale(), 1);
  EXPECT_EQ(delegate_->endZoomScale, 1);
}

TEST_F(ZoomTest, ZoomingToARectFillsTheBoundsWithIt) {
  scroll_->zoomToRect(Rect(100, 75, 150, 200), true);
  ASSERT_TRUE(driver().settle());
  EXPECT_NEAR(scroll_->zoomScale(), 2, 1e-9);
  EXPECT_NEAR(scroll_->contentOffset().x, 175 * 2 - 150, 1e-9);
  EXPECT_NEAR(scroll_->contentOffset().y, 175 * 2 - 200, 1e-9);
  EXPECT_EQ(calls().back(), "didEndZooming");
  scroll_->setZoomScale(1, false);
  EXPECT_EQ(scroll_->zoomScale(), 1);
  EXPECT_EQ(scroll_->contentOffset(), (Point{0, 0}));
}

TEST_F(ZoomTest, DisabledRecognisersLeaveTheContentAlone) {
  scroll_->pinchGestureRecognizer()->setEnabled(false);
  scroll_->panGestureRecognizer()->setEnabled(false);
  driver().pinch({150, 200}, 100, 200, 0.3);
  EXPECT_EQ(scroll_->zoomScale(), 1);
  EXPECT_TRUE(delegate_->log.calls.empty());
}

}  // namespace
}  // namespace dk::platform::testing

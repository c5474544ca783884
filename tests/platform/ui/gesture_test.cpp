// Gesture recognisers and controls as the test driver's fingers drive them.
#include <gtest/gtest.h>

#include "platform/ui/button.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

class GestureTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    showWindow();
    area_ = std::make_shared<View>(Rect(0, 0, 375, 600));
    window_->rootViewController()->view()->addSubview(area_);
    MainRunLoop::runUntilIdle();
  }
  template <typename R>
  std::shared_ptr<R> attach(CallLog& log, const std::string& name) {
    auto r = std::make_shared<R>([&log, name](GestureRecognizer& g) {
      static const char* states[] = {"possible", "began", "changed", "ended", "cancelled", "failed"};
      log.add(name + " " + states[static_cast<int>(g.state())]);
    });
    area_->addGestureRecognizer(r);
    return r;
  }
  std::shared_ptr<View> area_;
};

TEST_F(GestureTest, ATapIsRecognisedWhereTheFingerWas) {
  CallLog log;
  auto tap = attach<TapGestureRecognizer>(log, "tap");
  Point where;
  tap->addTarget(nullptr, [&](GestureRecognizer& g) { where = g.locationInView(area_.get()); });
  driver().tap({100, 200});
  EXPECT_EQ(log.calls, (std::vector<std::string>{"tap ended"}));
  EXPECT_EQ(where, (Point{100, 200}));
  EXPECT_EQ(tap->state(), GestureState::Possible);  // ready for the next one
  driver().drag({100, 200}, {180, 200}, 0.3);      // a moving finger is no tap
  EXPECT_EQ(log.calls.size(), 1u);
}

TEST_F(GestureTest, ASingleTapWaitsForTheDoubleTapToFail) {
  CallLog log;
  auto doubleTap = attach<TapGestureRecognizer>(log, "double");
  doubleTap->numberOfTapsRequired = 2;
  auto singleTap = attach<TapGestureRecognizer>(log, "single");
  singleTap->requireGestureRecognizerToFail(doubleTap);

  driver().tap({100, 100});
  EXPECT_TRUE(log.calls.empty());  // the double tap may still come
  driver().advance(TapGestureRecognizer::kMultiTapInterval + 0.02);
  EXPECT_EQ(log.take(), (std::vector<std::string>{"single ended"}));

  driver().tap({100, 100}, 2);
  driver().advance(1.0);
  EXPECT_EQ(log.take(), (std::vector<std::string>{"double ended"}));
}

TEST_F(GestureTest, APanReportsTranslationAndVelocityFromTheFingerDown) {
  CallLog log;
  auto pan = attach<PanGestureRecognizer>(log, "pan");
  Point translation, velocity;
  pan->addTarget(nullptr, [&](GestureRecognizer& g) {
    auto& p = static_cast<PanGestureRecognizer&>(g);
    translation = p.translationInView(area_.get());
    velocity = p.velocityInView(area_.get());
  });
  driver().fling({50, 300}, {50 + 120, 300}, 6 * UiTestDriver::kFrame);
  auto calls = log.folded("pan changed");
  EXPECT_EQ(calls, (std::vector<std::string>{"pan began", "pan changed", "pan ended"}));
  EXPECT_NEAR(translation.x, 120, 1e-9);
  EXPECT_NEAR(velocity.x, 1200, 1);  // 120 points in 0.1 s
  EXPECT_NEAR(velocity.y, 0, 1e-9);
  driver().drag({50, 300}, {170, 300}, 0.2);
  EXPECT_EQ(velocity, (Point{0, 0}));  // a finger that rested throws nothing
}

TEST_F(GestureTest, TranslationIsInTheViewsOwnAxes) {
  CallLog log;
  auto pan = attach<PanGestureRecognizer>(log, "pan");
  area_->setTransform(AffineTransform::rotation(M_PI / 2));
  Point translation;
  pan->addTarget(nullptr, [&](GestureRecognizer& g) {
    translation = static_cast<PanGestureRecognizer&>(g).translationInView(area_.get());
  });
  driver().drag({187, 300}, {187 + 100, 300}, 0.2);
  EXPECT_NEAR(translation.x, 0, 1e-9);
  EXPECT_NEAR(translation.y, -100, 1e-9);  // right on screen is up in a view turned clockwise
}

TEST_F(GestureTest, ASwipeNeedsItsDirectionSpeedAndDistance) {
  CallLog log;
  auto swipe = attach<SwipeGestureRecognizer>(log, "swipe");
  swipe->direction = kSwipeDown;
  driver().swipe({100, 100}, kSwipeDown);
  EXPECT_EQ(log.take(), (std::vector<std::string>{"swipe ended"}));
  driver().swipe({100, 300}, kSwipeUp);
  EXPECT_TRUE(log.calls.empty()) << "up";
  driver().swipe({100, 100}, kSwipeRight);
  EXPECT_TRUE(log.calls.empty()) << "right";
  driver().swipe({100, 100}, kSwipeDown, 30);  // too short
  EXPECT_TRUE(log.calls.empty()) << "short";
  driver().drag({100, 100}, {100, 300}, 4.0);  // too slow
  EXPECT_TRUE(log.calls.empty()) << "slow";
}

TEST_F(GestureTest, APinchScalesWithTheSpanOfTwoFingers) {
  CallLog log;
  auto pinch = attach<PinchGestureRecognizer>(log, "pinch");
  double scale = 0;
  pinch->addTarget(nullptr, [&](GestureRecognizer& g) { scale = static_cast<PinchGestureRecognizer&>(g).scale(); });
  driver().pinch({180, 300}, 100, 250, 0.3);
  EXPECT_EQ(log.folded("pinch changed"), (std::vector<std::string>{"pinch began", "pinch changed", "pinch ended"}));
  EXPECT_NEAR(scale, 2.5, 1e-9);
}

TEST_F(GestureTest, ALongPressBeginsAfterItsDurationAndEndsOnLift) {
  CallLog log;
  auto press = attach<LongPressGestureRecognizer>(log, "press");
  auto touches = driver().touchDown({{100, 100}});
  driver().advance(0.45);
  EXPECT_TRUE(log.calls.empty());
  driver().advance(0.1);
  EXPECT_EQ(log.take(), (std::vector<std::string>{"press began"}));
  driver().touchUp(touches);
  EXPECT_EQ(log.take(), (std::vector<std::string>{"press ended"}));
  touches = driver().touchDown({{100, 100}});
  driver().touchMove(touches, {{100, 140}});  // wandered off before the time
  driver().advance(1.0);
  driver().touchUp(touches);
  EXPECT_TRUE(log.calls.empty());
}

TEST_F(GestureTest, TheFirstToRecogniseWinsUnlessBothMay) {
  CallLog log;
  auto pan = attach<PanGestureRecognizer>(log, "pan");
  auto swipe = attach<SwipeGestureRecognizer>(log, "swipe");
  swipe->direction = kSwipeRight;
  driver().swipe({50, 100}, kSwipeRight);
  EXPECT_EQ(log.take().front(), "pan began");  // ten points decide the pan first
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "swipe ended"), 0);

  struct Both : GestureRecognizerDelegate {
    std::optional<bool> shouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) override { return true; }
  };
  auto both = std::make_shared<Both>();
  swipe->setDelegate(both);
  driver().swipe({50, 100}, kSwipeRight);
  auto calls = log.take();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "swipe ended"), 1);
  EXPECT_EQ(calls.front(), "pan began");
}

TEST_F(GestureTest, DisabledRecognisersHearNothing) {
  CallLog log;
  auto tap = attach<TapGestureRecognizer>(log, "tap");
  tap->setEnabled(false);
  driver().tap({10, 10});
  EXPECT_TRUE(log.calls.empty());
}

class ControlTest : public GestureTest {
 protected:
  void SetUp() override {
    GestureTest::SetUp();
    button_ = std::make_shared<Button>(Rect(100, 100, 100, 44));
    area_->addSubview(button_);
    button_->addTarget(nullptr, [this](Control&) { events_.add("down"); }, kControlEventTouchDown);
    button_->addTarget(nullptr, [this](Control&) { events_.add("up inside"); }, kControlEventTouchUpInside);
    button_->addTarget(nullptr, [this](Control&) { events_.add("up outside"); }, kControlEventTouchUpOutside);
    button_->addTarget(nullptr, [this](Control&) { events_.add("cancel"); }, kControlEventTouchCancel);
    MainRunLoop::runUntilIdle();
  }
  std::shared_ptr<Button> button_;
  CallLog events_;
};

TEST_F(ControlTest, ATapSendsDownThenUpInside) {
  bool highlightedWhileDown = false;
  auto touches = driver().touchDown({UiTestDriver::centerOf(*button_)});
  highlightedWhileDown = button_->isHighlighted();
  driver().touchUp(touches);
  EXPECT_TRUE(highlightedWhileDown);
  EXPECT_FALSE(button_->isHighlighted());
  EXPECT_EQ(events_.take(), (std::vector<std::string>{"down", "up inside"}));
}

TEST_F(ControlTest, LiftingFarAwayIsUpOutsideButNearByStillCounts) {
  auto touches = driver().touchDown({{150, 122}});
  driver().touchMove(touches, {{150 + 50 + 60, 122}});  // 60 points beyond the edge: still inside
  EXPECT_TRUE(button_->isHighlighted());
  driver().touchMove(touches, {{150 + 50 + 90, 122}});
  EXPECT_FALSE(button_->isHighlighted());
  driver().touchUp(touches);
  EXPECT_EQ(events_.take(), (std::vector<std::string>{"down", "up outside"}));
}

TEST_F(ControlTest, ADisabledControlSendsNothing) {
  button_->setEnabled(false);
  driver().tap(*button_);
  EXPECT_TRUE(events_.calls.empty());
}

TEST_F(ControlTest, AButtonKeepsItsTapFromAnAncestorsTapRecogniser) {
  CallLog log;
  attach<TapGestureRecognizer>(log, "tap");
  driver().tap(*button_);
  EXPECT_EQ(events_.take(), (std::vector<std::string>{"down", "up inside"}));
  EXPECT_TRUE(log.calls.empty());
  driver().tap({20, 20});
  EXPECT_EQ(log.calls, (std::vector<std::string>{"tap ended"}));
}

TEST_F(ControlTest, ARecogniserThatTakesTheTouchCancelsItInTheButton) {
  CallLog log;
  attach<PanGestureRecognizer>(log, "pan");
  driver().drag(UiTestDriver::centerOf(*button_), {150, 400}, 0.3);
  EXPECT_EQ(events_.take(), (std::vector<std::string>{"down", "cancel"}));
  EXPECT_FALSE(button_->isHighlighted());
}

TEST_F(ControlTest, ActionsFollowTheirEventMasksAndCanBeRemoved) {
  int all = 0;
  int owner = 0;
  button_->addTarget(&owner, [&](Control&) { ++all; }, kControlEventAllEvents);
  driver().tap(*button_);
  EXPECT_EQ(all, 2);  // down, then up inside
  button_->removeTarget(&owner, kControlEventTouchDown);
  driver().advance(1);  // not a repeated touch down
  driver().tap(*button_);
  EXPECT_EQ(all, 3);
  button_->removeTarget(&owner);
  driver().advance(1);
  driver().tap(*button_);
  EXPECT_EQ(all, 3);
  EXPECT_EQ(button_->numberOfActions(kControlEventTouchUpInside), 1u);
}

TEST_F(ControlTest, ATargetThatIsGoneIsSkipped) {
  struct Screen {
    int taps = 0;
    void pressed(Control&) { ++taps; }
  };
  auto screen = std::make_shared<Screen>();
  button_->addTarget(screen, &Screen::pressed, kControlEventTouchUpInside);
  driver().tap(*button_);
  EXPECT_EQ(screen->taps, 1);
  std::weak_ptr<Screen> weak = screen;
  screen.reset();
  EXPECT_TRUE(weak.expired());  // the button did not keep it
  driver().tap(*button_);
}

}  // namespace
}  // namespace dk::platform::testing

// Small view extensions: hide values, the button hit test, the forwarding view, zoom rectangles,
// restyling and transactions without animation.
#include <gtest/gtest.h>

#include "platform/ui/button.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/layer.h"
#include "platform/ui/ui_fixture.h"
#include "ui/kl_forwarding_touches_view.h"
#include "ui/view_extensions.h"

namespace dk {
namespace {

using platform::Button;
using platform::Rect;
using platform::View;

TEST(HideValues, UnsetValuesReadAsZeroAndMaxAlphaAsOne) {
  View view;
  EXPECT_EQ(minAlpha(view), 0);
  EXPECT_EQ(maxAlpha(view), 1.0);
  EXPECT_FALSE(shouldNotUpdate(view));
  setMaxAlpha(view, 0);
  EXPECT_EQ(maxAlpha(view), 1.0);  // zero means "never set"
  setMaxAlpha(view, 0.6);
  EXPECT_EQ(maxAlpha(view), 0.6f);  // kept in single precision
  EXPECT_EQ(maxTransparency(view), 0.6f);
  setMinAlpha(view, 0.4);
  setShouldNotUpdate(view, true);
  EXPECT_EQ(minAlpha(view), 0.4f);
  EXPECT_TRUE(showHide(view));
  View other;
  EXPECT_EQ(minAlpha(other), 0);  // per view
}

class ButtonHitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_shared<View>(Rect(0, 0, 300, 300));
    container_ = std::make_shared<View>(Rect(0, 0, 150, 150));
    container_->addSubview(std::make_shared<View>(Rect(0, 0, 10, 10)));
    inner_ = std::make_shared<Button>(Rect(100, 100, 40, 40));
    container_->addSubview(inner_);
    sibling_ = std::make_shared<Button>(Rect(20, 20, 100, 100));
    root_->addSubview(container_);
    root_->addSubview(sibling_);
  }
  std::shared_ptr<View> root_, container_;
  std::shared_ptr<Button> inner_, sibling_;
};

TEST_F(ButtonHitTest, FindsButtonsInsideTheFirstContainerHoldingThePoint) {
  EXPECT_EQ(hitTest(root_, {110, 110}, root_.get()), inner_);
  EXPECT_EQ(hitTest(root_, {200, 200}, root_.get()), nullptr);
}

TEST_F(ButtonHitTest, TheFirstContainerAnswersEvenWithoutAButtonThere) {
  // (50, 50) is in the container (no button there) and in the later sibling button.
  EXPECT_EQ(hitTest(root_, {50, 50}, root_.get()), nullptr);
}

TEST_F(ButtonHitTest, AHiddenButtonIsNeverReturned) {
  inner_->setHidden(true);
  EXPECT_EQ(hitTest(root_, {110, 110}, root_.get()), nullptr);
  auto lone = std::make_shared<Button>(Rect(0, 0, 50, 50));
  EXPECT_EQ(hitTest(lone, {10, 10}, nullptr), lone);  // itself, when it holds the point
  lone->setHidden(true);
  EXPECT_EQ(hitTest(lone, {10, 10}, nullptr), nullptr);
}

TEST_F(ButtonHitTest, ThePointIsConvertedFromTheGivenView) {
  auto offset = std::make_shared<View>(Rect(100, 100, 10, 10));
  root_->addSubview(offset);
  EXPECT_EQ(hitTest(root_, {10, 10}, offset.get()), inner_);  // (110, 110) in the root
}

TEST(ZoomRect, IsTheFrameOverTheScaleAroundTheCentre) {
  View view(Rect(0, 0, 400, 300));
  EXPECT_EQ(zoomRectForScale(view, 2, {200, 150}, &view), Rect(100, 75, 200, 150));
  auto parent = std::make_shared<View>(Rect(0, 0, 500, 500));
  auto child = std::make_shared<View>(Rect(50, 50, 400, 300));
  parent->addSubview(child);
  EXPECT_EQ(zoomRectForScale(*child, 4, {250, 200}, parent.get()), Rect(150, 112.5, 100, 75));
}

TEST(CustomBackground, RestylesEverySubviewButNotTheReceiver) {
  auto root = std::make_shared<View>();
  auto a = std::make_shared<View>(), b = std::make_shared<View>(), deep = std::make_shared<View>();
  root->addSubview(a);
  root->addSubview(b);
  a->addSubview(deep);
  updateSubviewsWithBackgroundColor(*root, Color::whiteColor(), 20);
  for (auto& v : {a, b, deep}) {
    EXPECT_EQ(v->backgroundColor(), Color::whiteColor());
    EXPECT_EQ(v->layer().cornerRadius(), 20);
  }
  EXPECT_EQ(root->backgroundColor(), std::nullopt);
  EXPECT_EQ(root->layer().cornerRadius(), 0);
  auto alone = std::make_shared<View>();
  updateSubviewsWithBackgroundColor(*alone, Color::black(), 5);
  EXPECT_EQ(alone->backgroundColor(), std::nullopt);
}

TEST(NoAnimation, TheBlockRunsInATransactionOfNoDuration) {
  double duration = -1;
  commitWithoutAnimation([&] { duration = platform::Transaction::animationDuration(); });
  EXPECT_EQ(duration, 0);
  commitWithoutAnimation(nullptr);
  EXPECT_EQ(platform::Transaction::animationDuration(), 0.25);  // nothing left open
}

class ForwardingView : public platform::testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    showWindow();
    auto root = window_->rootViewController()->view();
    below_ = std::make_shared<View>(Rect(0, 0, 375, 400));
    root->addSubview(below_);
    overlay_ = std::make_shared<KLForwardingTouchesView>(Rect(0, 0, 375, 400));
    button_ = std::make_shared<Button>(Rect(10, 10, 60, 40));
    overlay_->addSubview(button_);
    root->addSubview(overlay_);
    button_->addTarget(nullptr, [this](platform::Control&) { ++buttonTaps_; }, platform::kControlEventTouchUpInside);
    below_->addGestureRecognizer(
        std::make_shared<platform::TapGestureRecognizer>([this](platform::GestureRecognizer&) { ++videoTaps_; }));
    platform::MainRunLoop::runUntilIdle();
  }
  std::shared_ptr<View> below_;
  std::shared_ptr<KLForwardingTouchesView> overlay_;
  std::shared_ptr<Button> button_;
  int buttonTaps_ = 0, videoTaps_ = 0;
};

TEST_F(ForwardingView, TouchesOffTheButtonsFallThroughToTheViewsBelow) {
  driver().tap({200, 200});
  EXPECT_EQ(videoTaps_, 1);
  EXPECT_EQ(buttonTaps_, 0);
  driver().tap({40, 30});
  EXPECT_EQ(buttonTaps_, 1);
  EXPECT_EQ(videoTaps_, 1);
}

TEST_F(ForwardingView, AProgrammaticHitFiresTheButtonItFinds) {
  EXPECT_EQ(overlay_->hitTest({40, 30}, nullptr), button_);
  EXPECT_EQ(buttonTaps_, 1);
  EXPECT_EQ(overlay_->hitTest({200, 200}, nullptr), nullptr);
  button_->setEnabled(false);
  EXPECT_EQ(overlay_->hitTest({40, 30}, nullptr), button_);  // found, but a disabled button is not fired
  button_->setEnabled(true);
  button_->setAlpha(0);
  overlay_->hitTest({40, 30}, nullptr);
  button_->setAlpha(1);
  button_->setUserInteractionEnabled(false);
  overlay_->hitTest({40, 30}, nullptr);
  EXPECT_EQ(buttonTaps_, 1);
  platform::Event event;
  button_->setUserInteractionEnabled(true);
  overlay_->hitTest({40, 30}, &event);  // a real touch is the button's own business
  EXPECT_EQ(buttonTaps_, 1);
}

}  // namespace
}  // namespace dk

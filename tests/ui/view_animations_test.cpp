// Stock view animations: centre moves, keyboard dismissal, the pill-to-spinner button and back,
// the expanding circle, and the alpha gradient view they share the screens with.
#include <gtest/gtest.h>

#include <thread>

#include "foundation/color_codes.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/image_view.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/render.h"
#include "platform/ui/ui_fixture.h"
#include "ui/alpha_gradient_view.h"
#include "ui/view_animations.h"

namespace dk {
namespace {

using platform::Button;
using platform::Rect;
using platform::View;

class ViewAnimations : public platform::testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    showWindow();
    screen_ = window_->rootViewController()->view();
    button_ = std::make_shared<Button>(Rect(40, 300, 200, 44));
    button_->setTitle("Continue", platform::kControlStateNormal);
    screen_->addSubview(button_);
  }
  std::shared_ptr<View> screen_;
  std::shared_ptr<Button> button_;
};

TEST_F(ViewAnimations, ACentreMoveRunsTheExtraBlockAndReportsTheEnd) {
  auto card = std::make_shared<View>(Rect(0, 0, 100, 100));
  screen_->addSubview(card);
  bool extra = false;
  std::vector<bool> ends;
  animateWithDuration(card, 0.4f, {200, 300}, [&] { extra = true; }, [&](bool f) { ends.push_back(f); });
  EXPECT_EQ(card->center(), (platform::Point{200, 300}));
  EXPECT_TRUE(extra);
  driver().advance(0.3);
  EXPECT_TRUE(ends.empty());
  driver().advance(0.2);
  EXPECT_EQ(ends, (std::vector<bool>{true}));
  animateWithDuration(card, 0.4f, 0.4f, {10, 10}, nullptr, nullptr);  // empty blocks are fine
  driver().advance(0.5);
  EXPECT_EQ(card->center(), (platform::Point{10, 10}));
}

TEST_F(ViewAnimations, ACentreMoveFromAnotherThreadHopsToTheMainThread) {
  auto card = std::make_shared<View>(Rect(0, 0, 100, 100));
  screen_->addSubview(card);
  bool ranOnMain = false;
  std::thread worker([&] {
    animateWithDuration(card, 0.1f, {50, 50}, [&] { ranOnMain = platform::isMainThread(); }, nullptr);
  });
  worker.join();
  EXPECT_EQ(card->center(), (platform::Point{50, 50})) << "not yet: it waits for the main queue";
  driver().pump();
  EXPECT_TRUE(ranOnMain);
}

TEST_F(ViewAnimations, DismissingTheKeyboardWaitsATenthOfASecondOnTheRunLoop) {
  int completions = 0;
  dismissKeyboardWithCompletion(screen_, [&] { ++completions; });
  driver().pump();
  EXPECT_EQ(completions, 0);  // the main thread was not put to sleep: the wait is on the clock
  driver().advance(0.11);
  EXPECT_EQ(completions, 1);
  dismissKeyboardWithAnimationDuration(screen_, 0.25, nullptr);
  driver().advance(0.5);
}

TEST_F(ViewAnimations, AButtonBecomesASpinningCircleAndComesBack) {
  bool spinning = false;
  animateButton(screen_, button_, [&] { spinning = true; });
  auto pill = animationPillForButton(*button_);
  auto spinner = std::dynamic_pointer_cast<platform::ImageView>(animationSpinnerForButton(*button_));
  ASSERT_TRUE(pill && spinner);
  EXPECT_EQ(pill->tag(), button_->tag() + 1);
  EXPECT_EQ(spinner->tag(), button_->tag() + 2);
  EXPECT_EQ(pill->superview(), screen_);
  EXPECT_EQ(screen_->subviews().back(), button_);  // the button stays in front
  EXPECT_EQ(button_->alpha(), 0);
  EXPECT_FALSE(screen_->isUserInteractionEnabled());
  const double side = button_->intrinsicContentSize().height;
  EXPECT_EQ(pill->frame().size, (platform::Size{side, 44}));
  EXPECT_DOUBLE_EQ(pill->center().x, button_->center().x);
  EXPECT_EQ(pill->backgroundColor(), lightColor());
  EXPECT_FALSE(spinning);
  driver().advance(0.31);
  EXPECT_TRUE(spinning);
  EXPECT_TRUE(spinner->isAnimating());
  EXPECT_EQ(spinner->animationImages().size(), 90u);

  bool reset = false;
  resetContinueAnimationOnButton(screen_, button_, true, [&] { reset = true; });
  EXPECT_EQ(spinner->alpha(), 0);
  EXPECT_EQ(pill->frame(), button_->frame());
  driver().advance(0.31);
  EXPECT_TRUE(reset);
  EXPECT_EQ(pill->superview(), nullptr);
  EXPECT_EQ(spinner->superview(), nullptr);
  EXPECT_EQ(button_->alpha(), 1);
  EXPECT_TRUE(screen_->isUserInteractionEnabled());
}

TEST_F(ViewAnimations, AResetWithoutAnimationLeavesTheCircleBehindTheButton) {
  animateButton(screen_, button_, nullptr);
  driver().advance(0.31);
  auto pill = animationPillForButton(*button_);
  resetContinueAnimationOnButton(screen_, button_, false);
  EXPECT_EQ(button_->alpha(), 1);
  EXPECT_EQ(pill->superview(), screen_);
  EXPECT_LT(pill->frame().width(), button_->frame().width());  // still the light circle
}

TEST_F(ViewAnimations, ResettingAButtonThatNeverSpunRemovesNothingElse) {
  // Views that happen to carry the tags a never-set tag would point at.
  auto one = std::make_shared<View>(Rect(0, 0, 10, 10));
  auto two = std::make_shared<View>(Rect(0, 0, 10, 10));
  one->setTag(button_->tag() + 1);
  two->setTag(button_->tag() + 2);
  screen_->addSubview(one);
  screen_->addSubview(two);
  bool done = false;
  resetContinueAnimationOnButton(screen_, button_, true, [&] { done = true; });
  driver().advance(0.5);
  EXPECT_TRUE(done);
  EXPECT_EQ(one->superview(), screen_);
  EXPECT_EQ(two->superview(), screen_);
  EXPECT_EQ(two->alpha(), 1);
}

TEST_F(ViewAnimations, TheExpandingCircleCoversTheScreenAndHidesTheBar) {
  auto nav = platform::NavigationController::withRoot(std::make_shared<platform::ViewController>());
  bool done = false;
  animateExpandingViewWithButton(screen_, button_, nav, [&] { done = true; });
  auto pill = animationPillForButton(*button_);
  ASSERT_TRUE(pill);
  EXPECT_TRUE(nav->isNavigationBarHidden());
  EXPECT_GE(pill->frame().width(), screen_->frame().width() * 7 - 1);
  EXPECT_TRUE(std::dynamic_pointer_cast<platform::ImageView>(animationSpinnerForButton(*button_))->isAnimating());
  driver().advance(1.01);
  EXPECT_TRUE(done);
  EXPECT_EQ(button_->alpha(), 1);
  EXPECT_EQ(pill->superview(), nullptr);
  EXPECT_FALSE(screen_->isUserInteractionEnabled());  // left without touches, as it was asked
}

TEST(AlphaGradientView, StartsAsABlackFadeUpwardsThatTouchesPassThrough) {
  auto view = std::make_shared<AlphaGradientView>(Rect(0, 0, 20, 100));
  EXPECT_FALSE(view->isUserInteractionEnabled());
  EXPECT_EQ(view->backgroundColor(), Color::clear());
  EXPECT_EQ(view->color(), Color::black());
  EXPECT_EQ(view->gradientAlpha(), 1.0);
  auto picture = platform::renderViewToImage(*view, 1);
  EXPECT_NEAR(picture->pixelColor(10, 99).alpha, 1.0, 0.03);
  EXPECT_NEAR(picture->pixelColor(10, 0).alpha, 0.0, 0.03);
  EXPECT_EQ(view->startPoint(), (platform::Point{0, 100}));
}

TEST(AlphaGradientView, AlphaChangesTheGradientNotTheView) {
  auto view = std::make_shared<AlphaGradientView>(Rect(0, 0, 20, 100));
  view->setAlpha(0.5);
  EXPECT_EQ(view->alpha(), 1.0);
  EXPECT_EQ(view->gradientAlpha(), 0.5);
  EXPECT_NEAR(platform::renderViewToImage(*view, 1)->pixelColor(10, 99).alpha, 0.5, 0.03);
}

TEST(AlphaGradientView, AnUnknownDirectionKeepsThePreviousPoints) {
  auto view = std::make_shared<AlphaGradientView>(Rect(0, 0, 40, 100));
  view->setDirection(3);
  platform::renderViewToImage(*view, 1);
  EXPECT_EQ(view->endPoint(), (platform::Point{40, 0}));
  view->setDirection(7);
  view->setColor(Color::rgba(1, 0, 0));
  auto picture = platform::renderViewToImage(*view, 1);
  EXPECT_EQ(view->startPoint(), (platform::Point{0, 0}));
  EXPECT_EQ(view->endPoint(), (platform::Point{40, 0}));
  EXPECT_NEAR(picture->pixelColor(0, 50).alpha, 1.0, 0.05);
  EXPECT_NEAR(picture->pixelColor(0, 50).red, 1.0, 0.05);
}

}  // namespace
}  // namespace dk

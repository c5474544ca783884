// View animations, frame animations of image views, and buttons' per-state content.
#include <gtest/gtest.h>

#include "platform/graphics/image.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/layer.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

class AnimationTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    showWindow();
    view_ = std::make_shared<View>(Rect(0, 0, 100, 100));
    window_->rootViewController()->view()->addSubview(view_);
  }
  std::shared_ptr<View> view_;
};

TEST_F(AnimationTest, ValuesChangeAtOnceAndTheCompletionComesAfterDelayAndDuration) {
  std::vector<bool> completions;
  View::animate(0.5, 0.3, 0, [&] {
    view_->setAlpha(0.25);
    view_->setCenter({200, 200});
  }, [&](bool finished) { completions.push_back(finished); });
  EXPECT_EQ(view_->alpha(), 0.25);
  EXPECT_EQ(view_->center(), (Point{200, 200}));
  driver().advance(0.79);
  EXPECT_TRUE(completions.empty());
  driver().advance(0.02);
  EXPECT_EQ(completions, (std::vector<bool>{true}));
  driver().advance(2);
  EXPECT_EQ(completions.size(), 1u);
}

TEST_F(AnimationTest, RemovingTheAnimationsEndsThemUnfinished) {
  std::vector<bool> completions;
  View::animate(1.0, [&] { view_->setAlpha(0); }, [&](bool finished) { completions.push_back(finished); });
  EXPECT_FALSE(view_->layer().animationKeys().empty());
  view_->layer().removeAllAnimations();
  EXPECT_TRUE(completions.empty());  // reported on the next turn, not inside the call
  driver().pump();
  EXPECT_EQ(completions, (std::vector<bool>{false}));
  driver().advance(2);
  EXPECT_EQ(completions.size(), 1u);
}

TEST_F(AnimationTest, ABlockThatAnimatesNothingCompletesOnTheNextTurn) {
  int completions = 0;
  View::animate(3.0, [&] { view_->setTag(5); }, [&](bool) { ++completions; });
  EXPECT_EQ(completions, 0);
  driver().pump();
  EXPECT_EQ(completions, 1);
  View::animate(3.0, nullptr, nullptr);  // no blocks at all is fine
  driver().pump();
}

TEST_F(AnimationTest, AnAnimatedViewTakesNoTouchesUnlessAllowed) {
  int taps = 0;
  auto tap = std::make_shared<TapGestureRecognizer>([&](GestureRecognizer&) { ++taps; });
  view_->addGestureRecognizer(tap);
  View::animate(1.0, [&] { view_->setAlpha(0.9); });
  driver().tap({50, 50});
  EXPECT_EQ(taps, 0);
  driver().advance(1.1);
  driver().tap({50, 50});
  EXPECT_EQ(taps, 1);
  View::animate(1.0, 0, kAnimationAllowUserInteraction, [&] { view_->setAlpha(1); });
  driver().tap({50, 50});
  EXPECT_EQ(taps, 2);
}

TEST_F(AnimationTest, ARepeatingAnimationNeverCompletesByItself) {
  bool completed = false;
  View::animate(0.2, 0, kAnimationRepeat, [&] { view_->setAlpha(0.5); }, [&](bool) { completed = true; });
  driver().advance(5);
  EXPECT_FALSE(completed);
  view_->layer().removeAllAnimations();
  driver().pump();
  EXPECT_TRUE(completed);
}

TEST_F(AnimationTest, ATransitionSwapsOneViewForAnother) {
  auto replacement = std::make_shared<View>(Rect(0, 0, 100, 100));
  auto parent = view_->superview();
  bool completed = false;
  View::transition(view_, replacement, 0.4, kAnimationTransitionCrossDissolve, [&](bool) { completed = true; });
  EXPECT_EQ(view_->superview(), nullptr);
  EXPECT_EQ(replacement->superview(), parent);
  driver().advance(0.5);
  EXPECT_TRUE(completed);
}

TEST_F(AnimationTest, WithoutAnimationNothingIsScheduled) {
  View::performWithoutAnimation([&] {
    View::animate(1.0, [&] { view_->setAlpha(0.3); });
  });
  EXPECT_EQ(view_->alpha(), 0.3);
  EXPECT_TRUE(view_->layer().animationKeys().empty());
}

TEST_F(AnimationTest, LayerTransactionsCompleteAfterTheirAnimations) {
  bool done = false;
  Transaction::begin();
  Transaction::setAnimationDuration(0);
  Transaction::setCompletionBlock([&] { done = true; });
  auto animation = std::make_shared<LayerAnimation>();
  animation->duration = 0.5;
  view_->layer().addAnimation(animation, "pulse");
  Transaction::commit();
  driver().advance(0.4);
  EXPECT_FALSE(done);
  driver().advance(0.2);
  EXPECT_TRUE(done);
  EXPECT_EQ(view_->layer().animationForKey("pulse"), nullptr);
}

std::vector<ImagePtr> frames(int n) {
  std::vector<ImagePtr> images;
  for (int i = 0; i < n; ++i) images.push_back(Image::withColor(Color::white(i / double(n)), {4, 4}));
  return images;
}

TEST_F(AnimationTest, ImageViewFramesFollowTheClock) {
  auto still = Image::withColor(Color::black(), {4, 4});
  auto imageView = std::make_shared<ImageView>(still);
  auto images = frames(90);
  imageView->setAnimationImages(images);
  imageView->setAnimationDuration(3.0);
  EXPECT_EQ(imageView->displayedImage(), still);
  imageView->startAnimating();
  EXPECT_EQ(imageView->displayedImage(), images[0]);
  driver().advance(1.5);
  EXPECT_EQ(imageView->currentAnimationFrame(), 45u);
  driver().advance(2.0);  // 3.5 s: half a second into the second cycle
  EXPECT_EQ(imageView->currentAnimationFrame(), 15u);
  EXPECT_TRUE(imageView->isAnimating());
  imageView->stopAnimating();
  EXPECT_EQ(imageView->displayedImage(), still);
}

TEST_F(AnimationTest, AnImageViewPlaysItsFramesTheNumberOfTimesAsked) {
  auto imageView = std::make_shared<ImageView>();
  auto images = frames(21);
  imageView->setAnimationImages(images);
  imageView->setAnimationDuration(0.5);
  imageView->setAnimationRepeatCount(1);
  imageView->startAnimating();
  driver().advance(0.49);
  EXPECT_TRUE(imageView->isAnimating());
  EXPECT_EQ(imageView->displayedImage(), images[20]);
  driver().advance(0.02);
  EXPECT_FALSE(imageView->isAnimating());
  EXPECT_EQ(imageView->displayedImage(), nullptr);
}

TEST(ButtonState, StatesWithoutTheirOwnValuesShowTheNormalOnes) {
  auto button = std::make_shared<Button>(Rect(0, 0, 120, 44));
  auto normal = Image::withColor(Color::black(), {10, 10});
  auto selected = Image::withColor(Color::whiteColor(), {12, 12});
  button->setTitle("Play", kControlStateNormal);
  button->setTitle("Pause", kControlStateSelected);
  button->setTitleColor(Color::black(), kControlStateNormal);
  button->setTitleColor(Color::white(0.5), kControlStateDisabled);
  button->setImage(normal, kControlStateNormal);
  button->setImage(selected, kControlStateSelected);
  EXPECT_EQ(button->currentTitle(), "Play");
  EXPECT_EQ(button->titleLabel()->text(), "Play");
  EXPECT_EQ(button->imageView()->image(), normal);
  button->setSelected(true);
  EXPECT_EQ(button->titleLabel()->text(), "Pause");
  EXPECT_EQ(button->imageView()->image(), selected);
  EXPECT_EQ(button->currentTitleColor(), Color::black());  // no selected colour: the normal one
  button->setSelected(false);
  button->setEnabled(false);
  EXPECT_EQ(button->titleLabel()->text(), "Play");
  EXPECT_EQ(button->titleLabel()->textColor(), Color::white(0.5));
  button->setTitle(std::nullopt, kControlStateNormal);
  EXPECT_EQ(button->currentTitle(), "");
  EXPECT_TRUE(button->titleLabel()->isHidden());
  EXPECT_EQ(button->titleForState(kControlStateSelected), "Pause");
}

TEST(ButtonState, ImageAndTitleSitSideBySideInTheInsetBounds) {
  auto button = std::make_shared<Button>(Rect(0, 0, 200, 60));
  button->setImage(Image::withColor(Color::black(), {20, 20}), kControlStateNormal);
  button->setTitle("Go", kControlStateNormal);
  button->setContentEdgeInsets({5, 10, 5, 10});
  button->layoutIfNeeded();
  const Size title = button->titleLabel()->intrinsicContentSize();
  EXPECT_GT(title.width, 0);
  const Size intrinsic = button->intrinsicContentSize();
  EXPECT_EQ(intrinsic.width, 20 + title.width + 20);
  EXPECT_EQ(intrinsic.height, std::max(20.0, title.height) + 10);
  const Rect image = button->imageView()->frame();
  const Rect label = button->titleLabel()->frame();
  EXPECT_EQ(image.maxX(), label.minX());
  EXPECT_DOUBLE_EQ((image.minX() + label.maxX()) / 2, 100);
  EXPECT_DOUBLE_EQ(image.midY(), 30);
}

}  // namespace
}  // namespace dk::platform::testing

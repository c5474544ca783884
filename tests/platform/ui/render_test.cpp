// Rendering the view tree: what ends up in which pixel.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/graphics/image.h"
#include "platform/graphics/path.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/render.h"
#include "platform/ui/shape_layer.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

::testing::AssertionResult colourNear(const Image& image, int x, int y, Color expected, double tolerance = 0.02) {
  const Color c = image.pixelColor(x, y);
  if (std::abs(c.red - expected.red) <= tolerance && std::abs(c.green - expected.green) <= tolerance &&
      std::abs(c.blue - expected.blue) <= tolerance && std::abs(c.alpha - expected.alpha) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is rgba(" << c.red << ", " << c.green
                                       << ", " << c.blue << ", " << c.alpha << ")";
}

const Color kRed = Color::rgba(1, 0, 0);
const Color kBlue = Color::rgba(0, 0, 1);
const Color kWhite = Color::whiteColor();
const Color kNothing = Color::clear();

std::shared_ptr<View> canvas() {
  auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
  root->setBackgroundColor(kWhite);
  return root;
}

std::shared_ptr<View> box(Rect frame, Color colour) {
  auto v = std::make_shared<View>(frame);
  v->setBackgroundColor(colour);
  return v;
}

TEST(Render, BackgroundsSubviewsAndHiddenViews) {
  auto root = canvas();
  root->addSubview(box(Rect(10, 10, 30, 30), kRed));
  auto hidden = box(Rect(60, 60, 30, 30), kBlue);
  hidden->setHidden(true);
  root->addSubview(hidden);
  auto image = renderViewToImage(*root, 1);
  ASSERT_EQ(image->pixelWidth(), 100);
  EXPECT_TRUE(colourNear(*image, 20, 20, kRed));
  EXPECT_TRUE(colourNear(*image, 5, 5, kWhite));
  EXPECT_TRUE(colourNear(*image, 70, 70, kWhite));
  EXPECT_EQ(renderViewToImage(*root, 2)->pixelWidth(), 200);
}

TEST(Render, AlphaBlendsTheWholeSubtreeAtOnce) {
  auto root = canvas();
  auto parent = box(Rect(0, 0, 50, 50), kRed);
  parent->addSubview(box(Rect(0, 0, 25, 25), kBlue));
  parent->setAlpha(0.5);
  root->addSubview(parent);
  auto image = renderViewToImage(*root, 1);
  // The blue child covers the red parent inside the group, then the group is half transparent.
  EXPECT_TRUE(colourNear(*image, 10, 10, Color::rgba(0.5, 0.5, 1)));
  EXPECT_TRUE(colourNear(*image, 40, 40, Color::rgba(1, 0.5, 0.5)));
}

TEST(Render, ClippingAndRoundedCorners) {
  auto root = canvas();
  auto card = box(Rect(10, 10, 80, 80), kRed);
  card->layer().setCornerRadius(20);
  card->setClipsToBounds(true);
  card->addSubview(box(Rect(60, 60, 60, 60), kBlue));  // sticks out of the card
  root->addSubview(card);
  auto image = renderViewToImage(*root, 1);
  EXPECT_TRUE(colourNear(*image, 11, 11, kWhite));  // the rounded corner is cut away
  EXPECT_TRUE(colourNear(*image, 50, 50, kRed));
  EXPECT_TRUE(colourNear(*image, 80, 80, kBlue));
  EXPECT_TRUE(colourNear(*image, 89, 89, kWhite));  // the child's part in the card's round corner
  EXPECT_TRUE(colourNear(*image, 95, 95, kWhite));  // and outside the card

  card->layer().setMaskedCorners(kCornerMinXMinY | kCornerMaxXMinY);  // top corners only
  image = renderViewToImage(*root, 1);
  EXPECT_TRUE(colourNear(*image, 11, 11, kWhite));
  EXPECT_TRUE(colourNear(*image, 11, 88, kRed));
}

TEST(Render, BordersDrawAboveTheContent) {
  auto root = canvas();
  auto framed = box(Rect(20, 20, 60, 60), kRed);
  framed->layer().setBorderWidth(4);
  framed->layer().setBorderColor(kBlue);
  framed->addSubview(box(Rect(0, 0, 60, 60), Color::rgba(0, 1, 0)));
  root->addSubview(framed);
  auto image = renderViewToImage(*root, 1);
  EXPECT_TRUE(colourNear(*image, 21, 50, kBlue));
  EXPECT_TRUE(colourNear(*image, 50, 50, Color::rgba(0, 1, 0)));
}

TEST(Render, TransformsTurnTheSubtree) {
  auto root = canvas();
  auto bar = box(Rect(20, 45, 60, 10), kRed);
  bar->setTransform(AffineTransform::rotation(M_PI / 2));
  root->addSubview(bar);
  auto image = renderViewToImage(*root, 1);
  EXPECT_TRUE(colourNear(*image, 50, 25, kRed));
  EXPECT_TRUE(colourNear(*image, 25, 50, kWhite));
}

TEST(Render, ShadowsFallBesideTheShape) {
  auto root = canvas();
  auto card = box(Rect(20, 20, 40, 40), kWhite);
  card->layer().setShadowColor(Color::black());
  card->layer().setShadowOpacity(1);
  card->layer().setShadowRadius(0);
  card->layer().setShadowOffset({10, 10});
  root->addSubview(card);
  auto image = renderViewToImage(*root, 1);
  EXPECT_TRUE(colourNear(*image, 65, 65, Color::black()));
  EXPECT_TRUE(colourNear(*image, 15, 15, kWhite));
  EXPECT_TRUE(colourNear(*image, 40, 40, kWhite));  // the card stays above its shadow
  card->layer().setShadowRadius(4);
  image = renderViewToImage(*root, 1);
  const Color edge = image->pixelColor(65, 40);
  EXPECT_LT(edge.red, 0.2);  // inside the blurred shadow
  const Color fade = image->pixelColor(71, 40);
  EXPECT_GT(fade.red, edge.red);  // fading out beyond its edge
}

TEST(Render, LayersDrawShapesAndGradients) {
  auto root = canvas();
  auto shape = std::make_shared<ShapeLayer>();
  shape->setFrame(Rect(0, 0, 100, 100));
  shape->setPath(Path::ellipse(Rect(10, 10, 20, 20)));
  shape->setFillColor(kRed);
  root->layer().addSublayer(shape);
  auto gradient = std::make_shared<GradientLayer>();
  gradient->setFrame(Rect(50, 0, 50, 100));
  gradient->setColors({Color::black(), kWhite});
  root->layer().addSublayer(gradient);
  auto image = renderViewToImage(*root, 1);
  EXPECT_TRUE(colourNear(*image, 20, 20, kRed));
  EXPECT_TRUE(colourNear(*image, 75, 1, Color::black(), 0.03));
  EXPECT_TRUE(colourNear(*image, 75, 50, Color::white(0.5), 0.03));
  shape->removeFromSuperlayer();
  EXPECT_TRUE(colourNear(*renderViewToImage(*root, 1), 20, 20, kWhite));
}

TEST(Render, ImagesTakeTheirContentModeAndTemplateTint) {
  auto root = canvas();
  auto picture = std::make_shared<ImageView>(Rect(0, 0, 100, 50));
  picture->setImage(Image::withColor(kBlue, {10, 10}));
  picture->setContentMode(ContentMode::Center);
  root->addSubview(picture);
  auto image = renderViewToImage(*root, 1);
  EXPECT_TRUE(colourNear(*image, 50, 25, kBlue));
  EXPECT_TRUE(colourNear(*image, 10, 25, kWhite));
  picture->setImage(Image::withColor(kBlue, {10, 10})->withRenderingMode(ImageRenderingMode::AlwaysTemplate));
  picture->setTintColor(kRed);
  EXPECT_TRUE(colourNear(*renderViewToImage(*root, 1), 50, 25, kRed));
}

TEST(Render, LabelsDrawTheirTextInTheirColour) {
  auto root = canvas();
  auto label = std::make_shared<Label>(Rect(0, 0, 100, 100));
  label->setText("WWWW");
  label->setFont(Font::named("Roboto-Bold", 40));
  label->setTextColor(kRed);
  label->setTextAlignment(TextAlignment::Center);
  root->addSubview(label);
  auto image = renderViewToImage(*root, 1);
  int red = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) red += image->pixelColor(x, y).green < 0.3 ? 1 : 0;
  }
  EXPECT_GT(red, 300);
  EXPECT_TRUE(colourNear(*image, 50, 2, kWhite));  // centred vertically: nothing at the top
}

TEST(Render, ASnapshotShowsTheViewAsItIsNow) {
  auto root = canvas();
  root->addSubview(box(Rect(0, 0, 50, 100), kRed));
  auto snapshot = snapshotView(*root, false);
  EXPECT_EQ(snapshot->frame(), Rect(0, 0, 100, 100));
  auto shown = std::dynamic_pointer_cast<ImageView>(snapshot);
  ASSERT_TRUE(shown);
  root->subviews().front()->setBackgroundColor(kBlue);  // later changes do not reach it
  const Image& picture = *shown->image();
  EXPECT_TRUE(colourNear(picture, static_cast<int>(20 * picture.scale()), 10, kRed));
}

}  // namespace
}  // namespace dk::platform::testing

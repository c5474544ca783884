// The button family: pill sizes, state colours, the icon-over-title layout, drawing-pass styling
// and the enlarged touch areas.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/color_codes.h"
#include "foundation/color_manager.h"
#include "platform/graphics/font.h"
#include "platform/graphics/image.h"
#include "platform/ui/render.h"
#include "platform/ui/ui_fixture.h"
#include "ui/kl_bordered_button.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"
#include "ui/kl_larger_hit_test_area_button.h"
#include "ui/kl_verlically_centered_button.h"

namespace dk {
namespace {

using platform::Button;
using platform::ImagePtr;
using platform::ImageRenderingMode;
using platform::kControlStateDisabled;
using platform::kControlStateHighlighted;
using platform::kControlStateNormal;
using platform::kControlStateSelected;
using platform::Rect;
using platform::Size;

// Installs a device for the fonts and pill sizes, and the default theme colours.
class DeviceScope {
 public:
  DeviceScope(int sizeClass, int model) {
    setFontEnvironment({[] { return 1L; }, [sizeClass] { return sizeClass; }, [model] { return model; }});
    ColorManager::setPrimaryColors("#0c94c8");
    ColorManager::setSecondaryColors("#333333");
  }
  ~DeviceScope() { setFontEnvironment({}); }
};

// Colours through an 8-bit image channel come back within half a step.
::testing::AssertionResult sameColour(const Color& a, const Color& b) {
  const double tolerance = 1.0 / 255;
  if (std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
      std::abs(a.blue - b.blue) <= tolerance && std::abs(a.alpha - b.alpha) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "rgba(" << a.red << ", " << a.green << ", " << a.blue << ", " << a.alpha
                                       << ") is not rgba(" << b.red << ", " << b.green << ", " << b.blue << ", "
                                       << b.alpha << ")";
}

double titleWidth(const std::string& title) { return platform::Font::named("Roboto-Regular", 13).sizeOfText(title).width; }

TEST(LightAccentButton, AnEmptyPillIsNinetyWideAndAsTallAsTheDeviceWants) {
  auto button = std::make_shared<KLLightAccentButton>();
  {
    DeviceScope device(0, 0);
    EXPECT_EQ(button->intrinsicContentSize(), (Size{90, 44}));
  }
  {
    DeviceScope device(2, 15);
    EXPECT_EQ(button->intrinsicContentSize(), (Size{90, 44}));
  }
  {
    DeviceScope device(1, 1);
    EXPECT_EQ(button->intrinsicContentSize(), (Size{90, 34}));
  }
  {
    DeviceScope device(1, 3);
    EXPECT_EQ(button->intrinsicContentSize(), (Size{90, 38}));
  }
}

TEST(LightAccentButton, ALongTitleWidensThePillByItsHeight) {
  DeviceScope device(0, 0);
  auto button = std::make_shared<KLLightAccentButton>();
  const std::string title = "Download the whole clip";
  button->setTitle(title, kControlStateNormal);
  ASSERT_GT(titleWidth(title) + 44, 90);
  EXPECT_DOUBLE_EQ(button->intrinsicContentSize().width, titleWidth(title) + 44);
  EXPECT_EQ(button->intrinsicContentSize().height, 44);
}

TEST(AccentButtons, TheDrawingPassPaintsThePill) {
  DeviceScope device(0, 0);
  auto light = std::make_shared<KLLightAccentButton>(Rect(0, 0, 120, 40));
  light->setTitle("OK", kControlStateNormal);
  auto picture = platform::renderViewToImage(*light, 1);
  EXPECT_EQ(light->layer().cornerRadius(), 20);
  EXPECT_TRUE(light->clipsToBounds());
  EXPECT_EQ(light->titleLabel()->font(), XS_MediumTextFont());
  EXPECT_EQ(light->titleColorForState(kControlStateNormal), Color::whiteColor());
  ASSERT_NE(light->backgroundImageForState(kControlStateDisabled), nullptr);
  EXPECT_TRUE(sameColour(light->backgroundImageForState(kControlStateHighlighted)->pixelColor(0, 0), accentColor()));
  // The next picture shows the light pill, the corners cut round.
  picture = platform::renderViewToImage(*light, 1);
  const Color middle = picture->pixelColor(20, 20);
  EXPECT_NEAR(middle.blue, lightColor().blue, 0.02);
  EXPECT_NEAR(picture->pixelColor(1, 1).alpha, 0, 0.05);

  auto grey = std::make_shared<KLCoolGreyAccentButton>(Rect(0, 0, 120, 40));
  platform::renderViewToImage(*grey, 1);
  EXPECT_TRUE(sameColour(grey->backgroundImageForState(kControlStateNormal)->pixelColor(0, 0), coolGreyColor()));
  EXPECT_TRUE(sameColour(grey->backgroundImageForState(kControlStateDisabled)->pixelColor(0, 0), lightGreyColor()));
  EXPECT_EQ(grey->layer().borderColor(), Color::whiteColor());
}

TEST(BorderedButton, UsesItsOwnBackgroundForNormalAndHighlighted) {
  auto button = std::make_shared<KLBorderedButton>(Rect(0, 0, 60, 30));
  button->setBackgroundColor(Color::rgba(1, 0, 0));
  platform::renderViewToImage(*button, 1);
  EXPECT_EQ(button->backgroundImageForState(kControlStateHighlighted)->pixelColor(0, 0), Color::rgba(1, 0, 0));
  EXPECT_EQ(button->layer().borderColor(), Color::whiteColor());
}

ImagePtr icon(double w, double h) { return platform::Image::withColor(Color::black(), {w, h}); }

TEST(VerticallyCenteredClearButton, StateSettersColourTitleAndIcon) {
  DeviceScope device(0, 0);
  auto button = std::make_shared<KLVerticallyCenteredClearButton>(Rect(0, 0, 80, 60));
  button->setTitle("SPEED", kControlStateNormal);
  button->setImage(icon(20, 20), kControlStateNormal);
  button->setEnabled(false);
  EXPECT_EQ(button->titleLabel()->textColor(), lightGreyColor());
  EXPECT_EQ(button->imageView()->tintColor(), lightGreyColor());
  EXPECT_EQ(button->imageView()->image()->renderingMode(), ImageRenderingMode::AlwaysTemplate);
  EXPECT_EQ(button->imageForState(kControlStateDisabled)->renderingMode(), ImageRenderingMode::AlwaysTemplate);
  button->setEnabled(true);
  EXPECT_EQ(button->titleLabel()->textColor(), Color::whiteColor());
  EXPECT_EQ(button->imageView()->tintColor(), Color::whiteColor());
  button->setSelected(true);
  EXPECT_EQ(button->titleLabel()->textColor(), coolGreyColor());
  button->setSelected(false);
  button->setHighlighted(true);
  EXPECT_EQ(button->imageView()->tintColor(), coolGreyColor());
  button->setHighlighted(false);
  EXPECT_EQ(button->titleLabel()->textColor(), Color::whiteColor());
}

TEST(VerticallyCenteredButton, DisablingGreysTheTitleEvenWithoutAnIcon) {
  DeviceScope device(0, 0);
  auto button = std::make_shared<KLVerlicallyCenteredButton>(Rect(0, 0, 80, 60));
  button->setTitle("ZOOM IN", kControlStateNormal);
  button->setEnabled(false);
  EXPECT_EQ(button->titleLabel()->textColor(), lightGreyColor());
  EXPECT_EQ(button->imageView()->image(), nullptr);
  button->setEnabled(true);
  EXPECT_EQ(button->titleLabel()->textColor(), darkColor());
  EXPECT_FALSE(button->active());
  button->setActive(true);
  EXPECT_TRUE(button->active());
}

TEST(VerticallyCenteredButton, TheIconSitsCentredAboveTheTitle) {
  DeviceScope device(0, 0);
  auto button = std::make_shared<KLVerlicallyCenteredButton>(Rect(10, 0, 100, 80));
  button->setImage(icon(20, 24), kControlStateNormal);
  button->setTitle("A LONG TITLE", kControlStateNormal);
  button->layoutIfNeeded();
  const Rect image = button->imageView()->frame();
  const Rect title = button->titleLabel()->frame();
  const Size measured = platform::Font::named("Roboto-Regular", 13).sizeOfText("A LONG TITLE");
  ASSERT_GT(measured.width, 20);
  EXPECT_DOUBLE_EQ(image.midX(), 50);  // over the middle of the title block
  EXPECT_DOUBLE_EQ(title.midX(), 50);
  EXPECT_DOUBLE_EQ(title.width(), measured.width);
  EXPECT_DOUBLE_EQ(image.minY(), (80 - 24 - measured.height) / 2);
  EXPECT_DOUBLE_EQ(title.minY(), image.maxY());

  button->setTitle("A", kControlStateNormal);
  button->setImage(icon(70, 24), kControlStateNormal);
  button->layoutIfNeeded();
  EXPECT_DOUBLE_EQ(button->imageView()->frame().width(), 70);
  EXPECT_DOUBLE_EQ(button->imageView()->frame().midX(), 50);
  EXPECT_DOUBLE_EQ(button->titleLabel()->frame().midX(), 50);  // a narrow title centred under a wide icon
}

TEST(VerticallyCenteredButton, TheDrawingPassSetsTheStatesLook) {
  DeviceScope device(1, 1);
  auto button = std::make_shared<KLVerlicallyCenteredButton>(Rect(0, 0, 80, 60));
  button->setTitle("MORE", kControlStateNormal);
  platform::renderViewToImage(*button, 1);
  EXPECT_EQ(button->titleLabel()->font().pointSize(), 10);  // XXS on a small, old phone
  EXPECT_EQ(button->titleLabel()->numberOfLines(), 0);
  EXPECT_EQ(button->titleColorForState(kControlStateDisabled), lightGreyColor());
  EXPECT_EQ(button->titleColorForState(kControlStateSelected), darkColor());
  EXPECT_TRUE(sameColour(button->backgroundImageForState(kControlStateHighlighted)->pixelColor(0, 0), lightGreyColor()));
  EXPECT_TRUE(sameColour(button->backgroundImageForState(kControlStateSelected)->pixelColor(0, 0), Color::whiteColor()));
  auto clear = std::make_shared<KLVerticallyCenteredClearButton>(Rect(0, 0, 80, 60));
  platform::renderViewToImage(*clear, 1);
  EXPECT_EQ(clear->backgroundImageForState(kControlStateHighlighted)->pixelColor(0, 0).alpha, 0);
  EXPECT_EQ(clear->titleColorForState(kControlStateNormal), Color::whiteColor());
}

TEST(ButtonTint, OneImageForEveryStateOrATintedTemplate) {
  auto button = std::make_shared<Button>();
  auto image = icon(10, 10);
  setImageForAllControlStates(*button, image);
  for (unsigned s : {kControlStateNormal, kControlStateSelected, kControlStateHighlighted, kControlStateDisabled}) {
    EXPECT_EQ(button->imageForState(s), image);
  }
  setImageAndTint(*button, image, Color::rgba(1, 0, 0), kControlStateSelected);
  EXPECT_EQ(button->imageForState(kControlStateSelected)->renderingMode(), ImageRenderingMode::AlwaysTemplate);
  EXPECT_EQ(button->imageForState(kControlStateNormal), image);
  EXPECT_EQ(button->imageView()->tintColor(), Color::rgba(1, 0, 0));
}

class TouchArea : public platform::testing::UiTest {};

TEST_F(TouchArea, TheLargerAreasAreMadeOnceAndTakeTouchesAroundTheButton) {
  showWindow();
  auto button = std::make_shared<KLLargerHitTestAreaButton>(Rect(100, 100, 20, 20));
  window_->rootViewController()->view()->addSubview(button);
  auto area = button->veryLargeTouchArea();
  EXPECT_EQ(button->veryLargeTouchArea(), area);
  EXPECT_NE(button->largeHitTestArea(), area);
  int taps = 0;
  area->addTarget(nullptr, [&](platform::Control&) { ++taps; }, platform::kControlEventTouchUpInside);
  driver().pump();
  EXPECT_EQ(area->frame(), Rect(-22, -22, 64, 64));  // centred on the button
  EXPECT_EQ(button->largeHitTestArea()->frame().size, (Size{44, 44}));
  driver().tap({100 + 10 + 28, 110});  // 18 points right of the button
  EXPECT_EQ(taps, 1);
  driver().tap({100 + 10 + 40, 110});  // beyond the area
  EXPECT_EQ(taps, 1);
}

}  // namespace
}  // namespace dk

// A small screen of the framework's pieces rendered to PNG and compared with the project's stored
// picture of it (tests/data/ui/small_screen.png). On a mismatch the actual picture is written to
// the working directory (the build tree) for a look; DK_UPDATE_PICTURES=1 rewrites the stored one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "foundation/color_codes.h"
#include "foundation/color_manager.h"
#include "platform/graphics/image.h"
#include "platform/graphics/image_compare.h"
#include "platform/graphics/image_renderer.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/render.h"
#include "platform/ui/stored_picture.h"
#include "platform/ui/shape_layer.h"
#include "ui/alpha_gradient_view.h"
#include "ui/kl_bordered_button.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"
#include "ui/image_effects.h"
#include "ui/kl_verlically_centered_button.h"

namespace dk {
namespace {

using platform::Rect;
using platform::View;

// Stripes and a disc: something with edges for the blur to soften.
platform::ImagePtr sceneryImage() {
  return platform::ImageRenderer::render({140, 90}, 2, true, [](platform::GraphicsContext& c) {
    for (int i = 0; i < 14; ++i) {
      c.setFillColor(i % 2 ? Color::rgba(0.15, 0.35, 0.55) : Color::rgba(0.9, 0.85, 0.7));
      c.fillRect(Rect(i * 10, 0, 10, 90));
    }
    c.setFillColor(Color::rgba(0.85, 0.2, 0.2));
    c.fillEllipse(Rect(45, 20, 50, 50));
  });
}

std::shared_ptr<View> smallScreen() {
  auto root = std::make_shared<View>(Rect(0, 0, 320, 230));
  root->setBackgroundColor(Color::whiteColor());

  auto bar = std::make_shared<View>(Rect(0, 0, 320, 44));
  bar->setBackgroundColor(darkColor());
  auto title = std::make_shared<platform::Label>(Rect(0, 0, 320, 44));
  title->setText("TIMELINE");
  title->setFont(S_RegularTextFont());
  title->setTextColor(Color::whiteColor());
  title->setTextAlignment(platform::TextAlignment::Center);
  bar->addSubview(title);
  root->addSubview(bar);

  auto fade = std::make_shared<AlphaGradientView>(Rect(0, 44, 320, 30));
  fade->setDirection(1);
  fade->setColor(darkColor());
  fade->setAlpha(0.6);
  root->addSubview(fade);

  auto snapshot = std::make_shared<platform::ImageView>(Rect(10, 80, 140, 90));
  snapshot->setImage(applyLightEffectWithBlurRadius(sceneryImage(), 5.0));
  snapshot->setClipsToBounds(true);
  snapshot->layer().setCornerRadius(16);
  root->addSubview(snapshot);

  auto proceed = std::make_shared<KLLightAccentButton>(Rect(170, 80, 130, 38));
  proceed->setTitle("CONTINUE", platform::kControlStateNormal);
  root->addSubview(proceed);
  auto cancel = std::make_shared<KLCoolGreyAccentButton>(Rect(170, 128, 130, 38));
  cancel->setTitle("CANCEL", platform::kControlStateNormal);
  root->addSubview(cancel);

  auto zoom = std::make_shared<KLVerlicallyCenteredButton>(Rect(10, 180, 90, 44));
  zoom->setTitle("ZOOM IN", platform::kControlStateNormal);
  setImageAndTint(*zoom, platform::Image::named("zoom-in"), darkColor());
  root->addSubview(zoom);

  auto card = std::make_shared<View>(Rect(120, 184, 180, 36));
  card->layer().setCornerRadius(8);
  card->layer().setShadowOpacity(0.5);
  card->layer().setShadowRadius(3);
  card->layer().setShadowOffset({1.5, 1.5});
  card->setBackgroundColor(Color::whiteColor());
  auto gradient = std::make_shared<platform::GradientLayer>();
  gradient->setFrame(Rect(0, 0, 180, 36));
  gradient->setCornerRadius(8);
  gradient->setMasksToBounds(true);
  gradient->setColors({lightColor(), accentColor()});
  gradient->setStartPoint({0, 0.5});
  gradient->setEndPoint({1, 0.5});
  card->layer().addSublayer(gradient);
  root->addSubview(card);
  return root;
}

TEST(SmallScreenPicture, LooksAsStored) {
  setFontEnvironment({[] { return 1L; }, [] { return 0; }, [] { return 0; }});
  ColorManager::setPrimaryColors("#0c94c8");
  ColorManager::setSecondaryColors("#333333");
  auto screen = smallScreen();
  platform::renderViewToImage(*screen, 2);  // the buttons style themselves in their first pass
  auto actual = platform::renderViewToImage(*screen, 2);
  setFontEnvironment({});
  ASSERT_TRUE(actual);

  test::expectLooksAsStored(actual, "ui", "small_screen");
}

}  // namespace
}  // namespace dk

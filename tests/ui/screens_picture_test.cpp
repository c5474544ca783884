// What the base screens show, as pictures: a pop-up with two buttons, a pop-up with a text field
// over the keyboard, and the network-lost panel in its two themes, each compared with the
// project's stored picture (tolerance in stored_picture.h).
#include <gtest/gtest.h>

#include "foundation/color_codes.h"
#include "platform/ui/render.h"
#include "platform/ui/text_field.h"
#include "ui/screen_test_support.h"
#include "platform/ui/stored_picture.h"
#include "ui/fonts.h"
#include "ui/kl_network_connection_lost_view.h"

namespace dk {
namespace {

using platform::Rect;
using platform::View;

// A screen with something to dim: a title and a few rows of the timeline's colours.
class BackdropScreen : public test::LoggingScreen {
 public:
  void viewDidLoad() override {
    setMainView(view());
    LoggingScreen::viewDidLoad();
    auto title = std::make_shared<platform::Label>(Rect(0, 50, 375, 44));
    title->setText("Front door");
    title->setFont(S_RegularTextFont());
    title->setTextColor(Color::whiteColor());
    title->setTextAlignment(platform::TextAlignment::Center);
    view()->addSubview(title);
    for (int i = 0; i < 6; ++i) {
      auto row = std::make_shared<View>(Rect(20, 120 + i * 110, 335, 90));
      row->setBackgroundColor(i % 2 ? lightColor() : coolGreyColor());
      row->layer().setCornerRadius(8);
      view()->addSubview(row);
    }
  }
};

// Stands for the system keyboard, which the headless platform does not draw.
std::shared_ptr<View> keyboardStandIn(double height) {
  auto board = std::make_shared<View>(Rect(0, 812 - height, 375, height));
  board->setBackgroundColor(Color::rgba(0.82, 0.83, 0.86));
  const int keysPerRow[] = {10, 9, 7};
  for (int r = 0; r < 3; ++r) {
    const double keyWidth = 31.5, gap = 6;
    const double rowWidth = keysPerRow[r] * keyWidth + (keysPerRow[r] - 1) * gap;
    for (int k = 0; k < keysPerRow[r]; ++k) {
      auto key = std::make_shared<View>(Rect((375 - rowWidth) / 2 + k * (keyWidth + gap), 10 + r * 54, keyWidth, 42));
      key->setBackgroundColor(Color::whiteColor());
      key->layer().setCornerRadius(5);
      board->addSubview(key);
    }
  }
  auto space = std::make_shared<View>(Rect(95, 10 + 3 * 54, 185, 42));
  space->setBackgroundColor(Color::whiteColor());
  space->layer().setCornerRadius(5);
  board->addSubview(space);
  return board;
}

class ScreensPicture : public test::ScreenTest {
 protected:
  platform::ImagePtr renderTwice(View& view) {
    driver().pump();
    platform::renderViewToImage(view, 2);  // the buttons style themselves in their first pass
    return platform::renderViewToImage(view, 2);
  }
};

TEST_F(ScreensPicture, APopUpWithTwoButtons) {
  auto screen = show(std::make_shared<BackdropScreen>());
  screen->displayPopUpViewWithTitle(
      "Delete event", "The recording of this event will be deleted from the cloud. This cannot be undone.",
      std::nullopt, KLPopUpOptionNoSwipeDismiss | KLPopUpOptionNarrow | KLPopUpOptionSecondButtonCoolGrey,
      {"DELETE", "CANCEL"});
  driver().advance(0.5);
  ASSERT_TRUE(shownCard());
  test::expectLooksAsStored(renderTwice(*window_), "ui", "pop_up_two_buttons");
}

TEST_F(ScreensPicture, APopUpWithATextFieldOverTheKeyboard) {
  auto screen = show(std::make_shared<BackdropScreen>());
  screen->displayPopUpViewWithTitle("Name this clip", "The name is shown in the album.", std::nullopt,
                                    KLPopUpOptionTextField, {"SAVE", "CANCEL"});
  driver().advance(0.5);
  auto card = shownCard();
  ASSERT_TRUE(card);
  card->layoutIfNeeded();

  // The caller makes room under the info text for its field and grows the card upwards.
  const double room = 40 + 20;
  const double fieldTop = card->infoLabel()->frame().maxY() + 20;
  card->displaceViewsFromIndex(2, room);
  auto field = std::make_shared<platform::TextField>(Rect(24, fieldTop, 375 - 48, 40));
  field->setBorderStyle(platform::TextField::BorderStyle::RoundedRect);
  field->setFont(XS_RegularTextFont());
  field->setPlaceholder("Clip name");
  card->addSubview(field);
  Rect f = card->frame();
  card->setFrame(Rect(f.minX(), f.minY() - room, f.width(), f.height() + room));
  const double dockedBottom = card->frame().maxY();

  driver().tap(*field);
  field->insertText("Garden at night");
  driver().advance(0.5);
  ASSERT_TRUE(card->isKeyboardVisible());
  EXPECT_EQ(card->frame().maxY(), dockedBottom - platform::TextField::kKeyboardHeight) << "on top of the keyboard";
  window_->addSubview(keyboardStandIn(platform::TextField::kKeyboardHeight));
  test::expectLooksAsStored(renderTwice(*window_), "ui", "pop_up_text_field_keyboard");
}

TEST_F(ScreensPicture, TheNetworkLostPanelInTheLightTheme) {
  auto panel = KLNetworkConnectionLostView::make(Rect(0, 0, 375, 420));
  test::expectLooksAsStored(renderTwice(*panel), "ui", "network_lost_light");
}

TEST_F(ScreensPicture, TheNetworkLostPanelInTheDarkThemeOnADarkScreen) {
  auto backdrop = std::make_shared<View>(Rect(0, 0, 375, 420));
  backdrop->setBackgroundColor(darkColor());
  auto panel = KLNetworkConnectionLostView::make(Rect(0, 0, 375, 420));
  panel->darkTheme();
  backdrop->addSubview(panel);
  test::expectLooksAsStored(renderTwice(*backdrop), "ui", "network_lost_dark");
}

}  // namespace
}  // namespace dk

// The timeline screen's player row: frame steps either side of the speed button, the speed menu
// that opens above it, and the "more" button that shows and hides the row. The row and the menu
// lie over the bottom of the strip and take no touches while they are faded out.
#include <cctype>
#include <cstdio>

#include "foundation/color_codes.h"
#include "foundation/date_formatting.h"
#include "platform/foundation/bundle.h"
#include "timeline/kl_timeline_view_controller.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"

namespace dk {

using platform::Rect;

namespace {

std::string controlsText(std::string_view key) {
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(key, key);
}

std::string controlsUpper(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

struct SpeedOption {
  long tag;
  const char* title;
};
// Top to bottom, fastest first.
constexpr SpeedOption kSpeedOptionsLayout[] = {{1004, "10X"}, {1003, "5X"}, {1002, "2X"}, {1001, "1X"}};
constexpr double kSpeedOptionHeight = 40.0;
constexpr double kSpeedMenuGap = 6.0;
// The single-precision 0.4 the menu fades with.
constexpr double kSpeedMenuDuration = static_cast<double>(0.4f);
constexpr double kPlayerRowDuration = 0.5;

}  // namespace

void KLTimelineViewController::buildPlayerControlsLayout(platform::View& container, const Rect& row) {
  auto playerRow = std::make_shared<platform::View>(row);
  playerRow->setAccessibilityIdentifier("player_bottom_controls_container");
  container.addSubview(playerRow);
  playerBottomControlsContainer_ = playerRow;
  // The five columns of the row below: the frame steps and the speed button take the middle three.
  const double column = row.size.width / 5;
  auto previous = std::make_shared<KLVerlicallyCenteredButton>(Rect(column, 0, column, row.size.height));
  auto speed = std::make_shared<KLVerlicallyCenteredButton>(Rect(2 * column, 0, column, row.size.height));
  auto next = std::make_shared<KLVerlicallyCenteredButton>(Rect(3 * column, 0, column, row.size.height));
  previous->setAccessibilityIdentifier("previous_frame_button");
  speed->setAccessibilityIdentifier("speed_button");
  next->setAccessibilityIdentifier("next_frame_button");
  for (const auto& b : {previous, speed, next}) playerRow->addSubview(b);
  previousFrameButton_ = previous;
  speedButton_ = speed;
  nextFrameButton_ = next;
  // A hairline parts the row from the strip it lies over.
  auto separator = std::make_shared<platform::View>(Rect(0, 0, row.size.width, 1));
  separator->setBackgroundColor(lightGreyColor());
  playerRow->addSubview(separator);

  const double menuHeight = kSpeedOptionHeight * std::size(kSpeedOptionsLayout);
  auto menu = std::make_shared<platform::View>(
      Rect(2 * column + 4, row.origin.y - kSpeedMenuGap - menuHeight, column - 8, menuHeight));
  menu->setAccessibilityIdentifier("speed_options_view");
  container.addSubview(menu);
  speedOptionsView_ = menu;
  speedOptions_.clear();
  double y = 0;
  for (const auto& option : kSpeedOptionsLayout) {
    auto button = std::make_shared<platform::Button>(Rect(0, y, column - 8, kSpeedOptionHeight));
    button->setTag(option.tag);
    button->setTitle(std::string(option.title), platform::kControlStateNormal);
    button->setAccessibilityIdentifier("speed_option_" + std::to_string(option.tag));
    menu->addSubview(button);
    speedOptions_.push_back(button);
    y += kSpeedOptionHeight;
  }
}

void KLTimelineViewController::setUpPlayerControls() {
  auto self = sharedAs<KLTimelineViewController>();
  if (auto row = playerBottomControlsContainer()) {
    row->setBackgroundColor(lightGreyColor());
    row->setAlpha(0);
  }
  struct Frame {
    std::shared_ptr<platform::Button> button;
    const char* image;
    void (KLTimelineViewController::*action)();
  };
  for (const auto& item : {Frame{previousFrameButton(), "prev-frame", &KLTimelineViewController::previousFrameButtonPressed},
                           Frame{nextFrameButton(), "next-frame", &KLTimelineViewController::nextFrameButtonPressed}}) {
    if (!item.button) continue;
    setImageAndTint(*item.button, platform::Image::named(item.image), darkColor());
    item.button->setTitle(controlsUpper(controlsText("Frame")), platform::kControlStateNormal);
    item.button->setTitleColor(darkColor(), platform::kControlStateNormal);
    // Nothing to step through until a player has loaded.
    item.button->setEnabled(false);
    item.button->addTarget(self, item.action, platform::kControlEventTouchUpInside);
  }
  if (auto speed = speedButton()) {
    showSpeedRate(1.0);
    speed->setTitleColor(darkColor(), platform::kControlStateNormal);
    speed->titleLabel()->setNumberOfLines(2);
    speed->addTarget(self, &KLTimelineViewController::speedButtonPressed, platform::kControlEventTouchUpInside);
  }
  if (auto menu = speedOptionsView()) {
    menu->setAlpha(0);
    menu->setBackgroundColor(lightGreyColor());
    menu->layer().setCornerRadius(8);
    menu->setClipsToBounds(true);
  }
  for (const auto& option : speedOptions_) {
    option->titleLabel()->setFont(XS_MediumTextFont());
    option->setTitleColor(darkColor(), platform::kControlStateNormal);
    option->addTarget(self, &KLTimelineViewController::speedOptionButtonPressed, platform::kControlEventTouchUpInside);
  }
  if (auto more = moreButton()) {
    more->addTarget(self, &KLTimelineViewController::moreButtonPressed, platform::kControlEventTouchUpInside);
  }
}

double KLTimelineViewController::rateForSpeedOptionTag(long tag) {
  switch (tag) {
    case 1002: return 2.0;
    case 1003: return 5.0;
    case 1004: return 10.0;
    default: return 1.0;
  }
}

void KLTimelineViewController::showSpeedRate(double rate) {
  auto speed = speedButton();
  if (!speed) return;
  char number[32];
  std::snprintf(number, sizeof number, "%.0fX", rate);
  speed->setTitle(controlsUpper(std::string(number) + "\n" + controlsText("Speed")), platform::kControlStateNormal);
}

std::string KLTimelineViewController::speedTitle() const {
  auto speed = speedButton();
  return speed ? speed->titleForState(platform::kControlStateNormal).value_or("") : std::string();
}

void KLTimelineViewController::speedButtonPressed() {
  auto menu = speedOptionsView();
  if (!menu) return;
  const double target = menu->alpha() == 0 ? 1.0 : 0.0;
  platform::View::animate(kSpeedMenuDuration, [menu, target] { menu->setAlpha(target); });
}

void KLTimelineViewController::speedOptionButtonPressed(platform::Control& control) {
  auto* option = dynamic_cast<platform::Button*>(&control);
  if (!option) return;
  if (auto speed = speedButton()) {
    speed->setTitle(controlsUpper(option->currentTitle() + "\n" + controlsText("Speed")), platform::kControlStateNormal);
  }
  if (auto menu = speedOptionsView()) {
    platform::View::animate(kSpeedMenuDuration, [menu] { menu->setAlpha(0); });
  }
  if (player_) player_->updateSpeedWithRate(rateForSpeedOptionTag(option->tag()));
}

void KLTimelineViewController::moreButtonPressed() {
  auto more = moreButton();
  if (!more) return;
  double target = 1.0;
  if (more->active()) {
    if (auto menu = speedOptionsView()) menu->setAlpha(0);
    target = 0.0;
  }
  more->setActive(!more->active());
  more->setTitle(controlsUpper(controlsText(more->active() ? "Less" : "More")), platform::kControlStateNormal);
  auto row = playerBottomControlsContainer();
  if (!row) return;
  // The strip's down arrow sits at its bottom: it moves above the row so the row never hides it.
  auto arrow = prevEventButton();
  const double shift = target == 1.0 ? -row->frame().size.height : row->frame().size.height;
  platform::View::animate(kPlayerRowDuration, [row, target, arrow, shift] {
    row->setAlpha(target);
    if (!arrow) return;
    auto frame = arrow->frame();
    frame.origin.y += shift;
    arrow->setFrame(frame);
  });
}

}  // namespace dk

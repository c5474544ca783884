#include "playback_controls.h"

#include <cmath>

#include "platform/ui/ui_test_driver.h"
#include "screen_state.h"
#include "platform/ui/window.h"
#include "player/kl_player_recordings_portrait_controls.h"
#include "player/kl_player_view_controller.h"
#include "timeline/embedded_player.h"
#include "timeline/kl_timeline_view_controller.h"

namespace {

using dk::KLTimelineViewController;
using dk::platform::View;

// The speed options' tags, by the rate they stand for.
long speedTagForRate(double rate) {
  for (long tag : {1001L, 1002L, 1003L, 1004L}) {
    if (std::fabs(KLTimelineViewController::rateForSpeedOptionTag(tag) - rate) < 1e-9) return tag;
  }
  return 1001;
}

// The snapshot button of the bottom row, and the embedded player's own overlay for pausing and
// the event jump.
class ControlsBase : public PlaybackControls {
 public:
  ControlsBase(std::shared_ptr<KLTimelineViewController> screen, dk::platform::UiTestDriver& driver)
      : screen_(std::move(screen)), driver_(driver) {}

  std::string pause() override {
    auto button = overlayButton(&dk::KLPlayerRecordingsPortraitControls::playButton);
    if (!isShownOnScreen(button)) return "the player shows no play button";
    tap(button);
    return "tapped the player's pause button";
  }
  std::string takeSnapshot() override {
    auto button = screen_->snapshotButton();
    if (!isShownOnScreen(button)) return "the snapshot button is not shown";
    tap(button);
    return "tapped the snapshot button";
  }
  std::string nextEvent() override {
    auto button = overlayButton(&dk::KLPlayerRecordingsPortraitControls::nextEventButton);
    if (!isShownOnScreen(button)) return "the player shows no next-event button";
    tap(button);
    return "tapped the player's next-event button";
  }

 protected:
  void tap(const std::shared_ptr<View>& view) {
    driver_.tap(*view);
    driver_.settle();
    driver_.advance(0.5);
  }
  std::shared_ptr<View> find(const std::string& identifier) const {
    return driver_.window().viewWithAccessibilityIdentifier(identifier);
  }

  std::shared_ptr<KLTimelineViewController> screen_;
  dk::platform::UiTestDriver& driver_;

 private:
  // A button of the player's overlay, which shows its controls after a tap on the video.
  template <typename Getter>
  std::shared_ptr<View> overlayButton(Getter getter) {
    auto embedded = std::dynamic_pointer_cast<dk::EmbeddedPlayer>(screen_->player());
    if (!embedded || !embedded->playerViewController()) return nullptr;
    auto overlay =
        std::dynamic_pointer_cast<dk::KLPlayerRecordingsPortraitControls>(embedded->playerViewController()->playerControls());
    if (!overlay) return nullptr;
    std::shared_ptr<View> button = ((*overlay).*getter)();
    if (!isShownOnScreen(button)) {
      // Away from the play button in the middle.
      if (auto container = screen_->playerContainer()) {
        const auto size = container->bounds().size;
        driver_.tap(container->convertPointTo({size.width / 4, size.height / 4}, nullptr));
      }
      driver_.advance(0.5);
    }
    return button;
  }
};

// A screen with the player row ("more" button, frame steps, speed menu): taps on its buttons.
class ButtonTapControls final : public ControlsBase {
 public:
  using ControlsBase::ControlsBase;
  std::string chooseSpeed(double rate) override {
    std::string how = openPlayerRow();
    if (auto speed = find("speed_button"); isShownOnScreen(speed)) {
      tap(speed);
      how += "SPEED, ";
    }
    auto option = find("speed_option_" + std::to_string(speedTagForRate(rate)));
    if (!isShownOnScreen(option)) return how + "no speed option shown";
    tap(option);
    return how + "speed option " + std::to_string(speedTagForRate(rate));
  }
  std::string stepFrame(bool forward) override {
    std::string how = openPlayerRow();
    auto button = find(forward ? "next_frame_button" : "previous_frame_button");
    if (!isShownOnScreen(button)) return how + "no frame button shown";
    tap(button);
    return how + (forward ? "the next-frame button" : "the previous-frame button");
  }

 private:
  // Taps "more" when the row is hidden; says what was tapped.
  std::string openPlayerRow() {
    if (isShownOnScreen(find("speed_button"))) return "tapped ";
    auto more = find("more_button");
    if (!isShownOnScreen(more)) return "tapped ";
    tap(more);
    return "tapped MORE, ";
  }
};

}  // namespace

std::unique_ptr<PlaybackControls> makePlaybackControls(std::shared_ptr<KLTimelineViewController> screen,
                                                       dk::platform::UiTestDriver& driver) {
  return std::make_unique<ButtonTapControls>(std::move(screen), driver);
}

#include "playback_controls.h"

#include <cmath>

#include "platform/ui/ui_test_driver.h"
#include "platform/ui/window.h"
#include "player/kl_player_recordings_portrait_controls.h"
#include "player/kl_player_view_controller.h"
#include "timeline/embedded_player.h"
#include "timeline/kl_timeline_view_controller.h"

namespace {

using dk::KLTimelineViewController;

bool isShown(const std::shared_ptr<dk::platform::View>& view) {
  if (!view || !view->window()) return false;
  for (auto v = view; v; v = v->superview()) {
    if (v->isHidden() || v->alpha() <= 0.01) return false;
  }
  return true;
}

// The speed options' tags, by the rate they stand for.
long speedTagForRate(double rate) {
  for (long tag : {1001L, 1002L, 1003L, 1004L}) {
    if (std::fabs(KLTimelineViewController::rateForSpeedOptionTag(tag) - rate) < 1e-9) return tag;
  }
  return 1001;
}

class ScreenActionControls final : public PlaybackControls {
 public:
  ScreenActionControls(std::shared_ptr<KLTimelineViewController> screen, dk::platform::UiTestDriver& driver)
      : screen_(std::move(screen)), driver_(driver) {}

  std::string chooseSpeed(double rate) override {
    screen_->speedOptionPressed(speedTagForRate(rate));
    driver_.pump();
    return "speed option " + std::to_string(speedTagForRate(rate));
  }
  std::string stepFrame(bool forward) override {
    if (forward) screen_->nextFrameButtonPressed();
    else screen_->previousFrameButtonPressed();
    driver_.pump();
    return forward ? "next-frame action" : "previous-frame action";
  }
  std::string takeSnapshot() override {
    auto button = screen_->snapshotButton();
    if (isShown(button)) {
      driver_.tap(*button);
      return "tapped the snapshot button";
    }
    screen_->snapshotButtonPressed();
    driver_.pump();
    return "snapshot action";
  }
  std::string pause() override {
    auto button = overlayButton(&dk::KLPlayerRecordingsPortraitControls::playButton);
    if (!isShown(button)) return "the player shows no play button";
    driver_.tap(*button);
    driver_.advance(0.5);
    return "tapped the player's pause button";
  }
  std::string nextEvent() override {
    auto button = overlayButton(&dk::KLPlayerRecordingsPortraitControls::nextEventButton);
    if (isShown(button)) {
      driver_.tap(*button);
      return "tapped the player's next-event button";
    }
    screen_->playerNextEventWasUpdated();
    driver_.pump();
    return "next-event action";
  }

 private:
  // A button of the player's overlay, which shows its controls after a tap on the video.
  template <typename Getter>
  std::shared_ptr<dk::platform::View> overlayButton(Getter getter) {
    auto embedded = std::dynamic_pointer_cast<dk::EmbeddedPlayer>(screen_->player());
    if (!embedded || !embedded->playerViewController()) return nullptr;
    auto overlay =
        std::dynamic_pointer_cast<dk::KLPlayerRecordingsPortraitControls>(embedded->playerViewController()->playerControls());
    if (!overlay) return nullptr;
    std::shared_ptr<dk::platform::View> button = ((*overlay).*getter)();
    if (!isShown(button)) {
      // Away from the play button in the middle.
      if (auto container = screen_->playerContainer()) {
        const auto size = container->bounds().size;
        driver_.tap(container->convertPointTo({size.width / 4, size.height / 4}, nullptr));
      }
      driver_.advance(0.5);
    }
    return button;
  }

  std::shared_ptr<KLTimelineViewController> screen_;
  dk::platform::UiTestDriver& driver_;
};

}  // namespace

std::unique_ptr<PlaybackControls> makePlaybackControls(std::shared_ptr<KLTimelineViewController> screen,
                                                       dk::platform::UiTestDriver& driver) {
  return std::make_unique<ScreenActionControls>(std::move(screen), driver);
}

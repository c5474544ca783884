#include "screen_state.h"

#include <cstdio>

#include "foundation/date_formatting.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/ui/alert_controller.h"
#include "platform/ui/document_interaction_controller.h"
#include "platform/ui/label.h"
#include "platform/ui/window.h"
#include "player/kl_player_view_controller.h"
#include "timeline/embedded_player.h"
#include "timeline/kl_timeline_view_controller.h"
#include "ui/kl_pop_up_view.h"

namespace {

std::string clockText(double time, const char* format) { return dk::stringDateIn24HFormatFromDate(time, format); }

}  // namespace

bool isShownOnScreen(const std::shared_ptr<dk::platform::View>& view) {
  if (!view || !view->window()) return false;
  for (auto v = view; v; v = v->superview()) {
    if (v->isHidden() || v->alpha() <= 0.01) return false;
  }
  return true;
}

ScreenState ScreenState::read(dk::platform::Window& window, const std::shared_ptr<dk::KLTimelineViewController>& screen) {
  ScreenState state;
  if (!screen || !screen->isViewLoaded() || !screen->view()->window()) return state;
  state.presented = true;
  auto table = screen->tableView();
  const auto& adapter = screen->adapter();
  const auto& source = screen->dataSource();
  if (table && adapter && source) {
    const auto visible = adapter->visibleTimeRangeAtTableView(*table);
    state.windowStart = visible.start;
    state.windowEnd = visible.start + visible.duration;
    state.minutesPerScreen = source->timelineOption()->rowTimeInterval() * dk::KLTimelineViewController::kRowsPerScreen / 60;
    state.axisTime = adapter->scrollTime();
    state.eventsInView = source->timelineEventsInTimeRange(visible).size();
  }
  if (!screen->isCalendarHidden()) {
    if (auto day = screen->calendar()->selectedDate()) state.calendarDay = clockText(*day, "EEE dd MMM");
    else state.calendarDay = "none";
  }
  for (auto c = window.rootViewController(); c; c = c->presentedViewController()) {
    if (auto sheet = std::dynamic_pointer_cast<dk::platform::AlertController>(c)) {
      for (const auto& action : sheet->actions()) state.sheetActions.push_back(action->title());
    }
  }
  if (auto card = std::dynamic_pointer_cast<dk::KLPopUpView>(window.viewWithAccessibilityIdentifier("pop_up_view"))) {
    if (isShownOnScreen(card) && card->titleLabel()) state.popUpTitle = card->titleLabel()->text();
  }
  if (const auto& menu = screen->documentInteractionController(); menu && menu->isMenuPresented()) {
    state.shareMenuFile = menu->url();
  }
  state.updateBadgeShown = isShownOnScreen(screen->updateAvailableView());
  if (auto recording = screen->playingRecording()) {
    if (auto rest = std::dynamic_pointer_cast<dk::KLRecordingResponse>(recording->timelineRecordingUnderlyingObject())) {
      state.playingRecording = rest->recordingID();
    }
  }
  if (auto embedded = std::dynamic_pointer_cast<dk::EmbeddedPlayer>(screen->player())) {
    const auto& player = embedded->playerViewController();
    if (auto model = player ? player->playerViewModel() : nullptr; model && model->cameraStreamer()) {
      state.playerSeconds = model->cameraStreamer()->currentTime();
      state.playerRate = model->cameraStreamer()->rate();
      state.playerPlaying = model->isPlaying();
    }
  }
  state.speedTitle = screen->speedTitle();
  return state;
}

std::string ScreenState::describe() const {
  if (!presented) return "the timeline is not shown";
  char text[400];
  std::snprintf(text, sizeof text, "%s - %s (%.0f min a screen), axis at %s, %zu event%s in view",
                clockText(windowStart, "EEE dd MMM HH:mm:ss").c_str(), clockText(windowEnd, "HH:mm:ss").c_str(),
                minutesPerScreen, clockText(axisTime, "HH:mm:ss").c_str(), eventsInView, eventsInView == 1 ? "" : "s");
  std::string line = text;
  if (!calendarDay.empty()) line += "; calendar open, selected " + calendarDay;
  if (!sheetActions.empty()) {
    line += "; action sheet:";
    for (const auto& action : sheetActions) line += " [" + action + "]";
  }
  if (!popUpTitle.empty()) line += "; pop-up \"" + popUpTitle + "\"";
  if (!shareMenuFile.empty()) line += "; share menu for " + shareMenuFile;
  if (updateBadgeShown) line += "; update badge shown";
  if (playingRecording) {
    std::snprintf(text, sizeof text, "; player: recording %lld at %.2f s, %s at %gx",
                  static_cast<long long>(*playingRecording), playerSeconds, playerPlaying ? "playing" : "paused",
                  static_cast<double>(playerRate));
    line += text;
  }
  return line;
}

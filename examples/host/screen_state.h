// What the presented timeline shows, read from its views and working state: the visible time
// window and zoom, the axis time, the events in view, what is laid over the strip (calendar,
// action sheet, pop-up card, share menu, update badge) and what the embedded player plays. The
// demo host prints one line of it for every picture it takes. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dk {
class KLTimelineViewController;
namespace platform {
class View;
class Window;
}  // namespace platform
}  // namespace dk

// In a window, neither the view nor an ancestor hidden or transparent: what a person can see.
bool isShownOnScreen(const std::shared_ptr<dk::platform::View>& view);

struct ScreenState {
  bool presented = false;
  double windowStart = 0, windowEnd = 0;  // the visible part of the strip
  double minutesPerScreen = 0;
  double axisTime = 0;
  size_t eventsInView = 0;
  std::string calendarDay;  // the calendar's selected day while it is open
  std::vector<std::string> sheetActions;
  std::string popUpTitle;
  std::string shareMenuFile;  // the file the share menu offers, while it is open
  bool updateBadgeShown = false;
  std::optional<int64_t> playingRecording;
  double playerSeconds = 0;  // into the playing recording
  float playerRate = 0;
  bool playerPlaying = false;
  std::string speedTitle;

  static ScreenState read(dk::platform::Window& window, const std::shared_ptr<dk::KLTimelineViewController>& screen);
  // One line: the strip's window and zoom, then whatever else is on screen.
  std::string describe() const;
};

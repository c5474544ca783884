// DisplayLink: a callback at every screen frame (60 per second of the current clock) while active.
//
// Scroll animations, deceleration and zoom bounces move one step per frame. All links share one
// repeating main-queue timer that exists only while a link is active, so an idle UI schedules
// nothing. A link is owned by whoever animates; dropping it (or invalidate()) stops it.
// Main thread only.
#pragma once

#include <functional>
#include <memory>

namespace dk::platform {

class DisplayLink {
 public:
  static constexpr double kFrameInterval = 1.0 / 60.0;

  // Starts at once; `tick` gets the current clock time at every frame.
  static std::shared_ptr<DisplayLink> create(std::function<void(double now)> tick);
  ~DisplayLink();
  DisplayLink(const DisplayLink&) = delete;
  DisplayLink& operator=(const DisplayLink&) = delete;

  void invalidate();
  bool isActive() const { return active_; }
  // How many links are running (test drivers step frames while any is).
  static size_t activeCount();

 private:
  explicit DisplayLink(std::function<void(double)> tick) : tick_(std::move(tick)) {}
  friend struct DisplayLinkRegistry;
  std::function<void(double)> tick_;
  bool active_ = true;
};

}  // namespace dk::platform

// RefreshControl: the pull-to-refresh control of a scroll view (UIRefreshControl): a refreshing
// flag that begin/endRefreshing set and a value-changed event when the user starts a refresh.
// Main thread only.
#pragma once

#include "platform/ui/control.h"

namespace dk::platform {

class RefreshControl : public Control {
 public:
  RefreshControl() : Control(Rect(0, 0, 320, 60)) {}
  bool isRefreshing() const { return refreshing_; }
  void beginRefreshing() { refreshing_ = true; }
  void endRefreshing() { refreshing_ = false; }
  // What a pull past the threshold does.
  void userDidPull() {
    if (refreshing_) return;
    refreshing_ = true;
    sendActionsForControlEvents(kControlEventValueChanged);
  }

 private:
  bool refreshing_ = false;
};

}  // namespace dk::platform

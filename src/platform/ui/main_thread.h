// Main-thread checks for the headless UI layer.
//
// Every view, controller and control lives on the main thread (the thread bound by
// MainRunLoop::bindToCurrentThread). DK_ASSERT_MAIN_THREAD() aborts in debug builds when a UI
// object is touched from elsewhere; in release builds it costs nothing.
#pragma once

#include <cassert>

#include "platform/dispatch/queue.h"

namespace dk::platform {
// Runs `task` on the main queue after `seconds` of the current clock; at once on the next turn
// when there is nothing to wait for (a zero delay must not wait for a manual clock to move).
inline void runOnMainAfter(double seconds, Task task) {
  if (seconds > 0) {
    DispatchQueue::main()->after(seconds, std::move(task));
  } else {
    DispatchQueue::main()->async(std::move(task));
  }
}
}  // namespace dk::platform

#ifndef NDEBUG
#define DK_ASSERT_MAIN_THREAD() assert(::dk::platform::isMainThread() && "UI object used off the main thread")
#else
#define DK_ASSERT_MAIN_THREAD() ((void)0)
#endif

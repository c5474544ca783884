// Timers on the current clock: one-shot or repeating, firing onto a queue.
//
// A timer holds its task until it fires (one-shot) or is invalidated. Invalidating from any thread
// guarantees no later firing starts; like MSWeakTimer, the owner keeps the Timer and drops it to
// stop it (destruction invalidates). Thread-safe.
#pragma once

#include <memory>

#include "platform/dispatch/queue.h"

namespace dk::platform {

class Timer {
 public:
  // Fires `task` on `queue` after `interval` seconds, and every `interval` after when `repeats`.
  static std::shared_ptr<Timer> scheduled(double interval, bool repeats, QueuePtr queue, Task task);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void invalidate();
  bool isValid() const;
  double interval() const;
  // Moves the next firing to now + interval (without firing).
  void reschedule();

  struct State;

 private:
  explicit Timer(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;
};

namespace detail {
// Posts every timer entry that is due on the current clock (ManualClock::advance calls it).
void fireDueTimers();
// Schedules a one-shot entry: used by DispatchQueue::after.
void scheduleAfter(double seconds, QueuePtr queue, Task task);
}  // namespace detail

}  // namespace dk::platform

// Installs a ManualClock for one test and restores the system clock afterwards.
#pragma once

#include <memory>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"

namespace dk::test {

class ManualClockScope {
 public:
  explicit ManualClockScope(double start = 1700000000.0)
      : clock_(std::make_shared<platform::ManualClock>(start)) {
    platform::setClock(clock_);
  }
  ~ManualClockScope() {
    platform::MainRunLoop::runUntilIdle();
    platform::setClock(nullptr);
  }
  platform::ManualClock& clock() { return *clock_; }
  // Moves time forward and runs whatever became due.
  void advance(double seconds) {
    clock_->advance(seconds);
    platform::MainRunLoop::runUntilIdle();
  }

 private:
  std::shared_ptr<platform::ManualClock> clock_;
};

}  // namespace dk::test

// KLPlayerTimer: a restartable timer firing on the main queue at a target held weakly (the
// timer never keeps its owner alive; a firing after the target has gone does nothing). The view
// model ticks with it and the control overlay hides itself with it.
//
// An interval that is not a finite number above zero is refused (setInterval leaves the timer
// as it was), since a zero period would fire without pause.
//
// Main thread only.
#pragma once

#include <functional>
#include <memory>

#include "platform/dispatch/timer.h"

namespace dk {

class KLPlayerTimer {
 public:
  // initWithTarget:selector:interval:repeats: stores the four; the timer is stopped until
  // restartTimer or setInterval.
  template <class Target>
  static std::shared_ptr<KLPlayerTimer> initWithTarget(const std::shared_ptr<Target>& target, void (Target::*selector)(),
                                                       double interval, bool repeats) {
    std::weak_ptr<Target> weak = target;
    return std::shared_ptr<KLPlayerTimer>(new KLPlayerTimer(
        [weak, selector] {
          if (auto strong = weak.lock()) ((*strong).*selector)();
        },
        interval, repeats));
  }
  ~KLPlayerTimer();
  KLPlayerTimer(const KLPlayerTimer&) = delete;
  KLPlayerTimer& operator=(const KLPlayerTimer&) = delete;

  static bool isUsableInterval(double seconds);

  double interval() const { return interval_; }
  bool repeats() const { return repeats_; }
  bool isRunning() const { return timer_ != nullptr && timer_->isValid(); }

  // Stores the interval and restarts the timer; an unusable interval is refused.
  void setInterval(double seconds);
  // stopTimer, then fireTimer: a fresh full period starting now.
  void restartTimer();
  void stopTimer();
  void fireTimer();

 private:
  KLPlayerTimer(std::function<void()> fire, double interval, bool repeats);
  std::function<void()> fire_;
  double interval_;
  bool repeats_;
  std::shared_ptr<platform::Timer> timer_;
};

}  // namespace dk

#include "player/kl_player_timer.h"

#include <cmath>

#include "platform/dispatch/queue.h"

namespace dk {

KLPlayerTimer::KLPlayerTimer(std::function<void()> fire, double interval, bool repeats)
    : fire_(std::move(fire)), interval_(interval), repeats_(repeats) {}

KLPlayerTimer::~KLPlayerTimer() { stopTimer(); }

bool KLPlayerTimer::isUsableInterval(double seconds) { return std::isfinite(seconds) && seconds > 0; }

void KLPlayerTimer::setInterval(double seconds) {
  if (!isUsableInterval(seconds)) return;
  interval_ = seconds;
  restartTimer();
}

void KLPlayerTimer::restartTimer() {
  stopTimer();
  fireTimer();
}

void KLPlayerTimer::stopTimer() {
  if (timer_) timer_->invalidate();
  timer_.reset();
}

void KLPlayerTimer::fireTimer() {
  if (!isUsableInterval(interval_)) return;
  timer_ = platform::Timer::scheduled(interval_, repeats_, platform::DispatchQueue::main(), fire_);
}

}  // namespace dk

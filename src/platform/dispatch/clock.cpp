#include "platform/dispatch/clock.h"

#include <chrono>

#include "platform/dispatch/timer.h"

namespace dk::platform {

double SystemClock::now() const {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

void ManualClock::advance(double seconds) {
  double current = now_.load(std::memory_order_acquire);
  while (!now_.compare_exchange_weak(current, current + seconds, std::memory_order_acq_rel)) {
  }
  detail::fireDueTimers();
}

void ManualClock::set(double seconds) {
  now_.store(seconds, std::memory_order_release);
  detail::fireDueTimers();
}

namespace {
std::mutex& clockMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
std::shared_ptr<Clock>& clockSlot() {
  static auto* slot = new std::shared_ptr<Clock>(std::make_shared<SystemClock>());
  return *slot;
}
// The hot path reads a raw pointer; replaced clocks are kept alive for the life of the process
// because readers on other threads may still hold them.
std::atomic<Clock*> gClock{nullptr};
}  // namespace

std::shared_ptr<Clock> currentClock() {
  std::lock_guard<std::mutex> lock(clockMutex());
  return clockSlot();
}

Clock& clock() {
  Clock* c = gClock.load(std::memory_order_acquire);
  if (c) return *c;
  std::lock_guard<std::mutex> lock(clockMutex());
  gClock.store(clockSlot().get(), std::memory_order_release);
  return *clockSlot();
}

void setClock(std::shared_ptr<Clock> newClock) {
  if (!newClock) newClock = std::make_shared<SystemClock>();
  {
    std::lock_guard<std::mutex> lock(clockMutex());
    static auto* retired = new std::vector<std::shared_ptr<Clock>>;
    retired->push_back(clockSlot());
    clockSlot() = std::move(newClock);
    gClock.store(clockSlot().get(), std::memory_order_release);
  }
  detail::fireDueTimers();
}

double now() { return clock().now(); }

}  // namespace dk::platform

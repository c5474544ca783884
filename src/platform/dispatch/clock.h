// The injectable clock every timer, delay, animation and "now" reads.
//
// Times are seconds since 1970 as doubles. The process has one current clock: the system clock by
// default; tests install a ManualClock and move time forward explicitly. Thread-safe.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace dk::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970.
  virtual double now() const = 0;
  // True when time only moves when someone advances it (timers must then not wait on real time).
  virtual bool isManual() const { return false; }
};

class SystemClock final : public Clock {
 public:
  double now() const override;
};

// Time stands still until advance() or set(); advancing fires every timer that became due, on the
// advancing thread, before it returns (the fired work is posted to its queue, not run inline).
class ManualClock final : public Clock {
 public:
  explicit ManualClock(double start = 1700000000.0) : now_(start) {}
  double now() const override { return now_.load(std::memory_order_acquire); }
  bool isManual() const override { return true; }
  void advance(double seconds);
  void set(double seconds);

 private:
  std::atomic<double> now_;
};

// The process-wide current clock. setClock(nullptr) restores the system clock.
Clock& clock();
std::shared_ptr<Clock> currentClock();
void setClock(std::shared_ptr<Clock> clock);
// Shorthand for clock().now().
double now();

}  // namespace dk::platform

// Guarded<T>: one value read and replaced under its own lock — the shape of the process-wide
// settings and hooks that any thread may read while the host or a test replaces them.
//
// get() returns a copy, so a reader never holds the lock while it uses the value. Thread-safe.
// Process-wide instances are created with `new` and never destroyed, so that threads still
// running at exit never see a destroyed lock.
#pragma once

#include <mutex>
#include <utility>

namespace dk::platform {

template <typename T>
class Guarded {
 public:
  Guarded() = default;
  explicit Guarded(T value) : value_(std::move(value)) {}

  T get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
  }
  void set(T value) {
    T old;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      old = std::exchange(value_, std::move(value));
    }
  }

 private:
  mutable std::mutex mutex_;
  T value_{};
};

}  // namespace dk::platform

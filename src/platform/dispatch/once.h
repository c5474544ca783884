// Once-initialisation and the lazily created process-wide instances ("sharedInstance").
//
// SharedInstance<T> creates its object once, thread-safely, on first use; reset() lets tests drop
// it between cases (never called by the framework itself).
#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace dk::platform {

template <typename T>
class SharedInstance {
 public:
  explicit SharedInstance(std::function<std::shared_ptr<T>()> factory = [] { return std::make_shared<T>(); })
      : factory_(std::move(factory)) {}

  std::shared_ptr<T> get() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!instance_) instance_ = factory_();
    return instance_;
  }
  // Drops the instance; the next get() makes a new one. For tests.
  void reset() {
    std::shared_ptr<T> old;
    std::lock_guard<std::mutex> lock(mutex_);
    old.swap(instance_);
  }

 private:
  std::mutex mutex_;
  std::function<std::shared_ptr<T>()> factory_;
  std::shared_ptr<T> instance_;
};

}  // namespace dk::platform

#include "platform/dispatch/sync.h"

#include <chrono>

namespace dk::platform {

void DispatchSemaphore::signal() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++value_;
  }
  cv_.notify_one();
}

void DispatchSemaphore::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (value_ <= 0) {
    detail::BlockingScope blocking;
    cv_.wait(lock, [this] { return value_ > 0; });
  }
  --value_;
}

bool DispatchSemaphore::waitFor(double seconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (value_ <= 0) {
    detail::BlockingScope blocking;
    if (!cv_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return value_ > 0; })) return false;
  }
  --value_;
  return true;
}

void DispatchGroup::enter() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++count_;
}

void DispatchGroup::leave() {
  std::vector<std::pair<QueuePtr, Task>> ready;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--count_ > 0) return;
    count_ = 0;
    ready.swap(notifications_);
  }
  cv_.notify_all();
  for (auto& [queue, task] : ready) queue->async(std::move(task));
}

void DispatchGroup::notify(QueuePtr queue, Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ > 0) {
      notifications_.emplace_back(std::move(queue), std::move(task));
      return;
    }
  }
  queue->async(std::move(task));
}

void DispatchGroup::async(const QueuePtr& queue, Task task) {
  enter();
  queue->async([self = shared_from_this(), task = std::move(task)] {
    task();
    self->leave();
  });
}

void DispatchGroup::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (count_ > 0) {
    detail::BlockingScope blocking;
    cv_.wait(lock, [this] { return count_ <= 0; });
  }
}

bool DispatchGroup::waitFor(double seconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (count_ <= 0) return true;
  detail::BlockingScope blocking;
  return cv_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return count_ <= 0; });
}

}  // namespace dk::platform

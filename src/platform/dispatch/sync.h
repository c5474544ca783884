// Groups, semaphores and once-initialisation (dispatch_group, dispatch_semaphore, dispatch_once).
// Thread-safe. Waiting marks the calling worker as blocked so the pool can grow around it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dispatch/queue.h"

namespace dk::platform {

class DispatchSemaphore {
 public:
  explicit DispatchSemaphore(long value = 0) : value_(value) {}
  void signal();
  // Waits until the count is positive, then takes one.
  void wait();
  // Waits at most `seconds` of real time; false on time-out.
  bool waitFor(double seconds);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  long value_;
};

class DispatchGroup : public std::enable_shared_from_this<DispatchGroup> {
 public:
  static std::shared_ptr<DispatchGroup> create() { return std::shared_ptr<DispatchGroup>(new DispatchGroup); }
  void enter();
  void leave();
  // Runs task on queue once the group is empty (at once when it is empty now).
  void notify(QueuePtr queue, Task task);
  // Posts task to queue inside the group.
  void async(const QueuePtr& queue, Task task);
  void wait();
  bool waitFor(double seconds);

 private:
  DispatchGroup() = default;
  std::mutex mutex_;
  std::condition_variable cv_;
  long count_ = 0;
  std::vector<std::pair<QueuePtr, Task>> notifications_;
};

namespace detail {
// RAII marker for a pool thread that is about to block (lets the pool add a worker).
class BlockingScope {
 public:
  BlockingScope();
  ~BlockingScope();
};
}  // namespace detail

}  // namespace dk::platform

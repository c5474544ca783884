// Internals shared by the dispatch sources: the worker pool and the idle bookkeeping that the
// main run loop waits on. Not part of the platform's interface.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/dispatch/queue.h"

namespace dk::platform::detail {

// Everything runUntilIdle looks at; any change notifies `cv`.
struct IdleHub {
  std::mutex mutex;
  std::condition_variable cv;
  std::atomic<long> poolBusy{0};   // tasks queued on or running in the worker pool
  std::atomic<long> activities{0}; // ActivityToken instances alive
  void changed() {
    { std::lock_guard<std::mutex> lock(mutex); }
    cv.notify_all();
  }
};
IdleHub& idleHub();

class WorkerPool {
 public:
  static WorkerPool& shared();
  void submit(Task task);
  void markBlocked();
  void markUnblocked();

 private:
  WorkerPool();
  void spawnLocked();
  void workerLoop();

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Task> tasks_;
  int threads_ = 0;
  int idle_ = 0;
  int blocked_ = 0;
  int concurrency_;
};

// Marks the queue whose task runs on this thread for the scope's lifetime.
class CurrentQueueScope {
 public:
  explicit CurrentQueueScope(DispatchQueue* queue);
  ~CurrentQueueScope();

 private:
  DispatchQueue* previous_;
};

bool mainQueueEmpty();
bool isWorkerThread();

}  // namespace dk::platform::detail

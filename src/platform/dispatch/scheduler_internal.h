// Internals shared by the dispatch sources: the worker pool and the idle bookkeeping that the
// main run loop waits on. Not part of the platform's interface.
#pragma once

#include <atomic>
#include <cstdint>
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

// Threads grow while tasks wait and every worker is busy or blocked (up to 512), and a worker
// beyond `concurrency_` that has had nothing to do for kIdleExitSeconds exits, so a burst of
// blocking waits does not keep hundreds of threads for the life of the process.
class WorkerPool {
 public:
  static constexpr double kIdleExitSeconds = 20.0;

  static WorkerPool& shared();
  void submit(Task task);
  void markBlocked();
  void markUnblocked();

  int threadCount();
  int minimumThreads() const { return concurrency_; }
  // Test hook: every idle worker beyond the minimum exits now, as if its idle time had run out;
  // returns once each idle worker has looked.
  void exitIdleWorkersNow();

 private:
  WorkerPool();
  void spawnLocked();
  void workerLoop();

  std::mutex mutex_;
  std::condition_variable cv_;
  std::condition_variable lookedCv_;
  std::deque<Task> tasks_;
  int threads_ = 0;
  int idle_ = 0;
  int blocked_ = 0;
  int concurrency_;
  uint64_t exitRequest_ = 0;  // bumped by exitIdleWorkersNow
  int yetToLook_ = 0;         // idle workers that have not seen the latest request
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

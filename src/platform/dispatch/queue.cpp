#include "platform/dispatch/queue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/dispatch/scheduler_internal.h"
#include "platform/dispatch/sync.h"
#include "platform/dispatch/timer.h"

namespace dk::platform {
namespace detail {
namespace {
thread_local DispatchQueue* tCurrentQueue = nullptr;
thread_local bool tIsWorker = false;
}  // namespace

IdleHub& idleHub() {
  static IdleHub* hub = new IdleHub;  // never destroyed: workers may outlive static destruction
  return *hub;
}

CurrentQueueScope::CurrentQueueScope(DispatchQueue* queue) : previous_(tCurrentQueue) { tCurrentQueue = queue; }
CurrentQueueScope::~CurrentQueueScope() { tCurrentQueue = previous_; }

bool isWorkerThread() { return tIsWorker; }

WorkerPool& WorkerPool::shared() {
  static WorkerPool* pool = new WorkerPool;
  return *pool;
}

WorkerPool::WorkerPool() : concurrency_(std::max(4u, std::thread::hardware_concurrency())) {}

void WorkerPool::submit(Task task) {
  idleHub().poolBusy.fetch_add(1);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    // Grow when no idle worker can take it and fewer than `concurrency_` workers are unblocked.
    if (idle_ < static_cast<int>(tasks_.size()) && threads_ - blocked_ < concurrency_ && threads_ < 512) {
      spawnLocked();
    }
  }
  cv_.notify_one();
}

void WorkerPool::spawnLocked() {
  ++threads_;
  std::thread([this] { workerLoop(); }).detach();
}

void WorkerPool::markBlocked() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++blocked_;
  if (!tasks_.empty() && idle_ == 0 && threads_ - blocked_ < concurrency_ && threads_ < 512) spawnLocked();
}

void WorkerPool::markUnblocked() {
  std::lock_guard<std::mutex> lock(mutex_);
  --blocked_;
}

int WorkerPool::threadCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return threads_;
}

void WorkerPool::exitIdleWorkersNow() {
  std::unique_lock<std::mutex> lock(mutex_);
  ++exitRequest_;
  yetToLook_ = idle_;
  cv_.notify_all();
  lookedCv_.wait(lock, [this] { return yetToLook_ <= 0; });
}

void WorkerPool::workerLoop() {
  tIsWorker = true;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    const uint64_t request = exitRequest_;
    const bool woken = cv_.wait_for(lock, std::chrono::duration<double>(kIdleExitSeconds),
                                    [&] { return !tasks_.empty() || exitRequest_ != request; });
    --idle_;
    const bool asked = exitRequest_ != request;
    if (asked && --yetToLook_ <= 0) lookedCv_.notify_all();
    if (tasks_.empty()) {
      if ((!woken || asked) && threads_ > concurrency_) {
        --threads_;
        return;
      }
      continue;
    }
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    task = nullptr;  // release captures before reporting idle
    if (idleHub().poolBusy.fetch_sub(1) == 1) idleHub().changed();
    lock.lock();
  }
}

BlockingScope::BlockingScope() {
  if (tIsWorker) WorkerPool::shared().markBlocked();
}
BlockingScope::~BlockingScope() {
  if (tIsWorker) WorkerPool::shared().markUnblocked();
}

}  // namespace detail

namespace {

using detail::CurrentQueueScope;
using detail::WorkerPool;

class SerialQueue final : public DispatchQueue {
 public:
  explicit SerialQueue(std::string label) : DispatchQueue(std::move(label), Kind::Serial) {}

  void async(Task task) override {
    bool schedule = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
      if (!scheduled_) scheduled_ = schedule = true;
    }
    if (schedule) scheduleDrain();
  }

 private:
  void scheduleDrain() {
    WorkerPool::shared().submit([self = std::static_pointer_cast<SerialQueue>(shared_from_this())] { self->drain(); });
  }

  void drain() {
    CurrentQueueScope scope(this);
    // Run a bounded batch, then yield the worker so one busy queue cannot starve the others.
    for (int i = 0; i < 64; ++i) {
      Task task;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (tasks_.empty()) {
          scheduled_ = false;
          return;
        }
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
    scheduleDrain();
  }

  std::mutex mutex_;
  std::deque<Task> tasks_;
  bool scheduled_ = false;
};

class ConcurrentQueue final : public DispatchQueue {
 public:
  explicit ConcurrentQueue(std::string label) : DispatchQueue(std::move(label), Kind::Concurrent) {}
  void async(Task task) override {
    WorkerPool::shared().submit([self = shared_from_this(), task = std::move(task)] {
      CurrentQueueScope scope(self.get());
      task();
    });
  }
};

std::atomic<std::thread::id>& mainThreadId() {
  static std::atomic<std::thread::id> id{std::this_thread::get_id()};
  return id;
}
// Static initialisation runs on the thread that runs main().
[[maybe_unused]] const bool kMainBound = (mainThreadId().load(), true);

class MainQueue final : public DispatchQueue {
 public:
  MainQueue() : DispatchQueue("com.apple.main-thread", Kind::Main) {}
  void async(Task task) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    detail::idleHub().changed();
  }
  bool empty() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.empty();
  }
  int runPending() {
    std::deque<Task> batch;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      batch.swap(tasks_);
    }
    CurrentQueueScope scope(this);
    int count = 0;
    while (!batch.empty()) {
      Task task = std::move(batch.front());
      batch.pop_front();
      task();
      ++count;
    }
    return count;
  }

 private:
  std::mutex mutex_;
  std::deque<Task> tasks_;
};

MainQueue& mainQueueImpl() {
  static std::shared_ptr<MainQueue>* queue = new std::shared_ptr<MainQueue>(std::make_shared<MainQueue>());
  return **queue;
}

std::atomic<bool> gStopRequested{false};

}  // namespace

namespace detail {
bool mainQueueEmpty() { return mainQueueImpl().empty(); }
}  // namespace detail

std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(std::string label) {
  return std::make_shared<SerialQueue>(std::move(label));
}

std::shared_ptr<DispatchQueue> DispatchQueue::createConcurrent(std::string label) {
  return std::make_shared<ConcurrentQueue>(std::move(label));
}

std::shared_ptr<DispatchQueue> DispatchQueue::main() { return mainQueueImpl().shared_from_this(); }

std::shared_ptr<DispatchQueue> DispatchQueue::global() {
  static QueuePtr* queue = new QueuePtr(createConcurrent("com.apple.root.default-qos"));
  return *queue;
}

DispatchQueue* DispatchQueue::current() {
  if (detail::tCurrentQueue) return detail::tCurrentQueue;
  return isMainThread() ? &mainQueueImpl() : nullptr;
}

bool DispatchQueue::isCurrent() const {
  if (kind_ == Kind::Main) return isMainThread();
  return detail::tCurrentQueue == this;
}

void DispatchQueue::sync(const Task& task) {
  if (isCurrent() || kind_ == Kind::Concurrent) {
    // Inline: either we are on this queue already, or the queue has no ordering to respect.
    detail::CurrentQueueScope scope(this);
    task();
    return;
  }
  std::promise<void> done;
  auto future = done.get_future();
  async([&task, &done] {
    task();
    done.set_value();
  });
  detail::BlockingScope blocking;
  future.wait();
}

void DispatchQueue::after(double seconds, Task task) {
  detail::scheduleAfter(seconds, shared_from_this(), std::move(task));
}

void runOnMain(Task task) {
  if (isMainThread()) {
    task();
  } else {
    DispatchQueue::main()->async(std::move(task));
  }
}

bool isMainThread() { return std::this_thread::get_id() == mainThreadId().load(); }

// ---- MainRunLoop ----

void MainRunLoop::bindToCurrentThread() { mainThreadId().store(std::this_thread::get_id()); }

int MainRunLoop::runPending() { return mainQueueImpl().runPending(); }

namespace {
bool systemIdle() {
  auto& hub = detail::idleHub();
  return hub.poolBusy.load() == 0 && hub.activities.load() == 0 && mainQueueImpl().empty();
}

std::atomic<double> gStallRate{0};
std::atomic<double> gStallAfterWall{0};
// Real seconds runUntil has spent waiting on outside work since it last saw the system idle.
std::atomic<double> gWaitedSinceIdle{0};

std::mutex& wallTimeMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}
std::function<double()>& wallTimeSource() {
  static auto* source = new std::function<double()>;
  return *source;
}
double wallSeconds() {
  std::function<double()> source;
  {
    std::lock_guard<std::mutex> lock(wallTimeMutex());
    source = wallTimeSource();
  }
  if (source) return source();
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Called after a wait that ended with nothing to run: once the wait on outside work has lasted
// long enough, the manual clock moves on in proportion to the real time waited (never with the
// mutex of the idle hub held: the timers that fall due post to the main queue, which takes it).
void stepStalledClock(double waited) {
  const double rate = gStallRate.load();
  if (rate <= 0 || waited <= 0) return;
  const double total = gWaitedSinceIdle.load() + waited;
  gWaitedSinceIdle.store(total);
  const double threshold = gStallAfterWall.load();
  if (total <= threshold) return;
  // Only the part of this wait past the threshold counts.
  const double counted = std::min(waited, total - threshold);
  if (auto* manual = dynamic_cast<ManualClock*>(&clock())) manual->advance(counted * rate);
}
}  // namespace

void MainRunLoop::setClockStepWhileWaiting(double rate, double afterWallSeconds) {
  gStallAfterWall.store(afterWallSeconds > 0 ? afterWallSeconds : 0);
  gWaitedSinceIdle.store(0);
  gStallRate.store(rate > 0 ? rate : 0);
}

void MainRunLoop::setWallTimeForClockStep(std::function<double()> wallSeconds) {
  std::lock_guard<std::mutex> lock(wallTimeMutex());
  wallTimeSource() = std::move(wallSeconds);
}

bool MainRunLoop::runUntil(const std::function<bool()>& pred, double maxWallSeconds) {
  auto& hub = detail::idleHub();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(maxWallSeconds);
  for (;;) {
    const int ran = runPending();
    if (pred && pred()) return true;
    if (ran == 0) {
      std::unique_lock<std::mutex> lock(hub.mutex);
      if (systemIdle()) {
        lock.unlock();
        // Idle twice in a row (nothing slipped in between the checks) means really idle.
        if (runPending() == 0 && systemIdle()) {
          gWaitedSinceIdle.store(0);
          return pred ? pred() : true;
        }
        continue;
      }
      const bool stepping = gStallRate.load() > 0;
      double waitStart = 0;
      if (stepping) {
        // Read outside the hub's mutex: a test's source of real time may end outside work.
        lock.unlock();
        waitStart = wallSeconds();
        lock.lock();
        if (systemIdle() || !mainQueueImpl().empty()) continue;
      }
      hub.cv.wait_for(lock, std::chrono::milliseconds(5));
      lock.unlock();
      if (stepping && mainQueueImpl().empty()) stepStalledClock(wallSeconds() - waitStart);
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
  }
}

bool MainRunLoop::runUntilIdle(double maxWallSeconds) { return runUntil(nullptr, maxWallSeconds); }

void MainRunLoop::run() {
  auto& hub = detail::idleHub();
  gStopRequested = false;
  while (!gStopRequested.load()) {
    if (runPending() == 0) {
      std::unique_lock<std::mutex> lock(hub.mutex);
      if (mainQueueImpl().empty() && !gStopRequested.load()) hub.cv.wait_for(lock, std::chrono::milliseconds(50));
    }
  }
}

void MainRunLoop::stop() {
  gStopRequested = true;
  detail::idleHub().changed();
}

ActivityToken::ActivityToken() { detail::idleHub().activities.fetch_add(1); }
ActivityToken::~ActivityToken() {
  detail::idleHub().activities.fetch_sub(1);
  detail::idleHub().changed();
}

}  // namespace dk::platform

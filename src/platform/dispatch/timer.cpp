#include "platform/dispatch/timer.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "platform/dispatch/clock.h"

namespace dk::platform {

struct Timer::State {
  std::mutex mutex;
  bool valid = true;
  bool repeats = false;
  double interval = 0;
  uint64_t generation = 0;  // bumped by reschedule so stale heap entries are ignored
  QueuePtr queue;
  Task task;
};

namespace detail {
namespace {

struct Entry {
  double deadline;
  uint64_t sequence;
  uint64_t generation;
  std::shared_ptr<Timer::State> state;
  bool operator>(const Entry& other) const {
    return deadline != other.deadline ? deadline > other.deadline : sequence > other.sequence;
  }
};

// One thread waits for the earliest deadline on the system clock; with a manual clock it only
// sleeps, and ManualClock::advance fires due entries itself.
class TimerService {
 public:
  static TimerService& shared() {
    static TimerService* service = new TimerService;
    return *service;
  }

  void add(double deadline, uint64_t generation, std::shared_ptr<Timer::State> state) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      heap_.push(Entry{deadline, ++sequence_, generation, std::move(state)});
      if (!started_) {
        started_ = true;
        std::thread([this] { loop(); }).detach();
      }
    }
    cv_.notify_all();
  }

  void fireDue() {
    std::vector<Entry> due;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const double now = clock().now();
      while (!heap_.empty() && heap_.top().deadline <= now) {
        due.push_back(heap_.top());
        heap_.pop();
      }
    }
    for (auto& entry : due) fire(entry);
    cv_.notify_all();
  }

 private:
  void fire(const Entry& entry) {
    auto& state = entry.state;
    QueuePtr queue;
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      if (!state->valid || state->generation != entry.generation) return;
      queue = state->queue;
      if (state->repeats) {
        // Missed firings are coalesced into one, as a run-loop timer does.
        const double now = clock().now();
        double next = entry.deadline + state->interval;
        if (next <= now) next = now + state->interval - std::fmod(now - entry.deadline, state->interval);
        if (next <= now) next = now + state->interval;
        add(next, entry.generation, state);
      }
    }
    queue->async([state] {
      Task task;
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        if (!state->valid) return;
        task = state->task;
        if (!state->repeats) {
          state->valid = false;
          state->task = nullptr;
        }
      }
      if (task) task();
    });
  }

  void loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (heap_.empty() || clock().isManual()) {
        cv_.wait_for(lock, std::chrono::milliseconds(200));
      } else {
        const double wait = heap_.top().deadline - clock().now();
        if (wait > 0) cv_.wait_for(lock, std::chrono::duration<double>(std::min(wait, 0.2)));
      }
      if (clock().isManual()) continue;
      lock.unlock();
      fireDue();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap_;
  uint64_t sequence_ = 0;
  bool started_ = false;
};

}  // namespace

void fireDueTimers() { TimerService::shared().fireDue(); }

void scheduleAfter(double seconds, QueuePtr queue, Task task) {
  auto state = std::make_shared<Timer::State>();
  state->queue = std::move(queue);
  state->task = std::move(task);
  TimerService::shared().add(clock().now() + std::max(0.0, seconds), 0, std::move(state));
}

}  // namespace detail

std::shared_ptr<Timer> Timer::scheduled(double interval, bool repeats, QueuePtr queue, Task task) {
  auto state = std::make_shared<State>();
  state->interval = std::max(interval, repeats ? 1e-4 : 0.0);
  state->repeats = repeats;
  state->queue = std::move(queue);
  state->task = std::move(task);
  detail::TimerService::shared().add(clock().now() + state->interval, 0, state);
  return std::shared_ptr<Timer>(new Timer(std::move(state)));
}

Timer::~Timer() { invalidate(); }

void Timer::invalidate() {
  Task dropped;
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->valid = false;
  dropped = std::move(state_->task);
}

bool Timer::isValid() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->valid;
}

double Timer::interval() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->interval;
}

void Timer::reschedule() {
  uint64_t generation;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->valid) return;
    generation = ++state_->generation;
  }
  detail::TimerService::shared().add(clock().now() + state_->interval, generation, state_);
}

}  // namespace dk::platform

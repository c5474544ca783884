#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_loop.h"
#include "platform/dispatch/sync.h"
#include "platform/dispatch/timer.h"
#include "support/manual_clock.h"

namespace dk::platform {
namespace {

TEST(DispatchQueue, SerialQueueRunsTasksInOrderOneAtATime) {
  auto queue = DispatchQueue::createSerial("com.kelo.test.serial");
  std::vector<int> seen;  // touched only on the queue: a race here is what TSan would report
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  for (int i = 0; i < 1000; ++i) {
    queue->async([&, i] {
      if (running.fetch_add(1) != 0) overlapped = true;
      seen.push_back(i);
      running.fetch_sub(1);
    });
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  queue->sync([] {});
  EXPECT_FALSE(overlapped);
  ASSERT_EQ(seen.size(), 1000u);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(seen[i], i);
}

TEST(DispatchQueue, SyncOntoTheCurrentQueueRunsInline) {
  auto queue = DispatchQueue::createSerial("com.kelo.test.reentrant");
  bool innerRan = false;
  queue->sync([&] {
    EXPECT_TRUE(queue->isCurrent());
    queue->sync([&] { innerRan = true; });
  });
  EXPECT_TRUE(innerRan);
  EXPECT_FALSE(queue->isCurrent());
}

TEST(DispatchQueue, MainQueueWorkRunsOnlyWhenPumped) {
  bool ran = false;
  auto worker = DispatchQueue::createSerial("com.kelo.test.poster");
  worker->async([&] { DispatchQueue::main()->async([&] { ran = isMainThread(); }); });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(ran);
}

TEST(DispatchQueue, SyncToMainFromAWorkerCompletesWhileTheLoopIsPumped) {
  std::atomic<int> value{0};
  DispatchQueue::global()->async([&] { DispatchQueue::main()->sync([&] { value = 7; }); value += 1; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(value.load(), 8);
}

TEST(DispatchQueue, ManySerialQueuesBlockingOnEachOtherDoNotStarveThePool) {
  // Each task blocks on a semaphore that a later task signals: a fixed-size pool would deadlock.
  constexpr int kCount = 64;
  std::vector<std::shared_ptr<DispatchSemaphore>> sems;
  for (int i = 0; i < kCount; ++i) sems.push_back(std::make_shared<DispatchSemaphore>(0));
  std::atomic<int> done{0};
  for (int i = 0; i < kCount; ++i) {
    DispatchQueue::createSerial("q" + std::to_string(i))->async([&, i] {
      if (i + 1 < kCount) sems[i]->wait();
      done++;
      if (i > 0) sems[i - 1]->signal();
    });
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(done.load(), kCount);
}

TEST(DispatchGroup, NotifyRunsAfterEveryMemberLeft) {
  auto group = DispatchGroup::create();
  std::atomic<int> finished{0};
  int atNotify = -1;
  for (int i = 0; i < 10; ++i) group->async(DispatchQueue::global(), [&] { finished++; });
  group->notify(DispatchQueue::main(), [&] { atNotify = finished.load(); });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(atNotify, 10);
}

TEST(DispatchGroup, NotifyOnAnEmptyGroupRunsAtOnce) {
  auto group = DispatchGroup::create();
  bool ran = false;
  group->notify(DispatchQueue::main(), [&] { ran = true; });
  MainRunLoop::runUntilIdle();
  EXPECT_TRUE(ran);
}

TEST(Timers, AfterFiresOnlyWhenTheManualClockReachesTheDelay) {
  test::ManualClockScope time;
  int fired = 0;
  DispatchQueue::main()->after(2.0, [&] { fired++; });
  time.advance(1.9);
  EXPECT_EQ(fired, 0);
  time.advance(0.1);
  EXPECT_EQ(fired, 1);
  time.advance(10);
  EXPECT_EQ(fired, 1);
}

TEST(Timers, RepeatingTimerTicksOncePerIntervalAndStopsWhenInvalidated) {
  test::ManualClockScope time;
  int ticks = 0;
  auto timer = Timer::scheduled(1.0, true, DispatchQueue::main(), [&] { ticks++; });
  for (int i = 0; i < 5; ++i) time.advance(1.0);
  EXPECT_EQ(ticks, 5);
  // A long jump coalesces the missed firings into one, as a run-loop timer does.
  time.advance(10.0);
  EXPECT_EQ(ticks, 6);
  timer->invalidate();
  time.advance(5.0);
  EXPECT_EQ(ticks, 6);
  EXPECT_FALSE(timer->isValid());
}

TEST(Timers, DroppingTheTimerStopsIt) {
  test::ManualClockScope time;
  int ticks = 0;
  auto timer = Timer::scheduled(0.5, true, DispatchQueue::main(), [&] { ticks++; });
  time.advance(0.5);
  timer.reset();
  time.advance(5);
  EXPECT_EQ(ticks, 1);
}

TEST(Timers, InvalidatingAfterTheFiringWasQueuedStillSuppressesIt) {
  test::ManualClockScope time;
  int ticks = 0;
  auto timer = Timer::scheduled(1.0, false, DispatchQueue::main(), [&] { ticks++; });
  time.clock().advance(1.0);  // posted to the main queue, not yet run
  timer->invalidate();
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(ticks, 0);
}

TEST(Timers, RescheduleMovesTheNextFiring) {
  test::ManualClockScope time;
  int ticks = 0;
  auto timer = Timer::scheduled(3.0, false, DispatchQueue::main(), [&] { ticks++; });
  time.advance(2.0);
  timer->reschedule();
  time.advance(2.0);
  EXPECT_EQ(ticks, 0);
  time.advance(1.0);
  EXPECT_EQ(ticks, 1);
}

TEST(RunLoop, RunUntilIdleWaitsForActivityTokens) {
  std::atomic<bool> done{false};
  auto token = std::make_shared<ActivityToken>();
  std::thread([&, token]() mutable {
    DispatchQueue::main()->async([&] { done = true; });
    token.reset();
  }).detach();
  token.reset();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(done.load());
}

TEST(RunLoop, RunUntilStopsAtThePredicate) {
  int count = 0;
  for (int i = 0; i < 5; ++i) DispatchQueue::main()->async([&] { count++; });
  EXPECT_TRUE(MainRunLoop::runUntil([&] { return count >= 1; }));
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(count, 5);
}

// Real time as the run loop's clock stepping reads it, fed by the test: every reading is
// `perReading` seconds after the one before, as if each wait had lasted that long. `onReading` runs
// at each reading (on the main thread, inside runUntil). Stepping is off again when it goes.
class FedWallTime {
 public:
  explicit FedWallTime(double perReading) {
    MainRunLoop::setWallTimeForClockStep([this, perReading] {
      now_ += perReading;
      if (onReading) onReading();
      return now_;
    });
  }
  ~FedWallTime() {
    MainRunLoop::setClockStepWhileWaiting(0);
    MainRunLoop::setWallTimeForClockStep(nullptr);
  }
  double now() const { return now_; }
  std::function<void()> onReading;

 private:
  double now_ = 0;
};

// A call in flight whose deadline reads the manual clock: the token goes when the clock reaches the
// deadline, as a transfer ends when its time-out passes. However short the waits (an idle worker
// pool waits 5 ms, a busy one a fraction of that), the clock runs at most `rate` times real time.
TEST(RunLoop, AStepWhileWaitingMovesTheManualClockAtARateBoundByRealTime) {
  test::ManualClockScope clock(1000);
  struct Case {
    double rate;
    double afterWall;
    double wait;  // real seconds each wait lasts
    bool ends;
  } cases[] = {
      {0, 0, 0.005, false},       // the default: time stands still, the wait lasts until the guard
      {100, 3600, 0.005, false},  // the loop has not waited long enough for time to move
      {100, 0, 0.005, true},      // an idle worker pool
      {100, 0, 0.0002, true},     // a pool task every 0.2 ms: many short waits
      {100, 0.5, 0.01, true},     // the first half second of waiting counts for nothing
      {400, 0, 0.003, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("rate " + std::to_string(c.rate) + " after " + std::to_string(c.afterWall) + " waits of " +
                 std::to_string(c.wait));
    FedWallTime wall(c.wait);
    const double start = clock.clock().now();
    auto token = std::make_shared<ActivityToken>();
    DispatchQueue::main()->after(2, [&token] { token.reset(); });
    MainRunLoop::setClockStepWhileWaiting(c.rate, c.afterWall);
    const bool ended = MainRunLoop::runUntilIdle(c.ends ? 30.0 : 0.2);
    const double moved = clock.clock().now() - start;
    MainRunLoop::setClockStepWhileWaiting(0);
    EXPECT_EQ(ended, c.ends);
    if (c.ends) {
      EXPECT_GE(moved, 2);
      EXPECT_LT(moved, 2 + c.rate * c.wait + 1e-9);  // it stops once the call is over
      // The bound: what moved is at most `rate` times the real time spent past the threshold.
      EXPECT_LE(moved, c.rate * (wall.now() - c.afterWall) + 1e-9);
    } else {
      EXPECT_EQ(moved, 0);
      clock.advance(2);
    }
    EXPECT_EQ(token, nullptr);
  }
  // Nothing outstanding: nothing to wait for, time stays.
  FedWallTime wall(0.005);
  MainRunLoop::setClockStepWhileWaiting(100, 0);
  const double before = clock.clock().now();
  EXPECT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(clock.clock().now(), before);
}

// The real time waited counts from the last moment the system was idle: a wait that ended before
// the threshold leaves nothing for the next one.
TEST(RunLoop, TheWaitBeforeTheClockStepsCountsAfreshOnceTheSystemWasIdle) {
  test::ManualClockScope clock(1000);
  const double afterWall = 1.0;
  FedWallTime wall(0.05);
  MainRunLoop::setClockStepWhileWaiting(100, afterWall);
  // A first call that ends after 0.75 s of waiting, short of the threshold: time stands still.
  auto first = std::make_shared<ActivityToken>();
  wall.onReading = [&] {
    if (wall.now() >= 1.5) first.reset();
  };
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(clock.clock().now(), 1000);
  // A second call: the clock stands still for its own whole threshold before it moves.
  const double secondStart = wall.now();
  double stillUntil = secondStart;
  wall.onReading = [&] {
    if (clock.clock().now() == 1000) stillUntil = wall.now();
  };
  auto second = std::make_shared<ActivityToken>();
  DispatchQueue::main()->after(2, [&second] { second.reset(); });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_GE(clock.clock().now(), 1002);
  EXPECT_GE(stillUntil - secondStart, afterWall);
}

}  // namespace
}  // namespace dk::platform

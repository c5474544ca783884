#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/guarded.h"
#include "platform/dispatch/once.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_loop.h"
#include "platform/dispatch/scheduler_internal.h"
#include "platform/dispatch/sync.h"

namespace dk::platform {
namespace {

TEST(DispatchSemaphore, SignalsCountAndWaitsTakeOneEach) {
  DispatchSemaphore semaphore(0);
  EXPECT_FALSE(semaphore.waitFor(0)) << "nothing signalled yet";
  semaphore.signal();
  semaphore.signal();
  EXPECT_TRUE(semaphore.waitFor(0));
  EXPECT_TRUE(semaphore.waitFor(0));
  EXPECT_FALSE(semaphore.waitFor(0)) << "two signals, two waits";

  // Producers on the pool, one consumer here: every signal is taken exactly once. (Shared, as a
  // producer may still be returning from signal() when the last wait returns.)
  auto shared = std::make_shared<DispatchSemaphore>(0);
  auto produced = std::make_shared<std::atomic<int>>(0);
  auto queue = DispatchQueue::createConcurrent("com.kelo.test.producers");
  for (int i = 0; i < 200; ++i) {
    queue->async([shared, produced] {
      (*produced)++;
      shared->signal();
    });
  }
  for (int i = 0; i < 200; ++i) shared->wait();
  EXPECT_EQ(produced->load(), 200);
  EXPECT_FALSE(shared->waitFor(0));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

TEST(DispatchSemaphore, WorkersBlockedOnItDoNotStarveThePool) {
  // More blocked waiters than the pool's minimum: the pool grows so the signaller still runs.
  auto gate = std::make_shared<DispatchSemaphore>(0), done = std::make_shared<DispatchSemaphore>(0);
  auto queue = DispatchQueue::createConcurrent("com.kelo.test.waiters");
  const int waiters = detail::WorkerPool::shared().minimumThreads() * 3;
  for (int i = 0; i < waiters; ++i) {
    queue->async([gate, done] {
      gate->wait();
      done->signal();
    });
  }
  queue->async([gate, waiters] {
    for (int i = 0; i < waiters; ++i) gate->signal();
  });
  for (int i = 0; i < waiters; ++i) done->wait();
  EXPECT_FALSE(done->waitFor(0));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

TEST(SharedInstance, ManyThreadsGetTheOneInstanceUntilReset) {
  std::atomic<int> made{0};
  SharedInstance<int> shared([&] {
    made++;
    return std::make_shared<int>(42);
  });
  std::vector<std::shared_ptr<int>> seen(16);
  std::vector<std::thread> threads;
  for (int t = 0; t < 16; ++t) threads.emplace_back([&, t] { seen[t] = shared.get(); });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(made.load(), 1);
  for (const auto& instance : seen) EXPECT_EQ(instance, seen.front());
  shared.reset();
  auto next = shared.get();
  EXPECT_NE(next, seen.front());
  EXPECT_EQ(made.load(), 2);
  EXPECT_EQ(*seen.front(), 42) << "holders of the old instance keep it";
}

TEST(Guarded, ReadersSeeWholeValuesWhileAWriterReplacesThem) {
  Guarded<std::string> value(std::string(64, 'a'));
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0}, reads{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (!stop.load() || reads.load() < 100) {
        const std::string s = value.get();
        if (s.size() != 64 || s.find_first_not_of(s.front()) != std::string::npos) torn++;
        reads++;
      }
    });
  }
  for (int i = 0; i < 2000; ++i) value.set(std::string(64, static_cast<char>('a' + i % 26)));
  stop = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(value.get(), std::string(64, static_cast<char>('a' + 1999 % 26)));
}

TEST(DispatchQueue, SyncOntoAConcurrentQueueWaitsForTheTaskAndNestsWithoutDeadlock) {
  auto queue = DispatchQueue::createConcurrent("com.kelo.test.concurrent.sync");
  std::atomic<int> ran{0};
  bool onQueue = false, nestedOnQueue = false;
  queue->sync([&] {
    onQueue = queue->isCurrent();
    ran++;
    queue->sync([&] {
      nestedOnQueue = queue->isCurrent();
      ran++;
    });
  });
  EXPECT_EQ(ran.load(), 2) << "sync returns only after the task ran";
  EXPECT_TRUE(onQueue);
  EXPECT_TRUE(nestedOnQueue);
  // Many threads syncing at once all get their own run.
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) queue->sync([&] { ran++; });
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(ran.load(), 2 + 8 * 50);
}

TEST(DispatchQueue, ABusySerialQueueYieldsSoOthersRunBeforeItDrains) {
  // Enough flooded queues to occupy every worker the pool keeps; each holds far more tasks than
  // one batch, so a fair pool runs the late single task long before the floods are done.
  const int floods = detail::WorkerPool::shared().minimumThreads() * 2;
  constexpr int kTasksPerFlood = 64 * 100;
  std::atomic<int> floodDone{0};
  std::vector<QueuePtr> queues;
  for (int q = 0; q < floods; ++q) {
    queues.push_back(DispatchQueue::createSerial("com.kelo.test.flood." + std::to_string(q)));
    for (int i = 0; i < kTasksPerFlood; ++i) queues.back()->async([&] { floodDone++; });
  }
  std::atomic<int> floodDoneWhenLateRan{-1};
  auto late = DispatchQueue::createSerial("com.kelo.test.late");
  late->async([&] { floodDoneWhenLateRan = floodDone.load(); });
  // Read once the late task is queued: a main thread held up before queueing it (a busy machine)
  // does not count the floods that ran meanwhile against the pool.
  const int floodDoneWhenLateQueued = floodDone.load();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(floodDone.load(), floods * kTasksPerFlood);
  ASSERT_GE(floodDoneWhenLateRan.load(), 0);
  // Ahead of the late queue's turn are at most one batch of 64 per flooded queue (and the ones
  // already running), not whatever the floods still held.
  const int remaining = floods * kTasksPerFlood - floodDoneWhenLateQueued;
  const int ranBefore = floodDoneWhenLateRan.load() - floodDoneWhenLateQueued;
  if (remaining > floods * 64 * 4) {
    EXPECT_LE(ranBefore, floods * 64 * 3) << "the late queue waited for the floods";
  }
}

TEST(WorkerPool, IdleWorkersBeyondTheMinimumExitAfterABurstOfBlockingWaits) {
  auto& pool = detail::WorkerPool::shared();
  DispatchSemaphore gate(0), started(0);
  auto queue = DispatchQueue::createConcurrent("com.kelo.test.burst");
  const int burst = pool.minimumThreads() + 40;
  for (int i = 0; i < burst; ++i) {
    queue->async([&] {
      started.signal();
      gate.wait();  // a blocking wait: the pool grows around it
    });
  }
  for (int i = 0; i < burst; ++i) started.wait();
  EXPECT_GE(pool.threadCount(), burst) << "every blocked task had its own thread";
  for (int i = 0; i < burst; ++i) gate.signal();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  // What the idle time-out does, without waiting for it.
  pool.exitIdleWorkersNow();
  EXPECT_LE(pool.threadCount(), pool.minimumThreads());
  // The pool still works, and grows again when it must.
  std::atomic<int> ran{0};
  for (int i = 0; i < 100; ++i) queue->async([&] { ran++; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(ran.load(), 100);
}

}  // namespace
}  // namespace dk::platform

// The main run loop: the main queue's tasks run here, on the thread that pumps it.
//
// The thread that first touches the main queue (or calls MainRunLoop::bindToCurrentThread) is the
// main thread. Tests pump it with runUntilIdle() instead of sleeping: it runs main-queue work until
// the main queue is empty, no worker task is queued or running, and no tracked activity (a network
// call in flight, ...) is outstanding. Timers waiting on a manual clock do not count as pending.
#pragma once

#include <functional>

namespace dk::platform {

class MainRunLoop {
 public:
  // Makes the calling thread the main thread (tests call it in set-up).
  static void bindToCurrentThread();

  // Runs main-queue work until everything is idle. Returns false when `maxWallSeconds` of real
  // time passed first (a guard against a hung test, not a timing device).
  static bool runUntilIdle(double maxWallSeconds = 30.0);
  // Runs main-queue work until pred() holds (checked after every task and whenever the system
  // goes idle). Returns false when it became idle without pred() holding, or on the guard.
  static bool runUntil(const std::function<bool()>& pred, double maxWallSeconds = 30.0);
  // Runs main-queue work one pass: every task queued when called. Returns the number run.
  static int runPending();
  // Runs forever (the demo host) until stop() is called from any thread.
  static void run();
  static void stop();

  // A manual clock stands still while runUntil waits on work outside the main thread, so a call in
  // flight whose deadline reads that clock keeps it waiting for ever against a peer that never
  // answers. With `rate` above 0, once runUntil has waited on outside work (a call in flight, a
  // worker task) for `afterWallSeconds` of real time since the system was last idle, the manual
  // clock moves on `rate` seconds for every further real second spent waiting with nothing to run
  // (what falls due fires). The bound is on real time, so it holds however many short waits a busy
  // worker pool makes. 0, the default, leaves every move of time to the caller.
  static void setClockStepWhileWaiting(double rate, double afterWallSeconds = 0);
  // Where the stepping above reads real time (seconds from any origin; nullptr: the steady clock).
  // Tests feed their own, so that how fast the machine runs plays no part.
  static void setWallTimeForClockStep(std::function<double()> wallSeconds);
};

// Outstanding work that runUntilIdle must wait for, such as a request on the network thread.
// Construct one when the work starts and destroy it when its completion has been posted.
class ActivityToken {
 public:
  ActivityToken();
  ~ActivityToken();
  ActivityToken(const ActivityToken&) = delete;
  ActivityToken& operator=(const ActivityToken&) = delete;
};

}  // namespace dk::platform

// Dispatch queues: where work is posted, in the manner of libdispatch.
//
// A serial queue is a strand over one shared, elastic worker pool (no thread per queue): its tasks
// run one at a time, in order. A concurrent queue runs its tasks on the pool as they come. The
// main queue is the run loop of the main thread (see run_loop.h). Queues keep the labels the
// system gives them. All operations are thread-safe; queues are shared_ptr-owned and stay alive
// while work is queued on them.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace dk::platform {

using Task = std::function<void()>;

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  enum class Kind { Serial, Concurrent, Main };

  static std::shared_ptr<DispatchQueue> createSerial(std::string label);
  static std::shared_ptr<DispatchQueue> createConcurrent(std::string label);
  // The main thread's queue (the run loop's).
  static std::shared_ptr<DispatchQueue> main();
  // The shared concurrent queue ("com.apple.root.default-qos" in spirit).
  static std::shared_ptr<DispatchQueue> global();
  // The queue whose task is running on this thread, or nullptr.
  static DispatchQueue* current();

  virtual ~DispatchQueue() = default;

  const std::string& label() const { return label_; }
  Kind kind() const { return kind_; }
  // True when the calling thread is running a task of this queue (for the main queue: is the
  // main thread).
  bool isCurrent() const;

  // Runs task later on this queue.
  virtual void async(Task task) = 0;
  // Runs task on this queue and waits for it. A call onto the queue the caller is already on runs
  // inline instead of deadlocking.
  void sync(const Task& task);
  // Runs task on this queue once `seconds` have passed on the current clock.
  void after(double seconds, Task task);

 protected:
  DispatchQueue(std::string label, Kind kind) : label_(std::move(label)), kind_(kind) {}

 private:
  std::string label_;
  Kind kind_;
};

using QueuePtr = std::shared_ptr<DispatchQueue>;

// Convenience: async onto the main queue, or run inline when already on the main thread.
void runOnMain(Task task);
bool isMainThread();

}  // namespace dk::platform

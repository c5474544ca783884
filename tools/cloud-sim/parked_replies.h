// Replies parked by "hold until released" faults, each with the work that sends it.
//
// Thread-safe. The resume work runs on the thread that calls release(), outside the lock; it
// only posts to the connection's own executor.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace dk::cloudsim::detail {

class ParkedReplies {
 public:
  void park(int tag, std::function<void()> resume);
  // Resumes the replies of one tag, or all for -1; returns how many.
  size_t release(int tag);
  size_t count() const;
  bool waitFor(size_t count, std::chrono::milliseconds timeout) const;
  // Forgets every parked reply without sending it (server shutdown).
  void clear();

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::pair<int, std::function<void()>>> parked_;
};

}  // namespace dk::cloudsim::detail

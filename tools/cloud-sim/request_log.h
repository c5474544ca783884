// The log of every request a simulator received, in arrival order.
//
// Thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "cloud-sim/cloud_sim.h"

namespace dk::cloudsim::detail {

class RequestLog {
 public:
  void append(RecordedRequest request);
  std::vector<RecordedRequest> all() const;
  size_t count() const;
  void clear();
  bool waitFor(size_t count, std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  uint64_t nextSequence_ = 1;
  std::vector<RecordedRequest> entries_;
};

}  // namespace dk::cloudsim::detail

#include "request_log.h"

namespace dk::cloudsim::detail {

void RequestLog::append(RecordedRequest request) {
  {
    std::lock_guard lock(mutex_);
    request.sequence = nextSequence_++;
    entries_.push_back(std::move(request));
  }
  changed_.notify_all();
}

std::vector<RecordedRequest> RequestLog::all() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

size_t RequestLog::count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void RequestLog::clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

bool RequestLog::waitFor(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return entries_.size() >= count; });
}

}  // namespace dk::cloudsim::detail

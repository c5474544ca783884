#include "parked_replies.h"

namespace dk::cloudsim::detail {

void ParkedReplies::park(int tag, std::function<void()> resume) {
  {
    std::lock_guard lock(mutex_);
    parked_.emplace_back(tag, std::move(resume));
  }
  changed_.notify_all();
}

size_t ParkedReplies::release(int tag) {
  std::vector<std::function<void()>> ready;
  {
    std::lock_guard lock(mutex_);
    for (auto it = parked_.begin(); it != parked_.end();) {
      if (tag == -1 || it->first == tag) {
        ready.push_back(std::move(it->second));
        it = parked_.erase(it);
      } else {
        ++it;
      }
    }
  }
  changed_.notify_all();
  for (auto& resume : ready) resume();
  return ready.size();
}

size_t ParkedReplies::count() const {
  std::lock_guard lock(mutex_);
  return parked_.size();
}

bool ParkedReplies::waitFor(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return parked_.size() >= count; });
}

void ParkedReplies::clear() {
  std::vector<std::pair<int, std::function<void()>>> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(parked_);
  }
  changed_.notify_all();
}

}  // namespace dk::cloudsim::detail

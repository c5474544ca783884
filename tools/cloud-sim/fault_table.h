// The scripted faults of a simulator, matched against each request in the order they were
// added.
//
// Thread-safe.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "cloud-sim/cloud_sim.h"

namespace dk::cloudsim::detail {

class FaultTable {
 public:
  int add(FaultRule rule);
  void remove(int id);
  void clear();
  int hits(int id) const;
  // The first live rule matching the request, with its identifier; the match is counted.
  std::optional<std::pair<int, FaultRule>> take(const std::string& method, const std::string& path);

 private:
  struct Entry {
    FaultRule rule;
    int hits = 0;
  };
  mutable std::mutex mutex_;
  int nextId_ = 1;
  std::map<int, Entry> rules_;  // ordered by id, so by age
};

}  // namespace dk::cloudsim::detail

#include "fault_table.h"

#include "http_types.h"

namespace dk::cloudsim::detail {
int FaultTable::add(FaultRule rule) {
  if (rule.path.rfind('/', 0) != 0) rule.path.insert(0, 1, '/');
  std::lock_guard lock(mutex_);
  const int id = nextId_++;
  rules_[id] = Entry{std::move(rule), 0};
  return id;
}

void FaultTable::remove(int id) {
  std::lock_guard lock(mutex_);
  rules_.erase(id);
}

void FaultTable::clear() {
  std::lock_guard lock(mutex_);
  rules_.clear();
}

int FaultTable::hits(int id) const {
  std::lock_guard lock(mutex_);
  auto it = rules_.find(id);
  return it == rules_.end() ? 0 : it->second.hits;
}

std::optional<std::pair<int, FaultRule>> FaultTable::take(const std::string& method,
                                                          const std::string& path) {
  std::lock_guard lock(mutex_);
  for (auto& [id, entry] : rules_) {
    FaultRule& rule = entry.rule;
    if (rule.times == 0) continue;
    if (!rule.method.empty() && !equalsIgnoreCase(rule.method, method)) continue;
    const bool matches = rule.prefix ? path.compare(0, rule.path.size(), rule.path) == 0
                                     : path == rule.path;
    if (!matches) continue;
    if (rule.times > 0) --rule.times;
    ++entry.hits;
    return std::make_pair(id, rule);
  }
  return std::nullopt;
}

}  // namespace dk::cloudsim::detail

#include "timeline/timeline_event_feed.h"

#include <algorithm>
#include <vector>

#include "timeline/timeline_event_adapter.h"

namespace dk {

namespace {

// The event manager's order (sortEventsByDate): newest first, events without a time after all.
bool feedNewer(const KLTimelineEventPtr& a, const KLTimelineEventPtr& b) {
  const auto& ta = static_cast<const TimelineEventAdapter&>(*a).timestamp();
  const auto& tb = static_cast<const TimelineEventAdapter&>(*b).timestamp();
  if (!ta || !tb) return ta.has_value() && !tb.has_value();
  return *ta > *tb;
}

std::vector<KLTimelineEventPtr> feedSortedItems(const KLEventPtr* first, const KLEventPtr* last) {
  std::vector<KLTimelineEventPtr> items;
  items.reserve(static_cast<size_t>(last - first));
  for (auto it = first; it != last; ++it)
    if (*it) items.push_back(TimelineEventAdapter::make(*it));
  std::stable_sort(items.begin(), items.end(), feedNewer);
  return items;
}

}  // namespace

KLTimelineEvents TimelineEventFeed::update(const KLEventListResponse::Events& cache) {
  if (extendsTaken(cache)) {
    add(cache.begin() + taken_.size(), cache.end());
  } else {
    rebuild(cache);
  }
  taken_ = cache;
  return items_.snapshot();
}

bool TimelineEventFeed::extendsTaken(const KLEventListResponse::Events& cache) const {
  if (taken_.empty()) return true;
  if (cache.size() < taken_.size()) return false;
  // A cache that grew within its buffer never changes what it held: same storage, same events.
  if (cache.begin() == taken_.begin()) return true;
  return std::equal(taken_.begin(), taken_.end(), cache.begin());
}

void TimelineEventFeed::rebuild(const KLEventListResponse::Events& cache) {
  ++rebuilds_;
  items_.assign(feedSortedItems(cache.begin(), cache.end()));
}

void TimelineEventFeed::add(const KLEventPtr* first, const KLEventPtr* last) {
  auto added = feedSortedItems(first, last);
  if (added.empty()) return;
  const auto held = items_.snapshot();
  // Older pages (the usual case) go after everything held; a stable merge keeps held events
  // before added ones of the same time, as a full sort of the cache would.
  if (held.empty() || !feedNewer(added.front(), held.back())) {
    items_.append(added.begin(), added.end());
    return;
  }
  std::vector<KLTimelineEventPtr> merged;
  merged.reserve(held.size() + added.size());
  std::merge(held.begin(), held.end(), added.begin(), added.end(), std::back_inserter(merged), feedNewer);
  items_.assign(std::move(merged));
}

}  // namespace dk

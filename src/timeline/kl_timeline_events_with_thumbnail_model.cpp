#include "timeline/kl_timeline_events_with_thumbnail_model.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "timeline/timeline_search.h"

namespace dk {

using namespace timeline_search;

namespace {

// Sort keys read once per event: priorities come from a look-up, timestamps from the model.
struct Keyed {
  int32_t priority;
  double timestamp;
  size_t index;
};

}  // namespace

KLTimelineEventsWithThumbnailModel::KLTimelineEventsWithThumbnailModel(std::weak_ptr<const EventLookups> eventManager)
    : eventManager_(std::move(eventManager)) {}

int32_t KLTimelineEventsWithThumbnailModel::getPriorityForEventType(const KLTimelineEventInterface& event) const {
  auto lookups = eventManager();
  return lookups ? lookups->getPriorityForEventType(event.timelineEventType()) : 0;
}

std::vector<KLTimelineEventPtr> KLTimelineEventsWithThumbnailModel::sortEvents(
    const std::vector<KLTimelineEventPtr>& events, bool basedOnPriority, bool andTime) const {
  auto lookups = eventManager();
  std::unordered_map<std::string, int32_t> priorities;  // one look-up per type, not per event
  std::vector<Keyed> keyed;
  keyed.reserve(events.size());
  for (size_t i = 0; i < events.size(); ++i) {
    int32_t priority = 0;
    if (basedOnPriority && lookups) {
      const auto type = events[i]->timelineEventType();
      const std::string key = type.value_or(std::string("\0", 1));
      auto it = priorities.find(key);
      if (it == priorities.end()) it = priorities.emplace(key, lookups->getPriorityForEventType(type)).first;
      priority = it->second;
    }
    keyed.push_back({priority, andTime ? events[i]->timelineEventTimestamp() : 0, i});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    if (basedOnPriority && a.priority != b.priority) return a.priority < b.priority;
    if (andTime && a.timestamp != b.timestamp) return a.timestamp > b.timestamp;
    return false;
  });
  std::vector<KLTimelineEventPtr> sorted;
  sorted.reserve(events.size());
  for (const Keyed& k : keyed) sorted.push_back(events[k.index]);
  return sorted;
}

bool KLTimelineEventsWithThumbnailModel::updateWithEvents(KLTimelineEvents events) {
  if (eventsWithThumbnails_.empty()) {
    rebuildWithEvents(events);
  } else {
    updateWithAddedEvents(events);
  }
  return true;
}

void KLTimelineEventsWithThumbnailModel::rebuildWithEvents(const KLTimelineEvents& events) {
  const double m = minimalTimeBetweenEvents_;
  const auto ordered = sortEvents(events.toVector(), true, true);
  // Kept times in order: an event is kept when its nearest kept neighbours are both m away.
  std::set<double> keptTimes;
  std::vector<KLTimelineEventPtr> kept;
  for (const auto& event : ordered) {
    const double t = event->timelineEventTimestamp();
    auto later = keptTimes.lower_bound(t);
    if (later != keptTimes.end() && *later - t < m) continue;
    if (later != keptTimes.begin() && t - *std::prev(later) < m) continue;
    keptTimes.insert(t);
    kept.push_back(event);
  }
  eventsWithThumbnails_ = sortEvents(kept, false, true);
}

void KLTimelineEventsWithThumbnailModel::updateWithAddedEvents(const KLTimelineEvents& events) {
  const double m = minimalTimeBetweenEvents_;
  for (const auto& event : sortEvents(events.toVector(), true, true)) {
    const double t = event->timelineEventTimestamp();
    auto window = eventsInRange(eventsWithThumbnails_, {t - m, 2 * m});
    if (window.empty()) {
      insertThumbnailForEvent(event);
      continue;
    }
    const int32_t priority = getPriorityForEventType(*event);
    if (priority >= getPriorityForEventType(*window.front())) continue;
    std::unordered_set<const KLTimelineEventInterface*> evicted;
    for (const auto& other : window)
      if (getPriorityForEventType(*other) >= priority) evicted.insert(other.get());
    std::erase_if(eventsWithThumbnails_, [&](const KLTimelineEventPtr& e) { return evicted.count(e.get()) > 0; });
    if (eventsInRange(eventsWithThumbnails_, {t - m, 2 * m}).empty()) insertThumbnailForEvent(event);
  }
}

void KLTimelineEventsWithThumbnailModel::insertThumbnailForEvent(const KLTimelineEventPtr& event) {
  // Sorted insertion keeps newest first, after any thumbnail of the same time (a stable re-sort).
  const double t = event->timelineEventTimestamp();
  auto at = std::upper_bound(eventsWithThumbnails_.begin(), eventsWithThumbnails_.end(), t,
                             [](double time, const KLTimelineEventPtr& e) { return time > e->timelineEventTimestamp(); });
  eventsWithThumbnails_.insert(at, event);
}

bool KLTimelineEventsWithThumbnailModel::removeThumbnailsOfEventsNotIn(const KLTimelineEvents& events) {
  std::vector<double> freed;
  std::erase_if(eventsWithThumbnails_, [&](const KLTimelineEventPtr& thumbnail) {
    const platform::ObjectPtr object = thumbnail->timelineEventUnderlyingObject();
    const double t = thumbnail->timelineEventTimestamp();
    // The events at that time sit together in the newest-first list.
    auto first = std::lower_bound(events.begin(), events.end(), t, [](const KLTimelineEventPtr& e, double time) {
      return e->timelineEventTimestamp() > time;
    });
    for (auto it = first; it != events.end() && (*it)->timelineEventTimestamp() == t; ++it)
      if ((*it)->timelineEventUnderlyingObject() == object) return false;
    freed.push_back(t);
    return true;
  });
  if (freed.empty()) return false;
  giveFreedRoomToNeighbours(events, freed);
  return true;
}

void KLTimelineEventsWithThumbnailModel::giveFreedRoomToNeighbours(const KLTimelineEvents& events,
                                                                   const std::vector<double>& freed) {
  // The events a removed card kept out (those within m of it) may now have room for their own.
  // Only an empty window takes one: offering them as new events could evict cards for nothing.
  const double m = minimalTimeBetweenEvents_;
  std::unordered_set<const KLTimelineEventInterface*> seen;
  std::vector<KLTimelineEventPtr> neighbours;
  for (double t : freed)
    for (auto& event : eventsInRange(events, {t - m, 2 * m + 1}))
      if (seen.insert(event.get()).second) neighbours.push_back(std::move(event));
  for (const auto& event : sortEvents(neighbours, true, true)) {
    const double t = event->timelineEventTimestamp();
    if (eventsInRange(eventsWithThumbnails_, {t - m, 2 * m}).empty()) insertThumbnailForEvent(event);
  }
}

void KLTimelineEventsWithThumbnailModel::clearAndSetMinimalTimeBetweenEventsWithThumbnail(double seconds) {
  eventsWithThumbnails_.clear();
  minimalTimeBetweenEvents_ = seconds;
}

KLTimelineEvents KLTimelineEventsWithThumbnailModel::allTimelineEvents() const {
  return makeTimelineEvents(eventsWithThumbnails_);
}

std::vector<KLTimelineEventPtr> KLTimelineEventsWithThumbnailModel::timelineEventsInTimeRange(KLTimeRange range) const {
  return eventsInRange(eventsWithThumbnails_, range);
}

KLTimelineEventPtr KLTimelineEventsWithThumbnailModel::closestTimelineEventAfterTime(double time) const {
  return closestEvent(eventsWithThumbnails_, time, KLBinarySearchOptionPrecedingIndex);
}

KLTimelineEventPtr KLTimelineEventsWithThumbnailModel::closestTimelineEventBeforeTime(double time) const {
  return closestEvent(eventsWithThumbnails_, time, KLBinarySearchOptionInsertionIndex);
}

KLTimelineEventPtr KLTimelineEventsWithThumbnailModel::newestTimelineEvent() const {
  return eventsWithThumbnails_.empty() ? nullptr : eventsWithThumbnails_.front();
}

KLTimelineEventPtr KLTimelineEventsWithThumbnailModel::oldestTimelineEvent() const {
  return eventsWithThumbnails_.empty() ? nullptr : eventsWithThumbnails_.back();
}

KLTimelineEventPtr KLTimelineEventsWithThumbnailModel::eventWithThumbnailAtTime(double time) const {
  const double m = minimalTimeBetweenEvents_;
  auto around = eventsInRange(eventsWithThumbnails_, {time - m / 2, m});
  return around.size() == 1 ? around.front() : nullptr;
}

}  // namespace dk

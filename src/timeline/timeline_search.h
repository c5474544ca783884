// The time searches the timeline models share: binary search over newest-first lists of recordings
// and events with the three-way tests of one item against a time, and the range walks.
// Pure functions over the lists given; main thread like the models.
#pragma once

#include <cfloat>
#include <cmath>
#include <vector>

#include "foundation/binary_search.h"
#include "timeline/kl_time_range.h"
#include "timeline/kl_timeline_item_interfaces.h"

namespace dk::timeline_search {

// A time of 0 (or below, or not finite) is an item without a time, not one from 1970.
inline bool isKnownTime(double t) { return std::isfinite(t) && t > 0; }

// Inside when start < t < end; older when t >= end; else newer.
inline platform::ComparisonResult compareRecording(const KLTimelineRecordingInterface& r, double t) {
  const double start = r.timelineRecordingStartTime();
  const double end = r.timelineRecordingEndTime();
  if (start < t && t < start + (end - start)) return platform::kOrderedSame;
  return t >= end ? platform::kOrderedAscending : platform::kOrderedDescending;
}

// Equal within the double epsilon; older when t is later; else newer.
inline platform::ComparisonResult compareEvent(double timestamp, double t) {
  if (std::fabs(timestamp - t) < DBL_EPSILON) return platform::kOrderedSame;
  return t > timestamp ? platform::kOrderedAscending : platform::kOrderedDescending;
}

template <typename List>
int64_t findRecording(const List& list, double t, int64_t option) {
  return indexOfObjectInArraySortedAscending(list, false, option,
                                             [t](const KLTimelineRecordingPtr& r) { return compareRecording(*r, t); });
}

template <typename List>
int64_t findEvent(const List& list, double t, int64_t option) {
  return indexOfObjectInArraySortedAscending(
      list, false, option, [t](const KLTimelineEventPtr& e) { return compareEvent(e->timelineEventTimestamp(), t); });
}

template <typename List>
auto at(const List& list, int64_t index) -> std::decay_t<decltype(list[0])> {
  if (index == kNotFound || index < 0 || index >= static_cast<int64_t>(list.size())) return nullptr;
  return list[static_cast<size_t>(index)];
}

// The event found by a search from t (the closest after or before): an event without a time, kept
// at the list's old end as time 0, is never one.
template <typename List>
auto closestEvent(const List& list, double t, int64_t option) -> std::decay_t<decltype(list[0])> {
  auto event = at(list, findEvent(list, t, option));
  if (event && !isKnownTime(event->timelineEventTimestamp())) return nullptr;
  return event;
}

// The recordings overlapping [s, s + d), newest first. The walk starts at the oldest match: when
// the search lands on one of several items matching at s, the older ones beside it are taken too.
template <typename List>
std::vector<KLTimelineRecordingPtr> recordingsInRange(const List& list, KLTimeRange range) {
  const double s = range.start, d = range.duration;
  auto matches = [s, d](const KLTimelineRecordingPtr& r) {
    return r->timelineRecordingEndTime() > s && s + d > r->timelineRecordingStartTime();
  };
  int64_t index = findRecording(list, s, KLBinarySearchOptionPrecedingIndex);
  if (index == kNotFound) return {};
  while (index + 1 < static_cast<int64_t>(list.size()) && matches(list[static_cast<size_t>(index + 1)])) ++index;
  return subarrayFromIndex(list, index, false, matches);
}

// The events with s <= timestamp < s + d, newest first (the oldest match included, as above).
template <typename List>
std::vector<KLTimelineEventPtr> eventsInRange(const List& list, KLTimeRange range) {
  const double s = range.start, e = range.start + range.duration;
  auto matches = [s, e](const KLTimelineEventPtr& event) {
    const double t = event->timelineEventTimestamp();
    return s <= t && t < e;
  };
  int64_t index = findEvent(list, s, KLBinarySearchOptionPrecedingIndex);
  if (index == kNotFound) return {};
  while (index + 1 < static_cast<int64_t>(list.size()) && matches(list[static_cast<size_t>(index + 1)])) ++index;
  return subarrayFromIndex(list, index, false, matches);
}

}  // namespace dk::timeline_search

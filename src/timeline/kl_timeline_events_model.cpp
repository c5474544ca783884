#include "timeline/kl_timeline_events_model.h"

#include "timeline/timeline_search.h"

namespace dk {

using namespace timeline_search;

bool KLTimelineEventsModel::updateWithEvents(KLTimelineEvents events) {
  events_ = std::move(events);
  return true;
}

std::vector<KLTimelineEventPtr> KLTimelineEventsModel::timelineEventsInTimeRange(KLTimeRange range) const {
  return eventsInRange(events_, range);
}

KLTimelineEventPtr KLTimelineEventsModel::closestTimelineEventAfterTime(double time) const {
  return closestEvent(events_, time, KLBinarySearchOptionPrecedingIndex);
}

KLTimelineEventPtr KLTimelineEventsModel::closestTimelineEventBeforeTime(double time) const {
  return closestEvent(events_, time, KLBinarySearchOptionInsertionIndex);
}

KLTimelineEventPtr KLTimelineEventsModel::newestTimelineEvent() const {
  return events_.empty() ? nullptr : events_.front();
}

KLTimelineEventPtr KLTimelineEventsModel::oldestTimelineEvent() const {
  return events_.empty() ? nullptr : events_.back();
}

}  // namespace dk

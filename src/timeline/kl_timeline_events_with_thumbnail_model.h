// KLTimelineEventsWithThumbnailModel: the events that get a thumbnail card, chosen so that cards
// never crowd each other at the current zoom level: no two closer than `minimalTimeBetweenEvents`
// (a row), the more important event type winning, then the newer event.
//
// A rebuild chooses from all events; later lists only add (an added event replaces cards in its
// window only when its type is strictly more important). The model keeps its own list newest
// first. Type priorities come from the event look-ups, held weakly. Owned by the timeline data
// source; main thread only.
#pragma once

#include <memory>
#include <vector>

#include "timeline/event_lookups.h"
#include "timeline/kl_timeline_model_interfaces.h"

namespace dk {

class KLTimelineEventsWithThumbnailModel final : public KLTimelineEventsWithThumbnailModelInterface,
                                                 public KLTimelineEventsWithThumbnailModelPublicInterface {
 public:
  static constexpr double kDefaultMinimalTime = 3600.0;

  explicit KLTimelineEventsWithThumbnailModel(std::weak_ptr<const EventLookups> eventManager = {});

  const std::vector<KLTimelineEventPtr>& eventsWithThumbnails() const { return eventsWithThumbnails_; }
  double minimalTimeBetweenEvents() const { return minimalTimeBetweenEvents_; }
  std::shared_ptr<const EventLookups> eventManager() const { return eventManager_.lock(); }

  // Rebuilds from the list when there are no thumbnails yet, else adds the list incrementally.
  bool updateWithEvents(KLTimelineEvents events) override;
  void clearAndSetMinimalTimeBetweenEventsWithThumbnail(double seconds) override;
  // Drops the thumbnails whose event is not in `events` (events deleted from the list), by the
  // identity of the underlying events, and lets the events of `events` that a dropped card kept
  // out take a card where their window is now empty. True when something was dropped.
  bool removeThumbnailsOfEventsNotIn(const KLTimelineEvents& events);

  KLTimelineEvents allTimelineEvents() const override;
  std::vector<KLTimelineEventPtr> timelineEventsInTimeRange(KLTimeRange range) const override;
  KLTimelineEventPtr closestTimelineEventAfterTime(double time) const override;
  KLTimelineEventPtr closestTimelineEventBeforeTime(double time) const override;
  KLTimelineEventPtr newestTimelineEvent() const override;
  KLTimelineEventPtr oldestTimelineEvent() const override;
  KLTimelineEventPtr eventWithThumbnailAtTime(double time) const override;

  int32_t getPriorityForEventType(const KLTimelineEventInterface& event) const;
  // A new list sorted by priority (ascending) and/or time (newest first); stable.
  std::vector<KLTimelineEventPtr> sortEvents(const std::vector<KLTimelineEventPtr>& events, bool basedOnPriority,
                                             bool andTime) const;

 private:
  void rebuildWithEvents(const KLTimelineEvents& events);
  void updateWithAddedEvents(const KLTimelineEvents& events);
  void insertThumbnailForEvent(const KLTimelineEventPtr& event);
  void giveFreedRoomToNeighbours(const KLTimelineEvents& events, const std::vector<double>& freed);

  std::vector<KLTimelineEventPtr> eventsWithThumbnails_;
  double minimalTimeBetweenEvents_ = kDefaultMinimalTime;
  std::weak_ptr<const EventLookups> eventManager_;
};

}  // namespace dk

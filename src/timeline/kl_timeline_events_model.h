// KLTimelineEventsModel: every event the timeline knows, newest first, answering time questions
// by binary search. Owned by the timeline data source, its only writer. Main thread only.
#pragma once

#include "timeline/kl_timeline_model_interfaces.h"

namespace dk {

class KLTimelineEventsModel final : public KLTimelineEventsModelInterface {
 public:
  const KLTimelineEvents& events() const { return events_; }

  bool updateWithEvents(KLTimelineEvents events) override;
  KLTimelineEvents allTimelineEvents() const override { return events_; }
  std::vector<KLTimelineEventPtr> timelineEventsInTimeRange(KLTimeRange range) const override;
  KLTimelineEventPtr closestTimelineEventAfterTime(double time) const override;
  KLTimelineEventPtr closestTimelineEventBeforeTime(double time) const override;
  KLTimelineEventPtr newestTimelineEvent() const override;
  KLTimelineEventPtr oldestTimelineEvent() const override;

 private:
  KLTimelineEvents events_;
};

}  // namespace dk

#include "timeline/timeline_event_adapter.h"

namespace dk {
std::shared_ptr<TimelineEventAdapter> TimelineEventAdapter::make(const KLEventPtr& event) {
  return std::make_shared<TimelineEventAdapter>(event);
}

KLTimelineEvents TimelineEventAdapter::makeList(const std::vector<KLEventPtr>& events) {
  std::vector<KLTimelineEventPtr> items;
  items.reserve(events.size());
  for (const auto& e : events)
    if (e) items.push_back(make(e));
  return makeTimelineEvents(std::move(items));
}

double TimelineEventAdapter::timelineEventTimestamp() const { return timestamp_.value_or(0); }

platform::ImagePtr TimelineEventAdapter::timelineEventPlaceholderImage() const {
  switch (event_->eventType()) {
    case KLEventTypeAudio:
    case KLEventTypeAudioCategorized: return platform::Image::named("sound_event");
    case KLEventTypeInfrared: return platform::Image::named("Infrared_event");
    case KLEventTypeVideoMotion: return platform::Image::named("motion_event");
    default: return nullptr;
  }
}

KLEventPtr underlyingEvent(const KLTimelineEventInterface& event) {
  return std::dynamic_pointer_cast<KLEventResponse>(event.timelineEventUnderlyingObject());
}

}  // namespace dk

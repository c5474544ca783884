// TimelineEventAdapter: an event of the REST models as the timeline sees it — as an event, and
// also as a 30-second recording starting at its time, so an event can stand where a recording is
// expected. The event is shared (its clip address and download progress are written on other
// queues), so what orders the timeline's lists, the time and the type, is read once when the
// adapter is made; the other fields are read at each call. Main thread only.
#pragma once

#include "model/kl_event_response.h"
#include "timeline/kl_timeline_item_interfaces.h"

namespace dk {

class TimelineEventAdapter final : public KLTimelineEventInterface, public KLTimelineRecordingInterface {
 public:
  static constexpr double kEventSpan = 30.0;

  explicit TimelineEventAdapter(KLEventPtr event)
      : event_(std::move(event)), timestamp_(event_->timestamp()), type_(event_->type()) {}
  static std::shared_ptr<TimelineEventAdapter> make(const KLEventPtr& event);
  // Adapters of a whole newest-first list, in its order.
  static KLTimelineEvents makeList(const std::vector<KLEventPtr>& events);

  double timelineEventTimestamp() const override;
  std::optional<std::string> timelineEventImageUrl() const override { return event_->imageURL(); }
  std::optional<std::string> timelineEventType() const override { return type_; }
  std::optional<std::string> timelineEventFaceID() const override { return event_->faceId(); }
  std::optional<std::string> timelineEventCategory() const override { return event_->category(); }
  // "sound_event" for audio, "Infrared_event" for infrared, "motion_event" for video motion,
  // none for other types.
  platform::ImagePtr timelineEventPlaceholderImage() const override;
  platform::ObjectPtr timelineEventUnderlyingObject() const override { return event_; }

  double timelineRecordingStartTime() const override { return timelineEventTimestamp(); }
  double timelineRecordingEndTime() const override { return timelineEventTimestamp() + kEventSpan; }
  bool timelineRecordingIsOnGoing() const override { return false; }
  platform::ObjectPtr timelineRecordingUnderlyingObject() const override { return event_; }

  const KLEventPtr& event() const { return event_; }
  // The event's time as read when the adapter was made; nullopt when it had none.
  const std::optional<double>& timestamp() const { return timestamp_; }

 private:
  KLEventPtr event_;
  std::optional<double> timestamp_;
  std::optional<std::string> type_;
};

// The REST event behind a timeline event, or nullptr when it wraps something else.
KLEventPtr underlyingEvent(const KLTimelineEventInterface& event);

}  // namespace dk

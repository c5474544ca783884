#include "timeline/timeline_recording_adapter.h"

#include "platform/dispatch/clock.h"

namespace dk {

KLTimelineRecordingPtr TimelineRecordingAdapter::make(const KLRecordingPtr& recording) {
  return std::make_shared<TimelineRecordingAdapter>(recording);
}

KLTimelineRecordings TimelineRecordingAdapter::makeList(const std::vector<KLRecordingPtr>& recordings) {
  std::vector<KLTimelineRecordingPtr> items;
  items.reserve(recordings.size());
  for (const auto& r : recordings)
    if (r) items.push_back(make(r));
  return makeTimelineRecordings(std::move(items));
}

double TimelineRecordingAdapter::timelineRecordingStartTime() const { return recording_->startSeconds().value_or(0); }

bool TimelineRecordingAdapter::timelineRecordingIsOnGoing() const {
  const auto closed = recording_->closed();
  return closed.has_value() && !*closed;
}

double TimelineRecordingAdapter::timelineRecordingEndTime() const {
  if (timelineRecordingIsOnGoing()) return platform::now();
  return recording_->endSeconds().value_or(0);
}

}  // namespace dk

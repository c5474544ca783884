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

double TimelineRecordingAdapter::timelineRecordingStartTime() const { return times_.start.value_or(0); }

bool TimelineRecordingAdapter::timelineRecordingIsOnGoing() const {
  return times_.closed.has_value() && !*times_.closed;
}

double TimelineRecordingAdapter::timelineRecordingEndTime() const {
  if (timelineRecordingIsOnGoing()) return platform::now();
  return times_.end.value_or(0);
}

bool TimelineRecordingAdapter::refreshTimes() {
  auto fresh = recording_->times();
  if (fresh == times_) return false;
  times_ = fresh;
  return true;
}

bool TimelineRecordingAdapter::refreshTimes(const KLTimelineRecordings& recordings) {
  bool changed = false;
  for (const auto& item : recordings) {
    if (auto* adapter = dynamic_cast<TimelineRecordingAdapter*>(item.get())) changed = adapter->refreshTimes() || changed;
  }
  return changed;
}

}  // namespace dk

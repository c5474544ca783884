// TimelineRecordingAdapter: a recording of the REST models as the timeline sees it. The times are
// read from the recording at every call, so a recording closed in place by a later page shows its
// end at once, and an open one ends at the current time as the clock moves. Main thread only (the
// recording itself may be shared).
#pragma once

#include "model/kl_recording_response.h"
#include "timeline/kl_timeline_item_interfaces.h"

namespace dk {

class TimelineRecordingAdapter final : public KLTimelineRecordingInterface {
 public:
  explicit TimelineRecordingAdapter(KLRecordingPtr recording) : recording_(std::move(recording)) {}
  static KLTimelineRecordingPtr make(const KLRecordingPtr& recording);
  // Adapters of a whole list, in its order.
  static KLTimelineRecordings makeList(const std::vector<KLRecordingPtr>& recordings);

  // The start text in seconds; 0 when it is missing or does not parse.
  double timelineRecordingStartTime() const override;
  // Now while on-going, else the end text in seconds (0 when missing).
  double timelineRecordingEndTime() const override;
  // Only a present `closed` that is false: a missing flag counts as finished.
  bool timelineRecordingIsOnGoing() const override;
  platform::ObjectPtr timelineRecordingUnderlyingObject() const override { return recording_; }
  const KLRecordingPtr& recording() const { return recording_; }

 private:
  KLRecordingPtr recording_;
};

}  // namespace dk

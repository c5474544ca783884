// TimelineRecordingAdapter: a recording of the REST models as the timeline sees it. The recording
// is shared: page merges and live messages change its times on other queues. The adapter shows the
// times it read in one step when made, and takes newer ones only when the main thread asks
// (refreshTimes), so a search or a drawn row never sees half a change, and a change reaches the
// strip on main. An open recording ends at the current time as the clock moves. Main thread only.
#pragma once

#include "model/kl_recording_response.h"
#include "timeline/kl_timeline_item_interfaces.h"

namespace dk {

class TimelineRecordingAdapter final : public KLTimelineRecordingInterface {
 public:
  explicit TimelineRecordingAdapter(KLRecordingPtr recording)
      : recording_(std::move(recording)), times_(recording_->times()) {}
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

  // Takes the recording's current times; true when they differ from those shown.
  bool refreshTimes();
  // The same for every adapter of a list (other items are left alone); true when any changed.
  static bool refreshTimes(const KLTimelineRecordings& recordings);

 private:
  KLRecordingPtr recording_;
  KLRecordingResponse::Times times_;
};

}  // namespace dk

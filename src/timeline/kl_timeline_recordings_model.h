// KLTimelineRecordingsModel: the recordings the timeline shows, newest first as the recording
// manager delivers them, answering time questions by binary search. Owned by the timeline data
// source, its only writer. Main thread only.
#pragma once

#include "timeline/kl_timeline_model_interfaces.h"

namespace dk {

class KLTimelineRecordingsModel final : public KLTimelineRecordingsModelInterface {
 public:
  const KLTimelineRecordings& recordings() const { return recordings_; }

  bool updateWithRecordings(KLTimelineRecordings recordings) override;
  KLTimelineRecordings allTimelineRecordings() const override { return recordings_; }
  std::vector<KLTimelineRecordingPtr> timelineRecordingsInTimeRange(KLTimeRange range) const override;
  KLTimelineRecordingPtr timelineRecordingAtTime(double time) const override;
  KLTimelineRecordingPtr closestTimelineRecordingAfterTime(double time) const override;
  KLTimelineRecordingPtr closestTimelineRecordingBeforeTime(double time) const override;
  KLTimelineRecordingPtr newestTimelineRecording() const override;
  KLTimelineRecordingPtr oldestTimelineRecording() const override;

 private:
  KLTimelineRecordings recordings_;
};

}  // namespace dk

// KLTimelineRecordingsModel: the recordings the timeline shows, newest first as the recording
// manager delivers them, answering time questions by binary search. Owned by the timeline data
// source, its only writer. A recording without a known start or end (0: missing or unparsable) has
// no place on the axis: it is held, and counted, but no strip or playback look-up finds it.
// Main thread only.
#pragma once

#include <vector>

#include "timeline/kl_timeline_model_interfaces.h"

namespace dk {

class KLTimelineRecordingsModel final : public KLTimelineRecordingsModelInterface {
 public:
  const KLTimelineRecordings& recordings() const { return recordings_; }

  bool updateWithRecordings(KLTimelineRecordings recordings) override;
  // Sorts out again which recordings have a place on the axis, after their times changed.
  void placeRecordings();
  KLTimelineRecordings allTimelineRecordings() const override { return recordings_; }
  std::vector<KLTimelineRecordingPtr> timelineRecordingsInTimeRange(KLTimeRange range) const override;
  KLTimelineRecordingPtr timelineRecordingAtTime(double time) const override;
  KLTimelineRecordingPtr closestTimelineRecordingAfterTime(double time) const override;
  KLTimelineRecordingPtr closestTimelineRecordingBeforeTime(double time) const override;
  KLTimelineRecordingPtr newestTimelineRecording() const override;
  KLTimelineRecordingPtr oldestTimelineRecording() const override;

 private:
  KLTimelineRecordings recordings_;
  // The recordings with known times, in the same order: what the searches look through.
  std::vector<KLTimelineRecordingPtr> placed_;
};

}  // namespace dk

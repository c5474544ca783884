#include "timeline/kl_timeline_recordings_model.h"

#include "timeline/timeline_search.h"

namespace dk {

using namespace timeline_search;

bool KLTimelineRecordingsModel::updateWithRecordings(KLTimelineRecordings recordings) {
  recordings_ = std::move(recordings);
  return true;
}

std::vector<KLTimelineRecordingPtr> KLTimelineRecordingsModel::timelineRecordingsInTimeRange(KLTimeRange range) const {
  return recordingsInRange(recordings_, range);
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::timelineRecordingAtTime(double time) const {
  return at(recordings_, findRecording(recordings_, time, KLBinarySearchOptionExact));
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::closestTimelineRecordingAfterTime(double time) const {
  return at(recordings_, findRecording(recordings_, time, KLBinarySearchOptionPrecedingIndex));
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::closestTimelineRecordingBeforeTime(double time) const {
  return at(recordings_, findRecording(recordings_, time, KLBinarySearchOptionInsertionIndex));
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::newestTimelineRecording() const {
  return recordings_.empty() ? nullptr : recordings_.front();
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::oldestTimelineRecording() const {
  return recordings_.empty() ? nullptr : recordings_.back();
}

}  // namespace dk

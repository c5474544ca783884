#include "timeline/kl_timeline_recordings_model.h"

#include "timeline/timeline_search.h"

namespace dk {

using namespace timeline_search;

bool KLTimelineRecordingsModel::updateWithRecordings(KLTimelineRecordings recordings) {
  recordings_ = std::move(recordings);
  placeRecordings();
  return true;
}

void KLTimelineRecordingsModel::placeRecordings() {
  placed_.clear();
  placed_.reserve(recordings_.size());
  for (const auto& recording : recordings_)
    if (isKnownTime(recording->timelineRecordingStartTime()) && isKnownTime(recording->timelineRecordingEndTime()))
      placed_.push_back(recording);
}

std::vector<KLTimelineRecordingPtr> KLTimelineRecordingsModel::timelineRecordingsInTimeRange(KLTimeRange range) const {
  return recordingsInRange(placed_, range);
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::timelineRecordingAtTime(double time) const {
  return at(placed_, findRecording(placed_, time, KLBinarySearchOptionExact));
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::closestTimelineRecordingAfterTime(double time) const {
  return at(placed_, findRecording(placed_, time, KLBinarySearchOptionPrecedingIndex));
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::closestTimelineRecordingBeforeTime(double time) const {
  return at(placed_, findRecording(placed_, time, KLBinarySearchOptionInsertionIndex));
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::newestTimelineRecording() const {
  return placed_.empty() ? nullptr : placed_.front();
}

KLTimelineRecordingPtr KLTimelineRecordingsModel::oldestTimelineRecording() const {
  return placed_.empty() ? nullptr : placed_.back();
}

}  // namespace dk

// The timeline models' interfaces: look-ups by time over newest-first lists of recordings and
// events, and the thumbnail choice. Lists are never sorted by the models (except the thumbnail
// model's own); look-ups answer one item or nullptr, range queries a list in list order. Main
// thread only.
#pragma once

#include <vector>

#include "platform/foundation/object.h"
#include "timeline/kl_time_range.h"
#include "timeline/kl_timeline_item_interfaces.h"

namespace dk {

class KLTimelineMutableRecordingsModelInterface : public virtual platform::Protocol {
 public:
  // Replaces the whole list.
  virtual bool updateWithRecordings(KLTimelineRecordings recordings) = 0;
};

class KLTimelineRecordingsModelInterface : public KLTimelineMutableRecordingsModelInterface {
 public:
  virtual KLTimelineRecordings allTimelineRecordings() const = 0;
  // The recordings overlapping the range, newest first.
  virtual std::vector<KLTimelineRecordingPtr> timelineRecordingsInTimeRange(KLTimeRange range) const = 0;
  // The recording holding t (start < t < end).
  virtual KLTimelineRecordingPtr timelineRecordingAtTime(double time) const = 0;
  // The recording at t, else the oldest one newer than t.
  virtual KLTimelineRecordingPtr closestTimelineRecordingAfterTime(double time) const = 0;
  // The recording at t, else the newest one older than t.
  virtual KLTimelineRecordingPtr closestTimelineRecordingBeforeTime(double time) const = 0;
  virtual KLTimelineRecordingPtr newestTimelineRecording() const = 0;
  virtual KLTimelineRecordingPtr oldestTimelineRecording() const = 0;
};

class KLTimelineMutableEventsModelInterface : public virtual platform::Protocol {
 public:
  virtual bool updateWithEvents(KLTimelineEvents events) = 0;
};

class KLTimelineEventsModelInterface : public KLTimelineMutableEventsModelInterface {
 public:
  virtual KLTimelineEvents allTimelineEvents() const = 0;
  // The events with start <= timestamp < start + duration, newest first.
  virtual std::vector<KLTimelineEventPtr> timelineEventsInTimeRange(KLTimeRange range) const = 0;
  virtual KLTimelineEventPtr closestTimelineEventAfterTime(double time) const = 0;
  virtual KLTimelineEventPtr closestTimelineEventBeforeTime(double time) const = 0;
  virtual KLTimelineEventPtr newestTimelineEvent() const = 0;
  virtual KLTimelineEventPtr oldestTimelineEvent() const = 0;
};

class KLTimelineEventsWithThumbnailModelInterface : public KLTimelineEventsModelInterface {
 public:
  // Empties the thumbnails and sets the spacing they keep.
  virtual void clearAndSetMinimalTimeBetweenEventsWithThumbnail(double seconds) = 0;
};

class KLTimelineEventsWithThumbnailModelPublicInterface : public virtual platform::Protocol {
 public:
  // The one thumbnail within half the spacing of t; nullptr when there is none or more than one.
  virtual KLTimelineEventPtr eventWithThumbnailAtTime(double time) const = 0;
};

}  // namespace dk

// How the timeline sees a recording and an event: two small interfaces, and the newest-first lists
// of them that the timeline models keep.
//
// A list is an immutable snapshot: copying one costs nothing, and a writer that appends older
// pages to its KLTimelineEventList pays only for what it appends, so handing the timeline a list
// that grew by a page costs the same however long the list is. Items are main-thread objects of the
// timeline; what they wrap (the REST models) may be shared with other queues.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/snapshot_list.h"
#include "platform/foundation/object.h"
#include "platform/graphics/image.h"

namespace dk {

class KLTimelineRecordingInterface : public virtual platform::Protocol {
 public:
  virtual double timelineRecordingStartTime() const = 0;
  virtual double timelineRecordingEndTime() const = 0;
  virtual bool timelineRecordingIsOnGoing() const = 0;
  virtual platform::ObjectPtr timelineRecordingUnderlyingObject() const = 0;
};

class KLTimelineEventInterface : public virtual platform::Protocol {
 public:
  virtual double timelineEventTimestamp() const = 0;
  virtual std::optional<std::string> timelineEventImageUrl() const = 0;
  // The server's event type ("vmdDetected").
  virtual std::optional<std::string> timelineEventType() const = 0;
  virtual std::optional<std::string> timelineEventFaceID() const = 0;
  virtual std::optional<std::string> timelineEventCategory() const = 0;
  virtual platform::ImagePtr timelineEventPlaceholderImage() const = 0;
  // The model behind the item; two items are the same event when these are the same object.
  virtual platform::ObjectPtr timelineEventUnderlyingObject() const = 0;
};

using KLTimelineRecordingPtr = std::shared_ptr<KLTimelineRecordingInterface>;
using KLTimelineEventPtr = std::shared_ptr<KLTimelineEventInterface>;

using KLTimelineRecordingList = SnapshotList<KLTimelineRecordingPtr>;
using KLTimelineEventList = SnapshotList<KLTimelineEventPtr>;
using KLTimelineRecordings = KLTimelineRecordingList::Snapshot;
using KLTimelineEvents = KLTimelineEventList::Snapshot;

// A list of these items (newest first, as given).
inline KLTimelineRecordings makeTimelineRecordings(std::vector<KLTimelineRecordingPtr> items) {
  KLTimelineRecordingList list;
  list.assign(std::move(items));
  return list.snapshot();
}
inline KLTimelineEvents makeTimelineEvents(std::vector<KLTimelineEventPtr> items) {
  KLTimelineEventList list;
  list.assign(std::move(items));
  return list.snapshot();
}

}  // namespace dk

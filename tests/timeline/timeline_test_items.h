// Timeline items for tests: events and recordings of the REST models at given times, and event
// look-ups with fixed priorities and names.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/date_formatting.h"
#include "model/kl_event_response.h"
#include "model/kl_recording_response.h"
#include "timeline/event_lookups.h"
#include "timeline/timeline_event_adapter.h"
#include "timeline/timeline_recording_adapter.h"

namespace dk::test {

inline KLEventPtr restEvent(int64_t id, double timestamp, std::string type = "vmdDetected") {
  auto e = std::make_shared<KLEventResponse>();
  e->setEventID(id);
  e->setTimestamp(timestamp);
  e->setType(std::move(type));
  return e;
}

inline std::shared_ptr<TimelineEventAdapter> timelineEvent(int64_t id, double timestamp,
                                                           std::string type = "vmdDetected") {
  return TimelineEventAdapter::make(restEvent(id, timestamp, std::move(type)));
}

inline KLRecordingPtr restRecording(int64_t id, double start, double end, std::optional<bool> closed = true) {
  auto r = std::make_shared<KLRecordingResponse>();
  r->setRecordingID(id);
  r->setStartStringTime(timeFormatterForStringTimestamp()->stringFromDate(start));
  if (end > 0) r->setEndStringTime(timeFormatterForStringTimestamp()->stringFromDate(end));
  r->setClosed(closed);
  return r;
}

inline KLTimelineRecordingPtr timelineRecording(int64_t id, double start, double end) {
  return TimelineRecordingAdapter::make(restRecording(id, start, end));
}

inline KLTimelineEvents eventList(const std::vector<std::shared_ptr<TimelineEventAdapter>>& events) {
  return makeTimelineEvents(std::vector<KLTimelineEventPtr>(events.begin(), events.end()));
}

class FixedLookups : public EventLookups {
 public:
  std::map<std::string, int32_t> priorities;
  std::map<std::string, std::string> faces, names;
  int32_t getPriorityForEventType(const std::optional<std::string>& type) const override {
    auto it = type ? priorities.find(*type) : priorities.end();
    return it == priorities.end() ? 0 : it->second;
  }
  std::string getFaceNameForFaceID(const std::string& faceID) const override {
    auto it = faces.find(faceID);
    return it == faces.end() ? "Unknown" : it->second;
  }
  std::string getLocalizedNameForEventType(const std::optional<std::string>& type,
                                           const std::optional<std::string>& category) const override {
    if (category) {
      auto it = names.find(*category);
      if (it != names.end()) return it->second;
    }
    auto it = type ? names.find(*type) : names.end();
    return it == names.end() ? type.value_or("") : it->second;
  }
};

}  // namespace dk::test

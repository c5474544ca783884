// EventLookups: what the timeline asks the event manager about event types and faces — display
// priority, translated names and face names. The timeline holds it weakly, as it holds the event
// manager; the integration adapts the event manager to it. Main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dk {

class EventLookups {
 public:
  virtual ~EventLookups() = default;
  // getPriorityForEventType: lower is more important; 0 for unknown types or before the
  // types are loaded.
  virtual int32_t getPriorityForEventType(const std::optional<std::string>& type) const = 0;
  // getFaceNameForFaceID: the name of a known face, else the "UnknownFace" text.
  virtual std::string getFaceNameForFaceID(const std::string& faceID) const = 0;
  // getLocalizedNameForEventType:categoryName: the category's or the type's translation, else
  // the type itself.
  virtual std::string getLocalizedNameForEventType(const std::optional<std::string>& type,
                                                   const std::optional<std::string>& category) const = 0;
};

}  // namespace dk

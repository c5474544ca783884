// KLWebSocketsDelegate: what the live feed hands its parsed messages to. The event manager and the
// recording manager adopt it; the live feed holds its receivers weakly and calls them on its
// service queue. Every operation is optional (see platform::Protocol).
#pragma once

#include <cstdint>

#include "platform/foundation/model.h"
#include "platform/foundation/object.h"
#include "platform/foundation/value.h"

namespace dk {

// Class types of live messages: 3 carries events, 0 recordings.
inline constexpr int32_t kWebSocketsClassTypeRecordings = 0;
inline constexpr int32_t kWebSocketsClassTypeEvents = 3;

class KLWebSocketsDelegate : public virtual platform::Protocol {
 public:
  // "handleMessageUpdate:forClassType:modelClass:modelListClass:": a message dictionary of the
  // given class type; the classes are nullptr where the message has none.
  virtual void handleMessageUpdate(const platform::Value& message, int32_t classType,
                                   const platform::ClassInfo* modelClass,
                                   const platform::ClassInfo* modelListClass) {}
  // "handleMessageUpdate:forCameraID:"
  virtual void handleMessageUpdate(const platform::Value& message, const platform::Value& cameraID) {}
  // "handleMessageDelete:forClassType:modelClass:"
  virtual void handleMessageDelete(const platform::Value& message, int32_t classType,
                                   const platform::ClassInfo* modelClass) {}
};

}  // namespace dk

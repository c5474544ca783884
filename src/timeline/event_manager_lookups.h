// EventManagerLookups: the event manager answering the timeline's event look-ups (type priorities,
// translated names, face names). The manager is held weakly, as the timeline holds it; once it is
// gone every type ranks 0 and names fall back to the type itself. Safe wherever the manager's
// look-ups are.
#pragma once

#include <memory>

#include "services/kl_event_manager.h"
#include "timeline/event_lookups.h"

namespace dk {

class EventManagerLookups final : public EventLookups {
 public:
  explicit EventManagerLookups(std::weak_ptr<const KLEventManager> manager) : manager_(std::move(manager)) {}

  int32_t getPriorityForEventType(const std::optional<std::string>& type) const override {
    auto manager = manager_.lock();
    return manager && type ? manager->getPriorityForEventType(*type) : 0;
  }
  std::string getFaceNameForFaceID(const std::string& faceID) const override {
    auto manager = manager_.lock();
    return manager ? manager->getFaceNameForFaceID(faceID) : faceID;
  }
  std::string getLocalizedNameForEventType(const std::optional<std::string>& type,
                                           const std::optional<std::string>& category) const override {
    auto manager = manager_.lock();
    if (!manager) return type.value_or("");
    return manager->getLocalizedNameForEventType(type.value_or(""), category);
  }

 private:
  std::weak_ptr<const KLEventManager> manager_;
};

}  // namespace dk

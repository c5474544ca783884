// EventTypeDetailsLookups: EventLookups answered from the event-type details and faces lists the
// event manager loads, by the manager's own rules (first matching entry; the type string or the
// "UnknownFace" text when nothing matches). For hosts and tools that hold the lists themselves.
// Immutable once made; safe anywhere.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "model/kl_event_type_models.h"
#include "timeline/event_lookups.h"

namespace dk {

class EventTypeDetailsLookups final : public EventLookups {
 public:
  EventTypeDetailsLookups(std::vector<std::shared_ptr<KLEventTypeDetailsResponse>> details,
                          std::vector<std::shared_ptr<KLAvailableFacesResponse>> faces);

  int32_t getPriorityForEventType(const std::optional<std::string>& type) const override;
  std::string getFaceNameForFaceID(const std::string& faceID) const override;
  std::string getLocalizedNameForEventType(const std::optional<std::string>& type,
                                           const std::optional<std::string>& category) const override;

 private:
  std::vector<std::shared_ptr<KLEventTypeDetailsResponse>> details_;
  std::vector<std::shared_ptr<KLAvailableFacesResponse>> faces_;
  std::unordered_map<std::string, int32_t> priorities_;  // the first entry of each type
};

}  // namespace dk

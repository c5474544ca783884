#include "timeline/event_type_details_lookups.h"

#include "foundation/date_formatting.h"
#include "platform/foundation/bundle.h"

namespace dk {

EventTypeDetailsLookups::EventTypeDetailsLookups(std::vector<std::shared_ptr<KLEventTypeDetailsResponse>> details,
                                                 std::vector<std::shared_ptr<KLAvailableFacesResponse>> faces)
    : details_(std::move(details)), faces_(std::move(faces)) {
  for (const auto& entry : details_)
    if (entry && entry->eventType()) priorities_.emplace(*entry->eventType(), entry->priority());
}

int32_t EventTypeDetailsLookups::getPriorityForEventType(const std::optional<std::string>& type) const {
  if (!type) return 0;
  auto it = priorities_.find(*type);
  return it == priorities_.end() ? 0 : it->second;
}

std::string EventTypeDetailsLookups::getFaceNameForFaceID(const std::string& faceID) const {
  for (const auto& face : faces_) {
    if (face && face->faceID() == faceID && face->state() == std::optional<std::string>("known"))
      return face->name().value_or("");
  }
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString("UnknownFace", "");
}

std::string EventTypeDetailsLookups::getLocalizedNameForEventType(const std::optional<std::string>& type,
                                                                  const std::optional<std::string>& category) const {
  for (const auto& entry : details_) {
    if (!entry) continue;
    if (category) {
      if (auto translated = entry->translatedCategory(*category)) return *translated;
    }
    if (type && entry->eventType() == type) return entry->localizedName().value_or(*type);
  }
  return type.value_or("");
}

}  // namespace dk

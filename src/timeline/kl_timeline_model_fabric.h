// KLTimelineModelFabric: makes the timeline's three models (class-only factory).
#pragma once

#include <memory>

#include "timeline/kl_timeline_events_model.h"
#include "timeline/kl_timeline_events_with_thumbnail_model.h"
#include "timeline/kl_timeline_recordings_model.h"

namespace dk {

class KLTimelineModelFabric {
 public:
  KLTimelineModelFabric() = delete;
  static std::shared_ptr<KLTimelineRecordingsModel> getRecordingsModel() {
    return std::make_shared<KLTimelineRecordingsModel>();
  }
  static std::shared_ptr<KLTimelineEventsModel> getEventsModel() { return std::make_shared<KLTimelineEventsModel>(); }
  static std::shared_ptr<KLTimelineEventsWithThumbnailModel> getEventsWithThumbnailModelWithEventManager(
      std::weak_ptr<const EventLookups> eventManager) {
    return std::make_shared<KLTimelineEventsWithThumbnailModel>(std::move(eventManager));
  }
};

}  // namespace dk

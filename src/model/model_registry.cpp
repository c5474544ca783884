#include "model/model_registry.h"

#include <map>
#include <unordered_map>

#include "model/kl_camera_list_response.h"
#include "model/kl_camera_mode_response.h"
#include "model/kl_camera_response.h"
#include "model/kl_camera_settings_response.h"
#include "model/kl_detections_response.h"
#include "model/kl_device_type_response.h"
#include "model/kl_event_response.h"
#include "model/kl_event_type_models.h"
#include "model/kl_recording_response.h"
#include "model/kl_response.h"
#include "model/kl_user_response.h"
#include "model/kl_wifi_response.h"
#include "model/kl_zone_response.h"

namespace dk {

using platform::ClassInfo;

const std::vector<const ClassInfo*>& allModelClasses() {
  static const std::vector<const ClassInfo*> classes = {
      &KLResponse::staticClassInfo(),
      &KLListResponse::staticClassInfo(),
      &KLRecordingResponse::staticClassInfo(),
      &KLRecordingListResponse::staticClassInfo(),
      &KLEventURLResponse::staticClassInfo(),
      &KLEventResponse::staticClassInfo(),
      &KLEventListResponse::staticClassInfo(),
      &KLUserResponse::staticClassInfo(),
      &KLUserRightsResponse::staticClassInfo(),
      &KLUserCameraSlots::staticClassInfo(),
      &KLSubscriptionRightsResponse::staticClassInfo(),
      &KLAvailableEventTypesResponse::staticClassInfo(),
      &KLEventTypeDetailsListResponse::staticClassInfo(),
      &KLEventTypeDetailsResponse::staticClassInfo(),
      &KLAvailableFacesListResponse::staticClassInfo(),
      &KLAvailableFacesResponse::staticClassInfo(),
      &KLFaceSample::staticClassInfo(),
      &KLCameraModeResponse::staticClassInfo(),
      &KLCameraModeList::staticClassInfo(),
      &KLDeviceTypeResponse::staticClassInfo(),
      &KLDeviceTypesResponse::staticClassInfo(),
      &KLWizardCameraModelsResponse::staticClassInfo(),
      &KLWizardCameraGroupsResponse::staticClassInfo(),
      &KLWizardCameraDetailsResponse::staticClassInfo(),
      &KLDetectionsResponse::staticClassInfo(),
      &KLSmartDetectionsResponse::staticClassInfo(),
      &KLCameraDetectionsResponse::staticClassInfo(),
      &KLDetectionsCapabilitiesResponse::staticClassInfo(),
      &KLCameraVideoSettingsResponse::staticClassInfo(),
      &KLCameraVideoSettingsCapabilitiesResponse::staticClassInfo(),
      &KLCameraFootageSettingsResponse::staticClassInfo(),
      &KLCameraFootageSettingsCapabilitiesResponse::staticClassInfo(),
      &KLResolution::staticClassInfo(),
      &KLCameraDeviceInfoResponse::staticClassInfo(),
      &KLCameraAdvancedInfoResponse::staticClassInfo(),
      &KLCameraCapabilitiesResponse::staticClassInfo(),
      &KLCameraPtzCapabilitiesResponse::staticClassInfo(),
      &KLWiFiResponse::staticClassInfo(),
      &KLModemResponse::staticClassInfo(),
      &KLWiFiListResponse::staticClassInfo(),
      &KLCameraUpdateResponse::staticClassInfo(),
      &KLCameraResponse::staticClassInfo(),
      &KLCameraListResponse::staticClassInfo(),
      &KLZoneUpdateResponse::staticClassInfo(),
      &KLZoneResponse::staticClassInfo(),
      &KLZoneListResponse::staticClassInfo(),
  };
  return classes;
}

const ClassInfo* modelClassNamed(std::string_view name) {
  static const auto* byName = [] {
    auto* map = new std::map<std::string, const ClassInfo*, std::less<>>;
    for (const ClassInfo* cls : allModelClasses()) map->emplace(cls->name(), cls);
    return map;
  }();
  auto it = byName->find(name);
  return it == byName->end() ? nullptr : it->second;
}

platform::Value objectDictionaryFromDictionary(const ClassInfo& listClass, const platform::Value& dictionary) {
  using Hook = platform::Value (*)(const platform::Value&);
  static const std::unordered_map<const ClassInfo*, Hook> hooks = {
      {&KLListResponse::staticClassInfo(), &KLListResponse::objectDictionaryFromDictionary},
      {&KLEventListResponse::staticClassInfo(), &KLEventListResponse::objectDictionaryFromDictionary},
      {&KLCameraListResponse::staticClassInfo(), &KLCameraListResponse::objectDictionaryFromDictionary},
      {&KLZoneListResponse::staticClassInfo(), &KLZoneListResponse::objectDictionaryFromDictionary},
  };
  for (const ClassInfo* cls = &listClass; cls; cls = cls->superclass()) {
    auto it = hooks.find(cls);
    if (it != hooks.end()) return it->second(dictionary);
  }
  return platform::Value();
}

}  // namespace dk

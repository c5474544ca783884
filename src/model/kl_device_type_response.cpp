#include "model/kl_device_type_response.h"

#include "model/model_keys.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

const ClassInfo& KLDeviceTypeResponse::staticClassInfo() {
  using D = KLDeviceTypeResponse;
  static const ClassInfo info(
      "KLDeviceTypeResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<D>(); },
      {property("deviceTypeId", &D::deviceTypeId_, {std::string(kDeviceTypeIdKey)}),
       property("modelName", &D::modelName_, {"display.model"}),
       property("brandName", &D::brandName_, {"display.brand"}),
       property("apiFamilyId", &D::apiFamilyId_, {"localConnection.apiFamilyId"}),
       property("supportsMicrophone", &D::supportsMicrophone_, {"capabilities.microphone"}),
       property("supportsSpeaker", &D::supportsSpeaker_, {"capabilities.speaker"}),
       property("supportsWifi", &D::supportsWifi_, {"capabilities.wifi"}),
       property("supportsPanTilt", &D::supportsPanTilt_, {"capabilities.panTilt"}),
       property("supportsZoom", &D::supportsZoom_, {"capabilities.zoom"}),
       property("supportsDisableWifi", &D::supportsDisableWifi_, {"capabilities.disableWifi"}),
       property("supportsForgetWifi", &D::supportsForgetWifi_, {"capabilities.forgetWifi"}),
       property("supportsSaveMultipleWifi", &D::supportsSaveMultipleWifi_, {"capabilities.saveMultipleWifi"}),
       property("providesFirmwareVersion", &D::providesFirmwareVersion_, {"capabilities.provideFirmwareVersion"})});
  return info;
}

const std::map<int64_t, std::string>& KLDeviceTypeResponse::capabilityToKeyPathMap() {
  static const std::map<int64_t, std::string> map = {
      {DeviceCapabilityMicrophone, "supportsMicrophone"},
      {DeviceCapabilitySpeaker, "supportsSpeaker"},
      {DeviceCapabilityWifi, "supportsWifi"},
      {DeviceCapabilityPanTilt, "supportsPanTilt"},
      {DeviceCapabilityZoom, "supportsZoom"},
      {DeviceCapabilityDisableWifi, "supportsDisableWifi"},
      {DeviceCapabilityForgetWifi, "supportsForgetWifi"},
      {DeviceCapabilitySaveMultipleWifi, "supportsSaveMultipleWifi"},
      {DeviceCapabilityFirmwareVersion, "providesFirmwareVersion"}};
  return map;
}

const std::map<uint64_t, std::string>& KLDeviceTypeResponse::apiFamilyMap() {
  static const std::map<uint64_t, std::string> map = {
      {ApiFamilyHostedCam, "HostedCam"}, {ApiFamilyKelo, "Kelo"}, {ApiFamilyRG40, "RG40"}};
  return map;
}

bool KLDeviceTypeResponse::doSupportsCapability(int64_t capability) const {
  if (capability == DeviceCapabilityFirmwareVersion) return true;
  auto it = capabilityToKeyPathMap().find(capability);
  if (it == capabilityToKeyPathMap().end()) return false;
  const Value flag = valueForKey(it->second);
  return flag.isNumber() && flag.boolValue();
}

bool KLDeviceTypeResponse::doBelongsToApiFamily(uint64_t family) const {
  auto it = apiFamilyMap().find(family);
  return it != apiFamilyMap().end() && apiFamilyId() == it->second;
}

const ClassInfo& KLDeviceTypesResponse::staticClassInfo() {
  using L = KLDeviceTypesResponse;
  static const ClassInfo info("KLDeviceTypesResponse", &KLListResponse::staticClassInfo(), [] { return std::make_shared<L>(); },
                              {property("values", &L::values, &L::setValues, {"deviceTypes"},
                                        platform::arrayTransformer(KLDeviceTypeResponse::staticClassInfo()))});
  return info;
}

const ClassInfo& KLWizardCameraDetailsResponse::staticClassInfo() {
  using D = KLWizardCameraDetailsResponse;
  static const ClassInfo info("KLWizardCameraDetailsResponse", &KLResponse::staticClassInfo(),
                              [] { return std::make_shared<D>(); },
                              {property("group", &D::group_, {"group"}), property("url", &D::url_, {"url"}),
                               property("deviceTypeIds", &D::deviceTypeIds_, {"deviceTypeIds"})});
  return info;
}

const ClassInfo& KLWizardCameraGroupsResponse::staticClassInfo() {
  using G = KLWizardCameraGroupsResponse;
  static const ClassInfo info(
      "KLWizardCameraGroupsResponse", &KLListResponse::staticClassInfo(), [] { return std::make_shared<G>(); },
      {property("values", &G::values, &G::setValues, {"details"},
                platform::arrayTransformer(KLWizardCameraDetailsResponse::staticClassInfo())),
       property("category", &G::category_, {"category"})});
  return info;
}

const ClassInfo& KLWizardCameraModelsResponse::staticClassInfo() {
  using M = KLWizardCameraModelsResponse;
  static const ClassInfo info(
      "KLWizardCameraModelsResponse", &KLListResponse::staticClassInfo(), [] { return std::make_shared<M>(); },
      {property("values", &M::values, &M::setValues, {"wizardCameraModels"},
                platform::arrayTransformer(KLWizardCameraGroupsResponse::staticClassInfo()))});
  return info;
}

}  // namespace dk

// KLDeviceTypeResponse: a camera model as the cloud describes it (display model and brand,
// local-connection API family, hardware capabilities); KLDeviceTypesResponse: the list of them;
// the wizard models that group device types for an add-a-camera flow.
//
// Thread safety: fields are read and written under each model's own mutex.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/kl_response.h"

namespace dk {

enum DeviceCapability : int64_t {
  DeviceCapabilityMicrophone = 0,
  DeviceCapabilitySpeaker = 1,
  DeviceCapabilityWifi = 2,
  DeviceCapabilityPanTilt = 3,
  DeviceCapabilityZoom = 4,
  DeviceCapabilityDisableWifi = 5,
  DeviceCapabilityForgetWifi = 6,
  DeviceCapabilitySaveMultipleWifi = 7,
  DeviceCapabilityFirmwareVersion = 8,
};

enum ApiFamily : uint64_t { ApiFamilyHostedCam = 0, ApiFamilyKelo = 1, ApiFamilyRG40 = 2 };

class KLDeviceTypeResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<int64_t>, deviceTypeId, setDeviceTypeId);
  DK_MODEL_PROPERTY(std::optional<std::string>, modelName, setModelName);
  DK_MODEL_PROPERTY(std::optional<std::string>, brandName, setBrandName);
  DK_MODEL_PROPERTY(std::optional<std::string>, apiFamilyId, setApiFamilyId);
  DK_MODEL_PROPERTY(std::optional<bool>, supportsMicrophone, setSupportsMicrophone);
  DK_MODEL_PROPERTY(std::optional<bool>, supportsSpeaker, setSupportsSpeaker);
  DK_MODEL_PROPERTY(std::optional<bool>, supportsWifi, setSupportsWifi);
  DK_MODEL_PROPERTY(std::optional<bool>, supportsPanTilt, setSupportsPanTilt);
  DK_MODEL_PROPERTY(std::optional<bool>, supportsZoom, setSupportsZoom);
  DK_MODEL_PROPERTY(std::optional<bool>, supportsDisableWifi, setSupportsDisableWifi);
  DK_MODEL_PROPERTY(std::optional<bool>, supportsForgetWifi, setSupportsForgetWifi);
  DK_MODEL_PROPERTY(std::optional<bool>, supportsSaveMultipleWifi, setSupportsSaveMultipleWifi);
  DK_MODEL_PROPERTY(std::optional<bool>, providesFirmwareVersion, setProvidesFirmwareVersion);

 public:
  // Capability (DeviceCapability) to the property consulted.
  static const std::map<int64_t, std::string>& capabilityToKeyPathMap();
  // API family to its "apiFamilyId" text.
  static const std::map<uint64_t, std::string>& apiFamilyMap();

  // The firmware version always counts as provided; otherwise the capability's flag (NO when it
  // is missing or the capability is unknown).
  bool doSupportsCapability(int64_t capability) const;
  bool doBelongsToApiFamily(uint64_t family) const;
};

class KLDeviceTypesResponse : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  std::vector<std::shared_ptr<KLDeviceTypeResponse>> deviceTypes() const {
    return modelsOfClass<KLDeviceTypeResponse>(values());
  }
};

class KLWizardCameraDetailsResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<int64_t>, group, setGroup);
  DK_MODEL_PROPERTY(std::optional<std::string>, url, setUrl);
  DK_MODEL_PROPERTY(std::optional<std::vector<int64_t>>, deviceTypeIds, setDeviceTypeIds);
};

// One group of the wizard: a category and its details (JSON "details").
class KLWizardCameraGroupsResponse : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, category, setCategory);

 public:
  std::vector<std::shared_ptr<KLWizardCameraDetailsResponse>> details() const {
    return modelsOfClass<KLWizardCameraDetailsResponse>(values());
  }
};

class KLWizardCameraModelsResponse : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  std::vector<std::shared_ptr<KLWizardCameraGroupsResponse>> groups() const {
    return modelsOfClass<KLWizardCameraGroupsResponse>(values());
  }
};

}  // namespace dk

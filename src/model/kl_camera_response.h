// KLCameraUpdateResponse: the fields of a camera a client may change, renderable as the body of an
// update call. KLCameraResponse: a camera of the account as held in memory (name, online flag,
// recording flags, zone, firmware, MAC address, Wi-Fi and mobile state, subscription rights,
// mode, detections and capability records), merged with every later reply so that a reply that
// carries only some fields never erases what a fuller one brought.
//
// Thread safety: every field is read and written under the camera's own mutex; the camera service
// merges replies into cached cameras on its queue while screens read them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/kl_camera_mode_response.h"
#include "model/kl_camera_settings_response.h"
#include "model/kl_detections_response.h"
#include "model/kl_response.h"
#include "model/kl_user_response.h"
#include "model/kl_wifi_response.h"

namespace dk {

enum KLCameraState : int32_t { KLCameraStateUnknown = 0, KLCameraStateOffline = 1, KLCameraStateOnline = 2 };

class KLCameraUpdateResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<std::string>, name, setName);
  DK_MODEL_PROPERTY(std::optional<std::string>, connectionType, setConnectionType);
  DK_MODEL_PROPERTY(std::optional<bool>, audioEnabled, setAudioEnabled);
  DK_MODEL_PROPERTY(std::optional<bool>, state, setState);  // online
  DK_MODEL_PROPERTY(std::optional<int64_t>, zoneID, setZoneID);
  DK_MODEL_PROPERTY(std::optional<int64_t>, deviceTypeId, setDeviceTypeId);
  DK_MODEL_PROPERTY(std::optional<bool>, recordingOnCloud, setRecordingOnCloud);
  DK_MODEL_PROPERTY(std::optional<bool>, recordingOnSd, setRecordingOnSd);

 public:
  bool isRecording() const { return recordingOnSd().value_or(false) || recordingOnCloud().value_or(false); }
  // The update body: the nine fields under their JSON keys, without unknown ones and without an
  // empty name.
  platform::ValueDictionary JSONObject() const;
  // A reply without a field never clears it.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;
};

class KLCameraResponse : public KLCameraUpdateResponse {
 public:
  // A new camera holds empty nested records (status, Wi-Fi, rights, mode, detections), never nil.
  KLCameraResponse();
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<std::string>, currentVersion, setCurrentVersion);
  DK_MODEL_PROPERTY(std::optional<std::string>, targetVersion, setTargetVersion);
  // Only a valid MAC address is kept.
  DK_MODEL_PROPERTY(std::optional<std::string>, macAddress, setMacAddress);
  DK_MODEL_PROPERTY(KLWiFiPtr, mobileStatus, setMobileStatus);
  DK_MODEL_PROPERTY(KLWiFiListPtr, wifiList, setWifiList);
  DK_MODEL_PROPERTY(std::shared_ptr<KLSubscriptionRightsResponse>, subscriptionRights, setSubscriptionRights);
  DK_MODEL_PROPERTY(KLCameraModePtr, cameraMode, setCameraMode);
  DK_MODEL_PROPERTY(std::shared_ptr<KLDetectionsCapabilitiesResponse>, detectionsCapabilities, setDetectionsCapabilities);
  DK_MODEL_PROPERTY(std::shared_ptr<KLSmartDetectionsResponse>, smartDetections, setSmartDetections);
  DK_MODEL_PROPERTY(std::shared_ptr<KLCameraDetectionsResponse>, cameraDetections, setCameraDetections);
  DK_MODEL_PROPERTY(std::shared_ptr<KLCameraVideoSettingsCapabilitiesResponse>, videoSettingsCapabilities,
                    setVideoSettingsCapabilities);
  DK_MODEL_PROPERTY(std::shared_ptr<KLCameraFootageSettingsCapabilitiesResponse>, footageSettingsCapabilities,
                    setFootageSettingsCapabilities);
  DK_MODEL_PROPERTY(std::shared_ptr<KLCameraCapabilitiesResponse>, cameraCapabilities, setCameraCapabilities);
  DK_MODEL_PROPERTY(std::shared_ptr<KLCameraPtzCapabilitiesResponse>, cameraPtzCapabilities, setCameraPtzCapabilities);

 public:
  // Derived from `state`: unknown without an online flag, else online or offline.
  KLCameraState cameraState() const;
  // Stores a value the getter does not read; offline also empties the Wi-Fi lists.
  void setCameraState(KLCameraState state);

  // The connected network (the first of wifiList.status) with its saved record merged into it;
  // nullptr when there is none. Computed at every read.
  KLWiFiPtr wifiStatus() const;
  void setWifiStatus(KLWiFiPtr status);

  // A nested record is taken over (shared, not merged) only when it carries the field that marks
  // it as really sent; lists only when they hold something; plain fields when not nil.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;

 private:
  KLCameraState storedCameraState_ = KLCameraStateUnknown;
  KLWiFiPtr storedWifiStatus_;
};

using KLCameraPtr = std::shared_ptr<KLCameraResponse>;

}  // namespace dk

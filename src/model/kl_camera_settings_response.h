// The camera settings records of the cloud API: image settings and the options offered for them,
// footage (recording) settings and their options, device information, connection details and
// credentials, and the two capability records nested in a camera.
//
// Mapping never fails on unexpected JSON: strings stay strings, numbers become their text, other
// elements are skipped, and an option the display maps do not know is left out.
// Thread safety: fields are read and written under each model's own mutex.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/kl_response.h"

namespace dk {

using Strings = std::vector<std::string>;

class KLCameraVideoSettingsResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, rotation, setRotation);
  // Display texts of the cloud values (nil for a value the maps do not know).
  DK_MODEL_PROPERTY(std::optional<std::string>, antiFlickering, setAntiFlickering);
  DK_MODEL_PROPERTY(std::optional<std::string>, backlightCompensation, setBacklightCompensation);
  DK_MODEL_PROPERTY(std::optional<std::string>, dayNightMode, setDayNightMode);
};

class KLCameraVideoSettingsCapabilitiesResponse : public KLResponse {
 public:
  KLCameraVideoSettingsCapabilitiesResponse();
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  // nil when the reply's list is not an array.
  DK_MODEL_PROPERTY(std::optional<Strings>, rotationCapabilities, setRotationCapabilities);
  DK_MODEL_PROPERTY(std::optional<Strings>, antiFlickeringCapabilities, setAntiFlickeringCapabilities);
  DK_MODEL_PROPERTY(std::optional<Strings>, backlightCompensationCapabilities, setBacklightCompensationCapabilities);
  DK_MODEL_PROPERTY(std::optional<Strings>, dayNightModeCapabilities, setDayNightModeCapabilities);
  DK_MODEL_PROPERTY(std::optional<bool>, rotationAvailable, setRotationAvailable);
  DK_MODEL_PROPERTY(std::optional<bool>, antiFlickeringAvailable, setAntiFlickeringAvailable);
  DK_MODEL_PROPERTY(std::optional<bool>, backlightCompensationAvailable, setBacklightCompensationAvailable);
  DK_MODEL_PROPERTY(std::optional<bool>, dayNightModeAvailable, setDayNightModeAvailable);
};

class KLCameraFootageSettingsResponse : public KLResponse {
 public:
  KLCameraFootageSettingsResponse();
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, resolution, setResolution);
  DK_MODEL_PROPERTY(std::optional<int64_t>, frameRate, setFrameRate);
  DK_MODEL_PROPERTY(std::optional<int64_t>, maxBitRate, setMaxBitRate);
  // "<maxBitRate> kb/s"; "0 kb/s" when the bit rate is missing or not a number.
  DK_MODEL_PROPERTY(std::string, bitRate, setBitRate);
};

// One recording resolution and the frame rates offered for it.
class KLResolution : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, resolution, setResolution);
  // The JSON "framerates" array as sent.
  DK_MODEL_PROPERTY(platform::Value, frameRates, setFrameRates);
};

class KLCameraFootageSettingsCapabilitiesResponse : public KLResponse {
 public:
  KLCameraFootageSettingsCapabilitiesResponse();
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  // One entry per object under "rec", its key as the resolution.
  DK_MODEL_PROPERTY(std::vector<std::shared_ptr<KLResolution>>, recordingResolutions, setRecordingResolutions);
  // The keys of "rec", digit runs compared as numbers ("640x480" before "1280x720").
  DK_MODEL_PROPERTY(std::optional<Strings>, resolutions, setResolutions);

 public:
  // The localised "Continuous" and "DetectionBased", made on first read and kept.
  Strings recordings() const;
  void setRecordings(Strings recordings);
  // The frame rates of that resolution as texts (the last entry of that name wins); nullopt when
  // no entry has it.
  std::optional<Strings> frameRatesForResolution(const std::optional<std::string>& resolution) const;

 private:
  mutable std::optional<Strings> recordings_;
};

class KLCameraDeviceInfoResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, brand, setBrand);
  DK_MODEL_PROPERTY(std::optional<std::string>, model, setModel);
};

class KLCameraAdvancedInfoResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  // Kept only when they are valid IPv4 addresses.
  DK_MODEL_PROPERTY(std::optional<std::string>, localIP, setLocalIP);
  DK_MODEL_PROPERTY(std::optional<std::string>, globalIP, setGlobalIP);
  DK_MODEL_PROPERTY(std::optional<std::string>, username, setUsername);
  DK_MODEL_PROPERTY(std::optional<std::string>, password, setPassword);
  DK_MODEL_PROPERTY(std::optional<bool>, cloudManagedCredentials, setCloudManagedCredentials);
  // Stored by the camera service after a device-information read.
  DK_MODEL_PROPERTY(std::shared_ptr<KLCameraDeviceInfoResponse>, deviceInfo, setDeviceInfo);

 public:
  // The other record's value replaces ours only when it is neither nil nor the null object.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;
};

class KLCameraCapabilitiesResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<bool>, ptz, setPtz);
  DK_MODEL_PROPERTY(std::optional<bool>, wifi, setWifi);
  DK_MODEL_PROPERTY(std::optional<bool>, playAudio, setPlayAudio);
  DK_MODEL_PROPERTY(std::optional<bool>, recordAudio, setRecordAudio);
};

class KLCameraPtzCapabilitiesResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<bool>, zoom, setZoom);
  DK_MODEL_PROPERTY(std::optional<bool>, panTilt, setPanTilt);
};

// "1280x720" after "640x480": digit runs compare as numbers, other characters as they are.
bool numericLess(std::string_view a, std::string_view b);

}  // namespace dk

// The detection models nested in a camera record: the analytics switch (KLSmartDetectionsResponse),
// the detector switches with the bit set of triggered detections (KLCameraDetectionsResponse), and
// what the camera can detect (KLDetectionsCapabilitiesResponse), with localised detector names.
//
// Thread safety: fields, including the values the getters derive and keep, are read and written
// under each model's own mutex.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/kl_response.h"

namespace dk {

enum KLTriggeredDetection : uint64_t {
  KLTriggeredDetectionVideoMotion = 2,
  KLTriggeredDetectionPir = 4,
  KLTriggeredDetectionSound = 8,
  KLTriggeredDetectionDoorbell = 16,
};

// A detector switch: -1 not known yet, 0 off, 1 on.
class KLDetectionsResponse : public KLResponse {
 public:
  KLDetectionsResponse() { enabled_ = -1; }
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<int64_t>, enabled, setEnabled);
};

class KLSmartDetectionsResponse : public KLDetectionsResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<bool>, personDetectionOnly, setPersonDetectionOnly);
};

class KLCameraDetectionsResponse : public KLDetectionsResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  // Each switch is the "enabled" of the first element of its JSON array (nil otherwise).
  DK_MODEL_PROPERTY(std::optional<int64_t>, videoMotionDetection, setVideoMotionDetection);
  DK_MODEL_PROPERTY(std::optional<int64_t>, pirDetection, setPirDetection);
  DK_MODEL_PROPERTY(std::optional<int64_t>, soundDetection, setSoundDetection);
  DK_MODEL_PROPERTY(std::optional<int64_t>, doorbellDetection, setDoorbellDetection);

 public:
  // The stored set plus the bit of every switch that is on (a switch not known yet is not on).
  // The getter only adds bits; the setter is the one way to clear them.
  uint64_t triggeredDetections() const;
  void setTriggeredDetections(uint64_t detections);
  // The localised names of the video-motion, infrared and sound switches that are on, joined
  // with ", "; kept in the property.
  std::string activeCameraDetections() const;
  void setActiveCameraDetections(std::string text);

  // Copies the other model's value only when it is not nil.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;

 private:
  mutable uint64_t triggeredDetections_ = 0;
  mutable std::string activeCameraDetections_;
};

class KLDetectionsCapabilitiesResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<bool>, sound, setSound);
  DK_MODEL_PROPERTY(std::optional<bool>, videoMotion, setVideoMotion);
  DK_MODEL_PROPERTY(std::optional<bool>, pir, setPir);
  DK_MODEL_PROPERTY(std::optional<bool>, doorbell, setDoorbell);
  DK_MODEL_PROPERTY(std::optional<bool>, analyticsObjectArea, setAnalyticsObjectArea);
  DK_MODEL_PROPERTY(std::optional<bool>, analyticsObjectTripWire, setAnalyticsObjectTripWire);
  DK_MODEL_PROPERTY(std::optional<bool>, analyticsPersonArea, setAnalyticsPersonArea);
  DK_MODEL_PROPERTY(std::optional<bool>, analyticsPersonTripWire, setAnalyticsPersonTripWire);

 public:
  // Localised names ("Person", "Object", "Sound", "VideoDoorbell", "VideoMotion", "Infrared") of
  // what the camera supports, in that order; kept in the property.
  std::vector<std::string> supportedTypes() const;
  void setSupportedTypes(std::vector<std::string> types);
  // The same for the triggered-detection settings.
  std::vector<std::string> supportedTriggeredTypes() const;
  void setSupportedTriggeredTypes(std::vector<std::string> types);

  bool hasSmartDetectionsCapability() const;
  bool hasInfraredCapability() const { return pir().value_or(false); }
  bool hasVideoMotionCapability() const { return videoMotion().value_or(false); }
  bool hasSoundCapability() const { return sound().value_or(false); }
  bool hasDoorbellCapability() const { return doorbell().value_or(false); }

 private:
  mutable std::vector<std::string> supportedTypes_;
  mutable std::vector<std::string> supportedTriggeredTypes_;
};

}  // namespace dk

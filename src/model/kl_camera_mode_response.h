// KLCameraModeResponse: a camera's mode as the cloud reports it ("armed", "disarmed", "silent",
// "custom", "private") with the display names and type numbers screens need; KLCameraModeList:
// the modes a user may choose; KLCameraVideoSettingsCapabilitiesMap: the display texts of the
// image-setting values (exposure, backlight compensation, day/night) and their reverse maps.
//
// The maps are built once per process from the host's localised texts and are immutable after.
// Thread safety: a mode record's fields (and the values its getters derive and keep) are read and
// written under its own mutex.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/kl_response.h"

namespace dk {

// A cloud value to display text map (or the reverse).
using ValueMap = std::map<std::string, std::string, std::less<>>;
// The entry of `key` in `map`; nullopt when absent.
std::optional<std::string> lookUp(const ValueMap& map, std::string_view key);

class KLCameraModeResponse : public KLResponse {
 public:
  KLCameraModeResponse() = default;
  // initWithName: a record whose mode is the given cloud value.
  explicit KLCameraModeResponse(std::string mode);

  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<std::string>, mode, setMode);
  DK_MODEL_PROPERTY(std::optional<std::string>, previousMode, setPreviousMode);
  DK_MODEL_PROPERTY(std::optional<std::string>, recordingMode, setRecordingMode);
  DK_MODEL_PROPERTY(std::optional<std::string>, recordingModeName, setRecordingModeName);

 public:
  // With `mode` set: its modeMap entry, looked up as stored (no case change), kept and returned;
  // without: the kept value (what mapping filled from the lower-cased JSON value).
  std::optional<std::string> modeName() const;
  void setModeName(std::optional<std::string> name);
  std::optional<std::string> previousModeName() const;
  void setPreviousModeName(std::optional<std::string> name);
  // 1 armed, 2 disarmed, 3 silent, 4 custom, 5 private; the kept value (0 when new) otherwise.
  int32_t modeType() const;
  void setModeType(int32_t type);
  // A private camera is described by the mode it had before.
  std::optional<std::string> modeDescription() const;
  void setModeDescription(std::optional<std::string> description);

  static const ValueMap& modeMap();
  static const ValueMap& modeDescriptionMap();
  static const std::map<std::string, int32_t, std::less<>>& modeTypeMap();
  static const ValueMap& recordingModeDescriptionMap();
  static const ValueMap& recordingModeValueMap();

 private:
  mutable std::optional<std::string> modeName_;
  mutable std::optional<std::string> previousModeName_;
  mutable int32_t modeType_ = 0;
  mutable std::optional<std::string> modeDescription_;
};

using KLCameraModePtr = std::shared_ptr<KLCameraModeResponse>;

// The modes a user may choose: a new array of armed, disarmed, silent and custom at every read.
class KLCameraModeList : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  platform::Value values() const override;
  void setValues(platform::Value) override {}  // nothing is stored

  std::vector<KLCameraModePtr> modes() const;
  // The choosable modes without the first one of that type; all of them when none matches.
  std::vector<KLCameraModePtr> modesWithoutMode(int32_t modeType) const;
};

class KLCameraVideoSettingsCapabilitiesMap {
 public:
  static const ValueMap& exposureCapabiltiesMap();
  static const ValueMap& exposureCapabiltiesValuesMap();
  static const ValueMap& backlightCapabiltiesMap();
  static const ValueMap& backlightCapabiltiesValuesMap();
  static const ValueMap& manualNightviewCapabiltiesMap();
  static const ValueMap& manualNightviewCapabiltiesValuesMap();
};

}  // namespace dk

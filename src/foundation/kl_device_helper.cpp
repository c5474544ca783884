#include "foundation/kl_device_helper.h"

#include <sys/utsname.h>

#include <array>
#include <mutex>
#include <utility>

#include "foundation/string_helpers.h"

namespace dk {
namespace {

struct IdentifierModel {
  std::string_view identifier;
  KLDeviceModel model;
};

constexpr std::array<IdentifierModel, 38> kIdentifiers = {{
    {"x86_64", 0},      {"i386", 0},        {"iPhone4,1", 1},   {"iPhone5,1", 2},   {"iPhone5,2", 2},
    {"iPhone5,3", 2},   {"iPhone5,4", 2},   {"iPhone6,1", 3},   {"iPhone6,2", 3},   {"iPhone8,4", 4},
    {"iPhone7,1", 5},   {"iPhone7,2", 6},   {"iPhone8,1", 7},   {"iPhone8,2", 8},   {"iPhone9,1", 9},
    {"iPhone9,3", 9},   {"iPhone9,2", 10},  {"iPhone9,4", 10},  {"iPhone10,1", 11}, {"iPhone10,4", 11},
    {"iPhone10,2", 12}, {"iPhone10,5", 12}, {"iPhone10,3", 13}, {"iPhone10,6", 13}, {"iPhone11,8", 14},
    {"iPhone11,2", 15}, {"iPhone11,4", 16}, {"iPhone11,6", 16}, {"iPhone12,1", 17}, {"iPhone12,3", 18},
    {"iPhone12,5", 19}, {"iPod1,1", 20},    {"iPod2,1", 21},    {"iPod3,1", 22},    {"iPod4,1", 23},
    {"iPod5,1", 24},    {"iPod7,1", 25},    {"iPod9,1", 26},
}};

// Indexed by model - 1 (models 1 to 27).
constexpr std::array<int32_t, 27> kDimensions = {1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                                                 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 0, 2};
// Indexed by model - 1 (models 1 to 25); every other model is class 2.
constexpr std::array<int32_t, 25> kRetina = {1, 1, 1, 1, 2, 1, 1, 2, 1, 2, 1, 2, 2,
                                             2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1};

constexpr char kIPv4Pattern[] =
    "(^(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.){3}(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)$)";
constexpr char kMacPattern[] = "(?:([0-9A-Fa-f]{2}[:-]){5}([0-9A-Fa-f]{2})$)";
constexpr char kMacCharacterPattern[] = "([a-fA-F0-9]*)";

}  // namespace

std::string KLDeviceHelper::platformRawString() {
  struct utsname info {};
  if (uname(&info) != 0) return {};
  return info.machine;
}

KLDeviceModel KLDeviceHelper::deviceModelForIdentifier(std::string_view hardwareIdentifier) {
  for (const auto& entry : kIdentifiers) {
    if (entry.identifier == hardwareIdentifier) return entry.model;
  }
  return kKLDeviceModelOther;
}

KLDeviceModel KLDeviceHelper::getDevice() {
  static const KLDeviceModel model = deviceModelForIdentifier(platformRawString());
  return model;
}

bool KLDeviceHelper::isXGeneration() { return isXGenerationModel(getDevice()); }

bool KLDeviceHelper::isXGenerationOriPad() {
  KLDeviceModel model = getDevice();
  return isXGenerationModel(model) || model == kKLDeviceModelOther;
}

int32_t KLDeviceHelper::deviceDimensionForModel(KLDeviceModel model) {
  if (model < 1 || model > 27) return 0;
  return kDimensions[static_cast<size_t>(model - 1)];
}

int32_t KLDeviceHelper::retinaTypeForModel(KLDeviceModel model) {
  if (model < 1 || model > 25) return 2;
  return kRetina[static_cast<size_t>(model - 1)];
}

int32_t KLDeviceHelper::getDeviceDimension() { return deviceDimensionForModel(getDevice()); }

int32_t KLDeviceHelper::getDeviceRetinaType() {
  static const int32_t retina = retinaTypeForModel(getDevice());
  return retina;
}

bool validateIPAddress(std::string_view address) {
  if (address == "0.0.0.0") return false;
  return stringMatchesPattern(address, kIPv4Pattern);
}

bool validateMacAddress(std::string_view address) {
  if (address == "00-00-00-00-00-00" || address == "00:00:00:00:00:00") return false;
  return stringMatchesPattern(address, kMacPattern);
}

bool validateMacAddressCharacter(std::string_view text) { return stringMatchesPattern(text, kMacCharacterPattern); }

platform::ValueDictionary removeAllNullValuesFromDictionary(const platform::ValueDictionary& dictionary) {
  platform::ValueDictionary out;
  for (const auto& [key, value] : dictionary) {
    if (value.isNilOrNull()) continue;
    if (value.isString() && value.stringValue().empty()) continue;
    out.emplace(key, value);
  }
  return out;
}

}  // namespace dk

// KLDeviceHelper: which device model the process runs on (for font and button sizes), and the
// small validation and clean-up helpers of the same family (IPv4 and MAC addresses typed for a
// camera, null stripping of request bodies).
//
// Stateless apart from the device model and retina class, each computed once per process; every
// function is safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace dk {

// 0: simulator ("x86_64", "i386"); 1 to 19: phone models; 20 to 26: pod models; 27: anything else.
using KLDeviceModel = int32_t;
inline constexpr KLDeviceModel kKLDeviceModelSimulator = 0;
inline constexpr KLDeviceModel kKLDeviceModelOther = 27;

class KLDeviceHelper {
 public:
  // The machine's hardware identifier ("hw.machine"; the kernel's machine name here).
  static std::string platformRawString();
  // The model of this machine, computed on first call.
  static KLDeviceModel getDevice();
  // Model 13 to 19 (the notched phones); the second also for model 27.
  static bool isXGeneration();
  static bool isXGenerationOriPad();
  // Screen-size class (0, 1 or 2) and retina class (1 or 2) of this machine.
  static int32_t getDeviceDimension();
  static int32_t getDeviceRetinaType();

  // The pure tables behind the above, for any identifier or model.
  static KLDeviceModel deviceModelForIdentifier(std::string_view hardwareIdentifier);
  static int32_t deviceDimensionForModel(KLDeviceModel model);
  static int32_t retinaTypeForModel(KLDeviceModel model);
  static bool isXGenerationModel(KLDeviceModel model) { return model >= 13 && model <= 19; }
};

// A dotted IPv4 address, each part 0 to 255; "0.0.0.0" is refused.
bool validateIPAddress(std::string_view address);
// Six hex pairs separated by ":" or "-" (mixed allowed); the all-zero forms are refused.
bool validateMacAddress(std::string_view address);
// Hex digits only (the empty string included).
bool validateMacAddressCharacter(std::string_view text);

// A copy without the entries whose value is nil, the null object or the empty string (no recursion;
// 0, NO, arrays and nested dictionaries are kept). Every JSON body built from a model goes through it.
platform::ValueDictionary removeAllNullValuesFromDictionary(const platform::ValueDictionary& dictionary);

}  // namespace dk

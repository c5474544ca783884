#include "model/foundation_bridge.h"

#include "foundation/kl_device_helper.h"
#include "platform/foundation/bundle.h"

namespace dk::bridge {

std::string localizedString(std::string_view key, std::optional<std::string_view> defaultValue) {
  return platform::Bundle::main()->localizedString(key, defaultValue.value_or(key));
}

bool validateIPAddress(std::string_view address) { return dk::validateIPAddress(address); }

bool validateMacAddress(std::string_view address) { return dk::validateMacAddress(address); }

platform::ValueDictionary removeAllNullValuesFromDictionary(const platform::ValueDictionary& dictionary) {
  return dk::removeAllNullValuesFromDictionary(dictionary);
}

}  // namespace dk::bridge

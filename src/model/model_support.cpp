#include "model/model_support.h"

#include "foundation/kl_device_helper.h"
#include "platform/foundation/bundle.h"

namespace dk::model_support {

std::string localizedString(std::string_view key, std::optional<std::string_view> defaultValue) {
  return platform::Bundle::main()->localizedString(key, defaultValue.value_or(key));
}

std::optional<std::string> scalarText(const platform::Value& v) {
  if (v.isString()) return v.stringValue();
  if (v.isNumber()) return v.description();
  return std::nullopt;
}

platform::Value valueOrNull(const platform::Value& v) { return v.isNil() ? platform::Value::null() : v; }

platform::ValueTransform nilTransformer() {
  return [](const platform::Value&) { return platform::Value(); };
}

bool validateIPAddress(std::string_view address) { return dk::validateIPAddress(address); }

bool validateMacAddress(std::string_view address) { return dk::validateMacAddress(address); }

platform::ValueDictionary removeAllNullValuesFromDictionary(const platform::ValueDictionary& dictionary) {
  return dk::removeAllNullValuesFromDictionary(dictionary);
}

}  // namespace dk::model_support

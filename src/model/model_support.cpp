#include "model/model_support.h"

#include <cctype>

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

bool validateIPAddress(std::string_view address) {
  if (address == "0.0.0.0") return false;
  int parts = 0;
  size_t i = 0;
  while (true) {
    size_t digitsSeen = 0;
    int value = 0;
    while (i < address.size() && address[i] >= '0' && address[i] <= '9' && digitsSeen < 4) {
      value = value * 10 + (address[i] - '0');
      ++digitsSeen;
      ++i;
    }
    if (digitsSeen == 0 || digitsSeen > 3 || value > 255) return false;
    ++parts;
    if (i == address.size()) return parts == 4;
    if (address[i] != '.' || parts == 4) return false;
    ++i;
  }
}

bool validateMacAddress(std::string_view address) {
  if (address == "00-00-00-00-00-00" || address == "00:00:00:00:00:00") return false;
  if (address.size() != 17) return false;
  for (size_t i = 0; i < address.size(); ++i) {
    const char c = address[i];
    if (i % 3 == 2) {
      if (c != ':' && c != '-') return false;
    } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

platform::ValueDictionary removeAllNullValuesFromDictionary(const platform::ValueDictionary& dictionary) {
  platform::ValueDictionary out;
  for (const auto& [key, value] : dictionary) {
    if (value.isNilOrNull() || (value.isString() && value.stringValue().empty())) continue;
    out.emplace(key, value);
  }
  return out;
}

}  // namespace dk::model_support

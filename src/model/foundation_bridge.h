// Small helpers the models share: the host's localised texts and the checks and clean-up of
// values that go into and come out of camera and zone records.
//
// Stateless free functions; safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace dk::bridge {

// The host's (main bundle's) text for a localisation key; without a default, the key itself.
std::string localizedString(std::string_view key, std::optional<std::string_view> defaultValue = std::nullopt);

// A dotted IPv4 address other than "0.0.0.0" (each part 0 to 255, at most three digits).
bool validateIPAddress(std::string_view address);
// Six hexadecimal pairs joined by ":" or "-" (mixed allowed), other than all zeros.
bool validateMacAddress(std::string_view address);
// A dictionary without its null values and empty strings (top level only).
platform::ValueDictionary removeAllNullValuesFromDictionary(const platform::ValueDictionary& dictionary);

}  // namespace dk::bridge

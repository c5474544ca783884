// Display names of locale parts (NSLocale displayNameForKey:value:): the name of a country code in
// a given locale's language. Thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/locale.h"

namespace dk::platform {

// "DE" in en_US gives "Germany"; nullopt for an empty or unknown code.
std::optional<std::string> displayNameForCountryCode(std::string_view code, const Locale& locale = Locale::current());

}  // namespace dk::platform

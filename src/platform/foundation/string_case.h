// Case mapping of user-visible text (uppercaseStringWithLocale:), by the locale's rules, so that
// month and weekday names outside ASCII come out right. Pure functions; thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "platform/foundation/locale.h"

namespace dk::platform {

std::string uppercaseString(std::string_view text, const Locale& locale = Locale::current());
// The first character (a whole grapheme's first code point) of the text, upper-cased.
std::string firstLetterUppercased(std::string_view text, const Locale& locale = Locale::current());

}  // namespace dk::platform

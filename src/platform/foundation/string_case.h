// Case mapping of user-visible text (uppercaseStringWithLocale:), by the locale's rules, so that
// month and weekday names outside ASCII come out right; and ASCII-only case folding for protocol
// and key text (header names, schemes, hosts, media types), where no locale may play a part.
// Pure functions; thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "platform/foundation/locale.h"

namespace dk::platform {

std::string uppercaseString(std::string_view text, const Locale& locale = Locale::current());
// The first character (a whole grapheme's first code point) of the text, upper-cased.
std::string firstLetterUppercased(std::string_view text, const Locale& locale = Locale::current());

// Equal but for the case of ASCII letters ("Content-Length", "content-length"); other bytes must match.
bool equalsIgnoringASCIICase(std::string_view a, std::string_view b);
// The text with its ASCII letters lower-cased; other bytes as they are.
std::string asciiLowercase(std::string_view text);

}  // namespace dk::platform

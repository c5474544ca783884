#include "platform/foundation/locale_names.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cctype>

namespace dk::platform {

std::optional<std::string> displayNameForCountryCode(std::string_view code, const Locale& locale) {
  if (code.empty() || code.size() > 3 ||
      !std::all_of(code.begin(), code.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); })) {
    return std::nullopt;
  }
  std::string upper(code);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const icu::Locale region(("und_" + upper).c_str());
  const icu::Locale display(locale.identifier().c_str());
  icu::UnicodeString name;
  region.getDisplayCountry(display, name);
  std::string out;
  name.toUTF8String(out);
  // ICU echoes a code it does not know.
  if (out.empty() || out == upper) return std::nullopt;
  return out;
}

}  // namespace dk::platform

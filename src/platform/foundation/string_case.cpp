#include "platform/foundation/string_case.h"

#include <unicode/locid.h>

#include "platform/foundation/icu_internal.h"

namespace dk::platform {

std::string uppercaseString(std::string_view text, const Locale& locale) {
  icu::UnicodeString unicode = toUnicode(text);
  unicode.toUpper(icu::Locale(locale.identifier().c_str()));
  return toUtf8(unicode);
}

std::string firstLetterUppercased(std::string_view text, const Locale& locale) {
  const icu::UnicodeString unicode = toUnicode(text);
  if (unicode.isEmpty()) return {};
  icu::UnicodeString first = unicode.tempSubString(0, unicode.moveIndex32(0, 1));
  first.toUpper(icu::Locale(locale.identifier().c_str()));
  return toUtf8(first);
}

namespace {
char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

std::string asciiLowercase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = asciiLower(c);
  return out;
}

}  // namespace dk::platform

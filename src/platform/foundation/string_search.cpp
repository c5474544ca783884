#include "platform/foundation/string_search.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace dk::platform {

namespace {

std::string fold(std::string_view text, bool removeDiacritics) {
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  s.foldCase();
  if (removeDiacritics) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_SUCCESS(status)) {
      icu::UnicodeString decomposed = nfd->normalize(s, status);
      if (U_SUCCESS(status)) {
        icu::UnicodeString stripped;
        for (int32_t i = 0; i < decomposed.length();) {
          const UChar32 c = decomposed.char32At(i);
          if (u_charType(c) != U_NON_SPACING_MARK) stripped.append(c);
          i += U16_LENGTH(c);
        }
        s = stripped;
      }
    }
  }
  std::string out;
  s.toUTF8String(out);
  return out;
}

}  // namespace

std::string foldCaseAndDiacritics(std::string_view text) { return fold(text, true); }

bool containsString(std::string_view text, std::string_view needle, bool ignoreDiacritics) {
  if (needle.empty()) return false;
  return fold(text, ignoreDiacritics).find(fold(needle, ignoreDiacritics)) != std::string::npos;
}

}  // namespace dk::platform

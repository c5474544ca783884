// Locale: the user's region and language settings (NSLocale), and locale-aware string comparison.
//
// A Locale is a small value naming an ICU locale ("en_US", "de_DE", "en_US_POSIX"); two locales
// are equal when their identifiers are. Locale::current() is the user's locale: a test override
// when set, else the process environment as ICU reads it (LC_ALL, LC_MESSAGES, LANG; "C" is
// "en_US_POSIX"). preferredLanguages() is the user's language list, most wanted first, as BCP 47
// tags ("en-US"): an override, else $LANGUAGE, else the current locale's language.
// Everything here is thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/comparison_result.h"

namespace dk::platform {

class Locale {
 public:
  Locale() : identifier_("en_US_POSIX") {}
  explicit Locale(std::string identifier);

  static Locale current();
  // Overrides the current locale (nullopt returns to the environment's). For tests and the host.
  static void setCurrent(std::optional<std::string> identifier);

  static std::vector<std::string> preferredLanguages();
  static void setPreferredLanguages(std::optional<std::vector<std::string>> languages);

  // The canonical ICU identifier ("en_US").
  const std::string& identifier() const { return identifier_; }
  // The language part ("en").
  std::string languageCode() const;

  friend bool operator==(const Locale& a, const Locale& b) { return a.identifier_ == b.identifier_; }

 private:
  std::string identifier_;
};

// Ordering of two strings for display in `locale`, ignoring case (but not accents), as the
// platform's localizedCaseInsensitiveCompare: does.
ComparisonResult localizedCaseInsensitiveCompare(std::string_view a, std::string_view b,
                                                 const Locale& locale = Locale::current());
// The same, case-sensitive (localizedCompare:).
ComparisonResult localizedCompare(std::string_view a, std::string_view b, const Locale& locale = Locale::current());

}  // namespace dk::platform

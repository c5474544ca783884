#include "platform/foundation/locale.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace dk::platform {
namespace {

struct LocaleSettings {
  std::mutex mutex;
  std::optional<std::string> current;
  std::optional<std::vector<std::string>> languages;
};

LocaleSettings& settings() {
  static LocaleSettings* s = new LocaleSettings;
  return *s;
}

std::string canonical(const std::string& identifier) {
  if (identifier.empty() || identifier == "C" || identifier == "POSIX" || identifier == "c") return "en_US_POSIX";
  icu::Locale locale = icu::Locale::createCanonical(identifier.c_str());
  if (locale.isBogus() || !*locale.getName()) return "en_US_POSIX";
  std::string name = locale.getName();
  // ICU spells the POSIX variant "en_US_POSIX" already; anything with a charset suffix
  // ("de_DE.UTF-8") loses it in createCanonical.
  return name;
}

std::string environmentLocale() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) {
      std::string id = value;
      if (auto dot = id.find('.'); dot != std::string::npos) id.erase(dot);
      if (auto at = id.find('@'); at != std::string::npos) id.erase(at);
      return canonical(id);
    }
  }
  return "en_US_POSIX";
}

std::string toLanguageTag(std::string identifier) {
  if (auto dot = identifier.find('.'); dot != std::string::npos) identifier.erase(dot);
  for (char& c : identifier)
    if (c == '_') c = '-';
  return identifier;
}

}  // namespace

Locale::Locale(std::string identifier) : identifier_(canonical(identifier)) {}

Locale Locale::current() {
  {
    auto& s = settings();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.current) return Locale(*s.current);
  }
  return Locale(environmentLocale());
}

void Locale::setCurrent(std::optional<std::string> identifier) {
  auto& s = settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.current = std::move(identifier);
}

std::vector<std::string> Locale::preferredLanguages() {
  {
    auto& s = settings();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.languages) return *s.languages;
  }
  std::vector<std::string> languages;
  if (const char* list = std::getenv("LANGUAGE"); list && *list) {
    std::string all = list;
    size_t start = 0;
    while (start <= all.size()) {
      size_t end = all.find(':', start);
      if (end == std::string::npos) end = all.size();
      if (end > start) languages.push_back(toLanguageTag(all.substr(start, end - start)));
      start = end + 1;
    }
  }
  if (languages.empty()) {
    Locale locale = current();
    languages.push_back(locale.identifier() == "en_US_POSIX" ? "en-US" : toLanguageTag(locale.identifier()));
  }
  return languages;
}

void Locale::setPreferredLanguages(std::optional<std::vector<std::string>> languages) {
  auto& s = settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.languages = std::move(languages);
}

std::string Locale::languageCode() const { return icu::Locale(identifier_.c_str()).getLanguage(); }

namespace {

// ICU collators are safe for concurrent compare() calls; one per locale and strength is kept.
const icu::Collator* collatorFor(const Locale& locale, bool ignoreCase) {
  static std::mutex mutex;
  static auto* cache = new std::map<std::pair<std::string, bool>, std::unique_ptr<icu::Collator>>;
  std::lock_guard<std::mutex> lock(mutex);
  auto& slot = (*cache)[{locale.identifier(), ignoreCase}];
  if (!slot) {
    UErrorCode status = U_ZERO_ERROR;
    slot.reset(icu::Collator::createInstance(icu::Locale(locale.identifier().c_str()), status));
    if (U_FAILURE(status) || !slot) {
      status = U_ZERO_ERROR;
      slot.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (slot) slot->setStrength(ignoreCase ? icu::Collator::SECONDARY : icu::Collator::TERTIARY);
  }
  return slot.get();
}

ComparisonResult compareWith(std::string_view a, std::string_view b, const Locale& locale, bool ignoreCase) {
  const icu::Collator* collator = collatorFor(locale, ignoreCase);
  if (!collator) return a < b ? kOrderedAscending : (a == b ? kOrderedSame : kOrderedDescending);
  UErrorCode status = U_ZERO_ERROR;
  UCollationResult result = collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                                  icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
  if (U_FAILURE(status)) return a < b ? kOrderedAscending : (a == b ? kOrderedSame : kOrderedDescending);
  return result == UCOL_LESS ? kOrderedAscending : (result == UCOL_EQUAL ? kOrderedSame : kOrderedDescending);
}

}  // namespace

ComparisonResult localizedCaseInsensitiveCompare(std::string_view a, std::string_view b, const Locale& locale) {
  return compareWith(a, b, locale, true);
}

ComparisonResult localizedCompare(std::string_view a, std::string_view b, const Locale& locale) {
  return compareWith(a, b, locale, false);
}

}  // namespace dk::platform

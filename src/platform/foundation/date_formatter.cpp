#include "platform/foundation/date_formatter.h"

#include <cmath>
#include <unicode/datefmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/smpdtfmt.h>

#include "platform/foundation/icu_internal.h"

namespace dk::platform {

struct DateFormatter::Impl {
  std::unique_ptr<icu::DateFormat> format;
};

namespace {

icu::DateFormat::EStyle toIcu(DateFormatterStyle style) {
  switch (style) {
    case DateFormatterStyle::Short: return icu::DateFormat::kShort;
    case DateFormatterStyle::Medium: return icu::DateFormat::kMedium;
    case DateFormatterStyle::Long: return icu::DateFormat::kLong;
    case DateFormatterStyle::Full: return icu::DateFormat::kFull;
    default: return icu::DateFormat::kNone;
  }
}

// Whether the pattern holds a fraction-of-second field ('S' outside quotes).
bool hasFractionField(std::string_view pattern) {
  bool quoted = false;
  for (char c : pattern) {
    if (c == '\'') quoted = !quoted;
    else if (c == 'S' && !quoted) return true;
  }
  return false;
}

// ICU's parser divides by a power of ten as wide as the fraction it reads and traps (SIGFPE) on
// 35 digits or more, so text for such a pattern is refused before ICU sees a long run of digits.
constexpr size_t kLongestDigitRun = 24;
bool hasLongDigitRun(std::string_view text) {
  size_t run = 0;
  for (char c : text) {
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    if (run > kLongestDigitRun) return true;
  }
  return false;
}

}  // namespace

DateFormatter::DateFormatter(DateFormatterOptions options, std::unique_ptr<Impl> impl)
    : options_(std::move(options)), impl_(std::move(impl)) {}

DateFormatter::~DateFormatter() = default;

std::shared_ptr<const DateFormatter> DateFormatter::create(DateFormatterOptions options) {
  auto impl = std::make_unique<Impl>();
  icu::Locale locale(options.locale.identifier().c_str());
  UErrorCode status = U_ZERO_ERROR;
  if (options.dateStyle != DateFormatterStyle::None || options.timeStyle != DateFormatterStyle::None) {
    impl->format.reset(icu::DateFormat::createDateTimeInstance(toIcu(options.dateStyle), toIcu(options.timeStyle), locale));
  } else {
    impl->format = std::make_unique<icu::SimpleDateFormat>(toUnicode(options.dateFormat), locale, status);
    if (U_FAILURE(status)) {
      // A pattern ICU refuses formats nothing and parses nothing, as an empty pattern does.
      status = U_ZERO_ERROR;
      impl->format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(), locale, status);
    }
  }
  if (impl->format) {
    impl->format->adoptTimeZone(cloneIcuZone(options.timeZone).release());
    impl->format->setLenient(false);
  }
  return std::shared_ptr<const DateFormatter>(new DateFormatter(std::move(options), std::move(impl)));
}

std::string DateFormatter::stringFromDate(double date) const {
  if (!impl_->format || !std::isfinite(date)) return {};
  icu::UnicodeString out;
  std::lock_guard<std::mutex> lock(mutex_);
  // Whole milliseconds, read through the nearest microsecond so 0.123 does not print as 0.122.
  impl_->format->format(std::floor(std::round(date * 1e6) / 1000.0), out);
  return toUtf8(out);
}

std::optional<double> DateFormatter::dateFromString(std::string_view text) const {
  if (!impl_->format || text.empty()) return std::nullopt;
  if (hasFractionField(options_.dateFormat) && options_.dateStyle == DateFormatterStyle::None &&
      options_.timeStyle == DateFormatterStyle::None && hasLongDigitRun(text))
    return std::nullopt;
  icu::UnicodeString input = toUnicode(text);
  icu::ParsePosition position(0);
  UDate millis;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    millis = impl_->format->parse(input, position);
  }
  if (position.getErrorIndex() >= 0 || position.getIndex() != input.length()) return std::nullopt;
  return millis / 1000.0;
}

std::vector<std::string> DateFormatter::monthSymbols() const {
  std::vector<std::string> names;
  std::lock_guard<std::mutex> lock(mutex_);
  auto* simple = dynamic_cast<icu::SimpleDateFormat*>(impl_->format.get());
  if (!simple) return names;
  int32_t count = 0;
  const icu::UnicodeString* months =
      simple->getDateFormatSymbols()->getMonths(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
  for (int32_t i = 0; i < count && i < 12; ++i) names.push_back(toUtf8(months[i]));
  return names;
}

std::string DateFormatter::pattern() const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto* simple = dynamic_cast<icu::SimpleDateFormat*>(impl_->format.get());
  if (!simple) return {};
  icu::UnicodeString out;
  simple->toPattern(out);
  return toUtf8(out);
}

}  // namespace dk::platform

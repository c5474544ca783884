// DateFormatter: dates to text and back for a pattern or a locale's styles (NSDateFormatter).
//
// A formatter is configured once, through DateFormatterOptions, and is immutable afterwards, so
// one object can be handed to any number of threads: format and parse take the formatter's own
// lock around its ICU formatter. Parsing is strict (not lenient) and must consume the whole text.
// Dates are seconds since 1970 (double), with millisecond precision.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"

namespace dk::platform {

enum class DateFormatterStyle { None, Short, Medium, Long, Full };

struct DateFormatterOptions {
  // An ICU/Unicode date pattern ("yyyy-MM-dd'T'HH:mm:ss.SSSXXX"). Ignored when a style is set:
  // as on the platform, setting a style replaces the custom format.
  std::string dateFormat;
  DateFormatterStyle dateStyle = DateFormatterStyle::None;
  DateFormatterStyle timeStyle = DateFormatterStyle::None;
  Locale locale = Locale::current();
  TimeZone timeZone = TimeZone::local();
};

class DateFormatter {
 public:
  static std::shared_ptr<const DateFormatter> create(DateFormatterOptions options);
  ~DateFormatter();
  DateFormatter(const DateFormatter&) = delete;
  DateFormatter& operator=(const DateFormatter&) = delete;

  std::string stringFromDate(double date) const;
  // nullopt when the text does not match the format completely.
  std::optional<double> dateFromString(std::string_view text) const;

  // The locale's full month names, January first (monthSymbols).
  std::vector<std::string> monthSymbols() const;
  // The pattern in use (the styles' pattern when styles are set).
  std::string pattern() const;
  const Locale& locale() const { return options_.locale; }
  const TimeZone& timeZone() const { return options_.timeZone; }
  const DateFormatterOptions& options() const { return options_; }

  struct Impl;

 private:
  DateFormatter(DateFormatterOptions options, std::unique_ptr<Impl> impl);
  const DateFormatterOptions options_;
  std::unique_ptr<Impl> impl_;
  mutable std::mutex mutex_;
};

using DateFormatterPtr = std::shared_ptr<const DateFormatter>;

}  // namespace dk::platform

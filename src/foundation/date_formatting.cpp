#include "foundation/date_formatting.h"

#include <algorithm>
#include <functional>
#include <mutex>

#include "foundation/calendar_ignoring_dst.h"
#include "foundation/server_timestamp.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/locale.h"

namespace dk {

using platform::Calendar;
using platform::DateFormatterOptions;
using platform::DateFormatterPtr;
using platform::DateFormatterStyle;
using platform::Locale;

namespace {

// One process-wide formatter: built on first use, rebuilt when the current locale differs from
// the one it was built with (when locale-bound). The check-and-rebuild is serialised; the
// formatter handed out is immutable, so callers use it without further locking.
class CachedFormatter {
 public:
  CachedFormatter(const char* label, bool localeBound, std::function<DateFormatterOptions()> build)
      : queue_(platform::DispatchQueue::createSerial(label)), localeBound_(localeBound), build_(std::move(build)) {}

  DateFormatterPtr get() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!formatter_ || (localeBound_ && !(builtWith_ == Locale::current()))) {
      auto options = build_();
      builtWith_ = options.locale;
      formatter_ = platform::DateFormatter::create(std::move(options));
    }
    return formatter_;
  }
  void reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    formatter_.reset();
  }
  const platform::QueuePtr& queue() const { return queue_; }

 private:
  const platform::QueuePtr queue_;
  const bool localeBound_;
  const std::function<DateFormatterOptions()> build_;
  std::mutex mutex_;
  Locale builtWith_;
  DateFormatterPtr formatter_;
};

DateFormatterOptions withFormat(std::string format) {
  auto options = formatterOptionsWithIgnoringDST();
  options.dateFormat = std::move(format);
  return options;
}

DateFormatterOptions withStyles(DateFormatterStyle date, DateFormatterStyle time) {
  auto options = formatterOptionsWithIgnoringDST();
  options.dateStyle = date;
  options.timeStyle = time;
  return options;
}

DateFormatterOptions posix(std::string format) {
  auto options = withFormat(std::move(format));
  options.locale = Locale("en_US_POSIX");
  return options;
}

// Leaked on purpose: formatters may be used by work still running while the process exits.
CachedFormatter& dateFormatterCache() {
  // "yy", the calendar year: "YY" (the week-based year) shows 30 December 2024 as "25".
  static auto* c = new CachedFormatter("com.corvexio.DateFormatterQueue", true, [] { return withFormat("d MMM yy"); });
  return *c;
}
CachedFormatter& simplifiedTimeFormatterCache() {
  static auto* c = new CachedFormatter("com.corvexio.SimplifiedTimeFormatterQueue", true,
                                       [] { return withStyles(DateFormatterStyle::None, DateFormatterStyle::Short); });
  return *c;
}
CachedFormatter& timeFormatterCache() {
  static auto* c = new CachedFormatter("com.corvexio.TimeFormatterQueue", true,
                                       [] { return withStyles(DateFormatterStyle::None, DateFormatterStyle::Long); });
  return *c;
}
CachedFormatter& timeFormatterForDateCache() {
  // The custom format "dd-MMM-yyyy" is replaced by the medium time style, as on the platform.
  static auto* c = new CachedFormatter("com.corvexio.TimeFormatterForDateQueue", true, [] {
    auto options = withStyles(DateFormatterStyle::None, DateFormatterStyle::Medium);
    options.dateFormat = "dd-MMM-yyyy";
    return options;
  });
  return *c;
}
CachedFormatter& stringTimestampCache() {
  static auto* c = new CachedFormatter("com.corvexio.TimeFormatterForStringTimestampQueue", false,
                                       [] { return posix("yyyy-MM-dd'T'HH:mm:ss.SSSXXX"); });
  return *c;
}
CachedFormatter& secondsTimestampCache() {
  static auto* c = new CachedFormatter("com.corvexio.TimeFormatterForSecondsTimestampQueue", false,
                                       [] { return posix("yyyy-MM-dd'T'HH:mm:ss.SSSZ"); });
  return *c;
}

std::string frameworkText(std::string_view key) {
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(key, "", "");
}

platform::CalendarPtr deviceGregorianCalendar() {
  return Calendar::create(Calendar::Identifier::Gregorian, platform::TimeZone::local());
}

double midnightOn(const platform::CalendarPtr& calendar, double date) {
  auto parts = calendar->components(platform::kCalendarUnitEra | platform::kCalendarUnitYear |
                                        platform::kCalendarUnitMonth | platform::kCalendarUnitDay,
                                    date);
  return calendar->dateFromComponents(parts).value_or(date);
}

}  // namespace

DateFormatterPtr dateFormatter() { return dateFormatterCache().get(); }
DateFormatterPtr simplifiedTimeFormatter() { return simplifiedTimeFormatterCache().get(); }
DateFormatterPtr timeFormatter() { return timeFormatterCache().get(); }
DateFormatterPtr timeFormatterForDate() { return timeFormatterForDateCache().get(); }
DateFormatterPtr timeFormatterForStringTimestamp() { return stringTimestampCache().get(); }
DateFormatterPtr timeFormatterForSecondsTimestamp() { return secondsTimestampCache().get(); }

platform::QueuePtr dateFormatterQueue() { return dateFormatterCache().queue(); }
platform::QueuePtr simplifiedTimeFormatterQueue() { return simplifiedTimeFormatterCache().queue(); }
platform::QueuePtr timeFormatterQueue() { return timeFormatterCache().queue(); }
platform::QueuePtr timeFormatterForDateQueue() { return timeFormatterForDateCache().queue(); }
platform::QueuePtr timeFormatterForStringTimestampQueue() { return stringTimestampCache().queue(); }
platform::QueuePtr timeFormatterForSecondsTimestampQueue() { return secondsTimestampCache().queue(); }
platform::QueuePtr timeFormatterForTimestampQueue() {
  static auto* queue = new platform::QueuePtr(platform::DispatchQueue::createSerial("com.corvexio.TimeFormatterForTimestampQueue"));
  return *queue;
}

double secondsFromStringDate(std::string_view text) { return parseServerTimestamp(text).value_or(0); }

std::string stringDateFromSeconds(double seconds) { return timeFormatterForSecondsTimestamp()->stringFromDate(seconds); }

double dateFromSeconds(double seconds) { return midnightOn(calendarWithIgnoringDST(), seconds); }

std::string ordinalSuffixForDay(int64_t day) {
  const auto languages = Locale::preferredLanguages();
  if (languages.empty() || languages.front().find("en") == std::string::npos) return "";
  if (day == 11 || day == 12 || day == 13) return "th";
  switch (day % 10) {
    case 1: return "st";
    case 2: return "nd";
    case 3: return "rd";
    default: return "th";
  }
}

std::string formattedStringDateFromSeconds(double seconds) {
  auto parts = calendarWithIgnoringDST()->components(platform::kCalendarUnitMonth | platform::kCalendarUnitDay, seconds);
  const auto months = timeFormatterForDate()->monthSymbols();
  const int64_t month = parts.month.value_or(1), day = parts.day.value_or(1);
  const std::string name = month >= 1 && month <= static_cast<int64_t>(months.size()) ? months[month - 1] : "";
  return name + " " + std::to_string(day) + ordinalSuffixForDay(day);
}

std::string stringDateFromDate(double date) {
  auto calendar = calendarWithIgnoringDST();
  const double now = platform::now();
  if (calendar->isDateInSameDayAsDate(date, now)) return frameworkText(kTodayKey);
  if (auto dayBefore = calendar->dateByAddingUnit(platform::kCalendarUnitDay, -1, now);
      dayBefore && calendar->isDateInSameDayAsDate(date, *dayBefore))
    return frameworkText(kYesterdayKey);
  return dateFormatter()->stringFromDate(date);
}

std::optional<double> dateFromStringDate(std::string_view text, std::string_view format) {
  return formatterWithIgnoringDST(std::string(format))->dateFromString(text);
}

std::string stringDateFromDate(double date, std::string_view format) {
  return formatterWithIgnoringDST(std::string(format))->stringFromDate(date);
}

std::string stringDateIn24HFormatFromDate(double date, std::string_view format) {
  return formatterWithIgnoringDST(std::string(format), Locale("en_US_POSIX"))->stringFromDate(date);
}

std::string hourMinutesSecondsFromTimestamp(double seconds) {
  return platform::DateFormatter::create(withStyles(DateFormatterStyle::None, DateFormatterStyle::Medium))
      ->stringFromDate(seconds);
}

double onlyDateFromDate(double date) { return midnightOn(calendarWithIgnoringDST(), date); }

double Today() { return onlyDateFromDate(platform::now()); }

double YesterdayForDate(double date) {
  return deviceGregorianCalendar()->dateByAddingUnit(platform::kCalendarUnitDay, -1, date).value_or(date - 86400);
}

double Yesterday() { return onlyDateFromDate(YesterdayForDate(platform::now())); }

std::vector<std::string> monthsInYear() {
  auto months = timeFormatterForDate()->monthSymbols();
  std::reverse(months.begin(), months.end());
  return months;
}

int64_t currentMonthIndex() {
  return 12 - calendarWithIgnoringDST()->component(platform::kCalendarUnitMonth, platform::now());
}

int64_t numberOfDaysUntilNowSinceDate(const std::optional<std::string>& date) {
  if (!date) return 0;
  auto parsed = dateFromStringDate(*date, kSubscriptionResetDateFormat);
  if (!parsed) return 0;
  return deviceGregorianCalendar()->componentsBetween(platform::kCalendarUnitDay, platform::now(), *parsed).day.value_or(0);
}

int64_t ordinalOfCurrentDayInCurrentMonth() {
  return Calendar::current()->component(platform::kCalendarUnitDay, platform::now());
}

int64_t numberOfDaysInCurrentMonth() { return Calendar::current()->numberOfDaysInMonth(platform::now()); }

std::string calendarComponents(double date) { return timeFormatter()->stringFromDate(date); }

std::string time(double date) { return simplifiedTimeFormatter()->stringFromDate(date); }

std::string stringDate(double date) {
  if (date == Today()) return frameworkText(kTodayKey);
  if (date == Yesterday()) return frameworkText(kYesterdayKey);
  return dateFormatter()->stringFromDate(date);
}

double substract1MonthForDate(double date) {
  return calendarWithIgnoringDST()->dateByAddingUnit(platform::kCalendarUnitMonth, -1, date).value_or(date);
}

platform::ComparisonResult compareToDate(std::optional<double> date, std::optional<double> other) {
  if (!date || !other || *other == *date) return platform::kOrderedSame;
  return *other < *date ? platform::kOrderedAscending : platform::kOrderedDescending;
}

int64_t numberOfDaysSinceDate(double date, std::optional<double> other) {
  if (!other) return 0;
  return deviceGregorianCalendar()->componentsBetween(platform::kCalendarUnitDay, date, *other).day.value_or(0);
}

void resetDateCachesForTesting() {
  for (CachedFormatter* cache : {&dateFormatterCache(), &simplifiedTimeFormatterCache(), &timeFormatterCache(),
                                 &timeFormatterForDateCache(), &stringTimestampCache(), &secondsTimestampCache()})
    cache->reset();
  resetCalendarWithIgnoringDSTForTesting();
}

}  // namespace dk

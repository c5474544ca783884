// Conversions between server timestamps, seconds since 1970 and the texts the timeline shows
// (what the date category of the system gives: cached formatters, relative day names, month
// names, day counts).
//
// Dates are seconds since 1970 (double); a missing date is std::nullopt. Day and month
// arithmetic uses the DST-free calendar (calendar_ignoring_dst.h) unless a function says
// otherwise. The cached formatters are immutable and safe to use from any thread once handed
// out; the four locale-bound ones are replaced when the current locale changes (callers holding
// the old one keep a working formatter). "Now" is the injectable clock's. Thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/foundation/comparison_result.h"
#include "platform/foundation/date_formatter.h"

namespace dk {

// Format of subscription reset dates.
inline constexpr std::string_view kSubscriptionResetDateFormat = "yyyy-MM-dd";
// Keys of the relative day names in the framework's bundle.
inline constexpr std::string_view kTodayKey = "Today";
inline constexpr std::string_view kYesterdayKey = "Yesterday";
// The framework's own bundle.
inline constexpr std::string_view kFrameworkBundleIdentifier = "com.devicekeeper.DKChronoKit";

// ---- cached formatters (all DST-free) ----

// "d MMM yy" in the current locale (rebuilt when the locale changes).
platform::DateFormatterPtr dateFormatter();
// Short time style, no date, current locale.
platform::DateFormatterPtr simplifiedTimeFormatter();
// Long time style, no date, current locale.
platform::DateFormatterPtr timeFormatter();
// Medium time style in the current locale; only its month names are used.
platform::DateFormatterPtr timeFormatterForDate();
// "yyyy-MM-dd'T'HH:mm:ss.SSSXXX", en_US_POSIX, built once.
platform::DateFormatterPtr timeFormatterForStringTimestamp();
// "yyyy-MM-dd'T'HH:mm:ss.SSSZ", en_US_POSIX, built once.
platform::DateFormatterPtr timeFormatterForSecondsTimestamp();

// The serial queues of the formatter family, each created once ("com.corvexio.*Queue").
platform::QueuePtr dateFormatterQueue();
platform::QueuePtr simplifiedTimeFormatterQueue();
platform::QueuePtr timeFormatterQueue();
platform::QueuePtr timeFormatterForDateQueue();
platform::QueuePtr timeFormatterForStringTimestampQueue();
platform::QueuePtr timeFormatterForSecondsTimestampQueue();
platform::QueuePtr timeFormatterForTimestampQueue();

// ---- class operations ----

// Seconds of a server timestamp ("2021-03-28T10:15:30.000+02:00"); 0 when it does not parse.
double secondsFromStringDate(std::string_view text);
// A server timestamp with a numeric offset ("2021-03-28T09:15:30.000+0100").
std::string stringDateFromSeconds(double seconds);
// Midnight of that time's day.
double dateFromSeconds(double seconds);
// "March 3rd": full month name, day of the month and, in English, an ordinal suffix.
std::string formattedStringDateFromSeconds(double seconds);
// The localised "Today" or "Yesterday" when the date is on one of those days, else dateFormatter.
std::string stringDateFromDate(double date);
// A new DST-free formatter with that format and the current locale, used once.
std::optional<double> dateFromStringDate(std::string_view text, std::string_view format);
std::string stringDateFromDate(double date, std::string_view format);
// The same with en_US_POSIX, so hours keep the format whatever the user's 12/24-hour choice.
std::string stringDateIn24HFormatFromDate(double date, std::string_view format);
// Medium time style of a new DST-free formatter.
std::string hourMinutesSecondsFromTimestamp(double seconds);
double onlyDateFromDate(double date);
double Today();
// The date minus one day on a Gregorian calendar in the device's own zone.
double YesterdayForDate(double date);
double Yesterday();
// The current locale's full month names, December first.
std::vector<std::string> monthsInYear();
// The index of the current month in monthsInYear() (0 in December, 11 in January).
int64_t currentMonthIndex();
// Whole days from now to the "yyyy-MM-dd" date (negative when it is past); 0 for nil or junk.
int64_t numberOfDaysUntilNowSinceDate(const std::optional<std::string>& date);
// Today's day of the month and the length of this month, on the device's current calendar.
int64_t ordinalOfCurrentDayInCurrentMonth();
int64_t numberOfDaysInCurrentMonth();

// ---- operations on one date ----

// The date in the long time style.
std::string calendarComponents(double date);
// The date in the short time style.
std::string time(double date);
// "Today" when the date is exactly Today(), "Yesterday" when exactly Yesterday(), else
// dateFormatter.
std::string stringDate(double date);
double substract1MonthForDate(double date);
// `other` compared with `date` (other first); the same when either is missing.
platform::ComparisonResult compareToDate(std::optional<double> date, std::optional<double> other);
// Whole days from `date` to `other` on a Gregorian calendar in the device's zone; 0 without other.
int64_t numberOfDaysSinceDate(double date, std::optional<double> other);

// The English ordinal suffix of a day ("st", "nd", "rd", "th"), or "" when the user's first
// language is not English.
std::string ordinalSuffixForDay(int64_t day);

// Forgets the cached formatters and the DST-free calendar (tests that change zone or clock).
void resetDateCachesForTesting();

}  // namespace dk

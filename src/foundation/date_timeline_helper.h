// Day, hour and month arithmetic for the time strip, all on the DST-free calendar
// (calendar_ignoring_dst.h), so every day is 24 hours long. Dates are seconds since 1970.
// Stateless and thread-safe.
#pragma once

#include <cstdint>

namespace dk {

// Start of the date's day.
double midnight(double date);
double timeIntervalForMidnight(double date);
double midnightForTimeInterval(double seconds);
// The time's hour plus `hoursOffset`, minutes and seconds zero (hours past 23 roll into the next
// day, negative ones into the previous).
double roundedDateWithTimeIntervalSince1970(double seconds, int64_t hoursOffset);
// A whole number of calendar days added.
double dateByAddingDaysOffset(int64_t days, double date);
double dateWithDaysOffset(double date, int64_t days);
// Day (month) boundaries from `from` to `to`: both are first reduced to the start of their day
// (month); negative when `to` is earlier.
int64_t daysBetweenDate(double from, double to);
int64_t monthsBetweenDate(double from, double to);
// True when `seconds` falls on the date's day.
bool isEqualToDateFromTimeInterval(double date, double seconds);

}  // namespace dk

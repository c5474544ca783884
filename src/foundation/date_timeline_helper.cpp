#include "foundation/date_timeline_helper.h"

#include "foundation/calendar_ignoring_dst.h"

namespace dk {

using platform::DateComponents;

double midnight(double date) { return calendarWithIgnoringDST()->startOfDay(date); }
double timeIntervalForMidnight(double date) { return midnight(date); }
double midnightForTimeInterval(double seconds) { return midnight(seconds); }

double roundedDateWithTimeIntervalSince1970(double seconds, int64_t hoursOffset) {
  auto calendar = calendarWithIgnoringDST();
  DateComponents parts = calendar->components(platform::kCalendarUnitEra | platform::kCalendarUnitYear |
                                                  platform::kCalendarUnitMonth | platform::kCalendarUnitDay |
                                                  platform::kCalendarUnitHour,
                                              seconds);
  parts.hour = parts.hour.value_or(0) + hoursOffset;
  parts.minute = 0;
  parts.second = 0;
  return calendar->dateFromComponents(parts).value_or(seconds);
}

double dateByAddingDaysOffset(int64_t days, double date) {
  return calendarWithIgnoringDST()->dateByAddingUnit(platform::kCalendarUnitDay, days, date).value_or(date);
}

double dateWithDaysOffset(double date, int64_t days) { return dateByAddingDaysOffset(days, date); }

int64_t daysBetweenDate(double from, double to) {
  auto calendar = calendarWithIgnoringDST();
  return calendar->componentsBetween(platform::kCalendarUnitDay, calendar->startOfDay(from), calendar->startOfDay(to))
      .day.value_or(0);
}

int64_t monthsBetweenDate(double from, double to) {
  auto calendar = calendarWithIgnoringDST();
  return calendar
      ->componentsBetween(platform::kCalendarUnitMonth, calendar->startOfMonth(from), calendar->startOfMonth(to))
      .month.value_or(0);
}

bool isEqualToDateFromTimeInterval(double date, double seconds) {
  return calendarWithIgnoringDST()->isDateInSameDayAsDate(date, seconds);
}

}  // namespace dk

// Calendar: civil-time arithmetic in one time zone (NSCalendar): components of an instant,
// instants from components, adding units, differences, starts of days and months.
//
// Dates are seconds since 1970 (double). A Calendar is immutable once made and shared as
// shared_ptr<const Calendar>; its methods are safe to call from any thread (one ICU calendar per
// object, used under its own lock). Component values follow the platform: months 1-12, weekday
// 1 = Sunday.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"

namespace dk::platform {

enum CalendarUnit : unsigned {
  kCalendarUnitEra = 1u << 1,
  kCalendarUnitYear = 1u << 2,
  kCalendarUnitMonth = 1u << 3,
  kCalendarUnitDay = 1u << 4,
  kCalendarUnitHour = 1u << 5,
  kCalendarUnitMinute = 1u << 6,
  kCalendarUnitSecond = 1u << 7,
  kCalendarUnitWeekday = 1u << 9,
};

// Fields that are not set are nullopt (NSDateComponentUndefined).
struct DateComponents {
  std::optional<int64_t> era, year, month, day, hour, minute, second, weekday;
  friend bool operator==(const DateComponents&, const DateComponents&) = default;
};

class Calendar {
 public:
  enum class Identifier { Current, Gregorian };

  // The user's calendar (the current locale's system, usually Gregorian) in the local zone; a
  // new object per call, as currentCalendar gives.
  static std::shared_ptr<const Calendar> current();
  // A calendar of that system in that zone, with that locale.
  static std::shared_ptr<const Calendar> create(Identifier identifier, TimeZone zone, Locale locale = Locale::current());

  ~Calendar();
  Calendar(const Calendar&) = delete;
  Calendar& operator=(const Calendar&) = delete;

  // The same calendar in another zone.
  std::shared_ptr<const Calendar> withTimeZone(TimeZone zone) const;
  const TimeZone& timeZone() const { return zone_; }
  const Locale& locale() const { return locale_; }
  // The ICU name of the calendar system ("gregorian", "buddhist", ...).
  std::string calendarIdentifier() const;

  DateComponents components(unsigned units, double date) const;
  int64_t component(CalendarUnit unit, double date) const;
  // The instant of the components (missing fields take their smallest value; out-of-range
  // values roll over, 24:00 being the next day's midnight); nullopt when they do not make a date.
  std::optional<double> dateFromComponents(const DateComponents& components) const;
  // date plus each set component, larger units first. With `wrap`, overflowing units do not
  // carry into larger ones.
  std::optional<double> dateByAddingComponents(const DateComponents& components, double date, bool wrap = false) const;
  std::optional<double> dateByAddingUnit(CalendarUnit unit, int64_t value, double date, bool wrap = false) const;
  // The difference from `from` to `to` in the requested units, larger units first, each whole
  // (truncated toward zero).
  DateComponents componentsBetween(unsigned units, double from, double to) const;

  double startOfDay(double date) const;
  // The first instant of the month containing date.
  double startOfMonth(double date) const;
  bool isDateInSameDayAsDate(double a, double b) const;
  // The number of days of the month containing date.
  int numberOfDaysInMonth(double date) const;

  struct Impl;

 private:
  Calendar(std::unique_ptr<Impl> impl, TimeZone zone, Locale locale);
  std::unique_ptr<Impl> impl_;
  mutable std::mutex mutex_;
  const TimeZone zone_;
  const Locale locale_;
};

using CalendarPtr = std::shared_ptr<const Calendar>;

}  // namespace dk::platform

#include "platform/foundation/calendar.h"

#include <cmath>
#include <limits>
#include <unicode/calendar.h>
#include <unicode/gregocal.h>

#include "platform/foundation/icu_internal.h"

namespace dk::platform {

struct Calendar::Impl {
  std::unique_ptr<icu::Calendar> calendar;
};

namespace {

constexpr double kMillis = 1000.0;

// Units in the order the platform applies them: larger first.
constexpr std::pair<CalendarUnit, UCalendarDateFields> kUnitFields[] = {
    {kCalendarUnitEra, UCAL_ERA},       {kCalendarUnitYear, UCAL_YEAR},     {kCalendarUnitMonth, UCAL_MONTH},
    {kCalendarUnitDay, UCAL_DATE},      {kCalendarUnitHour, UCAL_HOUR_OF_DAY}, {kCalendarUnitMinute, UCAL_MINUTE},
    {kCalendarUnitSecond, UCAL_SECOND}, {kCalendarUnitWeekday, UCAL_DAY_OF_WEEK},
};

std::optional<int64_t>& slot(DateComponents& c, CalendarUnit unit) {
  switch (unit) {
    case kCalendarUnitEra: return c.era;
    case kCalendarUnitYear: return c.year;
    case kCalendarUnitMonth: return c.month;
    case kCalendarUnitDay: return c.day;
    case kCalendarUnitHour: return c.hour;
    case kCalendarUnitMinute: return c.minute;
    case kCalendarUnitSecond: return c.second;
    default: return c.weekday;
  }
}

const std::optional<int64_t>& slot(const DateComponents& c, CalendarUnit unit) {
  return slot(const_cast<DateComponents&>(c), unit);
}

// ICU counts months from 0; the platform from 1.
int32_t toIcuValue(UCalendarDateFields field, int64_t value) {
  return static_cast<int32_t>(field == UCAL_MONTH ? value - 1 : value);
}
int64_t fromIcuValue(UCalendarDateFields field, int32_t value) { return field == UCAL_MONTH ? value + 1 : value; }

bool fitsInt32(int64_t value) {
  return value >= std::numeric_limits<int32_t>::min() + 1 && value <= std::numeric_limits<int32_t>::max() - 1;
}

}  // namespace

Calendar::Calendar(std::unique_ptr<Impl> impl, TimeZone zone, Locale locale)
    : impl_(std::move(impl)), zone_(std::move(zone)), locale_(std::move(locale)) {}

Calendar::~Calendar() = default;

std::shared_ptr<const Calendar> Calendar::current() {
  return create(Identifier::Current, TimeZone::local(), Locale::current());
}

std::shared_ptr<const Calendar> Calendar::create(Identifier identifier, TimeZone zone, Locale locale) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale icuLocale(locale.identifier().c_str());
  auto impl = std::make_unique<Impl>();
  if (identifier == Identifier::Gregorian)
    impl->calendar = std::make_unique<icu::GregorianCalendar>(cloneIcuZone(zone).release(), icuLocale, status);
  else
    impl->calendar.reset(icu::Calendar::createInstance(cloneIcuZone(zone).release(), icuLocale, status));
  if (U_FAILURE(status) || !impl->calendar) {
    status = U_ZERO_ERROR;
    impl->calendar = std::make_unique<icu::GregorianCalendar>(cloneIcuZone(zone).release(), icu::Locale::getRoot(), status);
  }
  return std::shared_ptr<const Calendar>(new Calendar(std::move(impl), std::move(zone), std::move(locale)));
}

std::shared_ptr<const Calendar> Calendar::withTimeZone(TimeZone zone) const {
  auto impl = std::make_unique<Impl>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    impl->calendar.reset(impl_->calendar->clone());
  }
  impl->calendar->adoptTimeZone(cloneIcuZone(zone).release());
  return std::shared_ptr<const Calendar>(new Calendar(std::move(impl), std::move(zone), locale_));
}

std::string Calendar::calendarIdentifier() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return impl_->calendar->getType();
}

DateComponents Calendar::components(unsigned units, double date) const {
  DateComponents out;
  std::lock_guard<std::mutex> lock(mutex_);
  auto& cal = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  cal.setTime(date * kMillis, status);
  for (auto [unit, field] : kUnitFields) {
    if (!(units & unit)) continue;
    int32_t value = cal.get(field, status);
    if (U_SUCCESS(status)) slot(out, unit) = fromIcuValue(field, value);
  }
  return out;
}

int64_t Calendar::component(CalendarUnit unit, double date) const {
  return slot(components(unit, date), unit).value_or(0);
}

std::optional<double> Calendar::dateFromComponents(const DateComponents& components) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& cal = *impl_->calendar;
  cal.clear();
  for (auto [unit, field] : kUnitFields) {
    if (unit == kCalendarUnitWeekday) continue;
    const auto& value = slot(components, unit);
    if (!value) continue;
    if (!fitsInt32(*value)) return std::nullopt;
    cal.set(field, toIcuValue(field, *value));
  }
  UErrorCode status = U_ZERO_ERROR;
  UDate millis = cal.getTime(status);
  if (U_FAILURE(status)) return std::nullopt;
  return millis / kMillis;
}

std::optional<double> Calendar::dateByAddingComponents(const DateComponents& components, double date, bool wrap) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& cal = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  // Keep the sub-millisecond part, which ICU drops.
  const double whole = std::floor(date * kMillis);
  const double fraction = date * kMillis - whole;
  cal.setTime(whole, status);
  for (auto [unit, field] : kUnitFields) {
    if (unit == kCalendarUnitWeekday || unit == kCalendarUnitEra) continue;
    const auto& value = slot(components, unit);
    if (!value || *value == 0) continue;
    if (!fitsInt32(*value)) return std::nullopt;
    if (wrap)
      cal.roll(field, static_cast<int32_t>(*value), status);
    else
      cal.add(field, static_cast<int32_t>(*value), status);
  }
  UDate millis = cal.getTime(status);
  if (U_FAILURE(status)) return std::nullopt;
  return (millis + fraction) / kMillis;
}

std::optional<double> Calendar::dateByAddingUnit(CalendarUnit unit, int64_t value, double date, bool wrap) const {
  DateComponents components;
  slot(components, unit) = value;
  return dateByAddingComponents(components, date, wrap);
}

DateComponents Calendar::componentsBetween(unsigned units, double from, double to) const {
  DateComponents out;
  std::lock_guard<std::mutex> lock(mutex_);
  auto& cal = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  cal.setTime(from * kMillis, status);
  for (auto [unit, field] : kUnitFields) {
    if (!(units & unit) || unit == kCalendarUnitWeekday || unit == kCalendarUnitEra) continue;
    // fieldDifference also moves the calendar on by the whole units it counted.
    int32_t n = cal.fieldDifference(to * kMillis, field, status);
    if (U_FAILURE(status)) return out;
    slot(out, unit) = n;
  }
  return out;
}

namespace {

// The first instant of the day (or, with `month`, of the month) containing `millis`.
double startOf(icu::Calendar& cal, double millis, bool month) {
  UErrorCode status = U_ZERO_ERROR;
  cal.setTime(millis, status);
  if (month) cal.set(UCAL_DATE, 1);
  for (auto field : {UCAL_HOUR_OF_DAY, UCAL_MINUTE, UCAL_SECOND, UCAL_MILLISECOND}) cal.set(field, 0);
  return cal.getTime(status) / kMillis;
}

}  // namespace

double Calendar::startOfDay(double date) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return startOf(*impl_->calendar, date * kMillis, false);
}

double Calendar::startOfMonth(double date) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return startOf(*impl_->calendar, date * kMillis, true);
}

bool Calendar::isDateInSameDayAsDate(double a, double b) const {
  const unsigned units = kCalendarUnitEra | kCalendarUnitYear | kCalendarUnitMonth | kCalendarUnitDay;
  return components(units, a) == components(units, b);
}

int Calendar::numberOfDaysInMonth(double date) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& cal = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  cal.setTime(date * kMillis, status);
  int32_t days = cal.getActualMaximum(UCAL_DATE, status);
  return U_SUCCESS(status) ? days : 0;
}

}  // namespace dk::platform

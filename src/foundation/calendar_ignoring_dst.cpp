#include "foundation/calendar_ignoring_dst.h"

#include <mutex>

#include "platform/dispatch/clock.h"

namespace dk {
namespace {

struct DstFreeCalendar {
  std::mutex mutex;
  platform::CalendarPtr calendar;
};

DstFreeCalendar& dstFreeCalendar() {
  static DstFreeCalendar* c = new DstFreeCalendar;
  return *c;
}

}  // namespace

platform::TimeZone fixedOffsetZoneAt(double date) {
  return platform::TimeZone::withSecondsFromGMT(platform::TimeZone::local().secondsFromGMT(date));
}

platform::CalendarPtr calendarWithIgnoringDST() {
  auto& c = dstFreeCalendar();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (!c.calendar) c.calendar = platform::Calendar::current()->withTimeZone(fixedOffsetZoneAt(platform::now()));
  return c.calendar;
}

void resetCalendarWithIgnoringDSTForTesting() {
  auto& c = dstFreeCalendar();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.calendar.reset();
}

platform::DateFormatterOptions formatterOptionsWithIgnoringDST() {
  platform::DateFormatterOptions options;
  options.locale = platform::Locale::current();
  options.timeZone = fixedOffsetZoneAt(platform::now());
  return options;
}

platform::DateFormatterPtr formatterWithIgnoringDST(std::string format) {
  auto options = formatterOptionsWithIgnoringDST();
  options.dateFormat = std::move(format);
  return platform::DateFormatter::create(std::move(options));
}

platform::DateFormatterPtr formatterWithIgnoringDST(std::string format, platform::Locale locale) {
  auto options = formatterOptionsWithIgnoringDST();
  options.dateFormat = std::move(format);
  options.locale = std::move(locale);
  return platform::DateFormatter::create(std::move(options));
}

}  // namespace dk

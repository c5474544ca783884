// The DST-free calendar and formatters: day and month arithmetic that never meets a 23- or
// 25-hour day, because the time zone is a fixed offset from GMT.
//
// calendarWithIgnoringDST() is the user's current calendar with the local zone's offset as it was
// at the first call (on the injectable clock), kept for the life of the process even across a
// daylight-saving change. formatterOptionsWithIgnoringDST() gives the set-up of a new formatter
// with the local offset of the moment it is called (not cached). Thread-safe.
#pragma once

#include <string>

#include "platform/foundation/calendar.h"
#include "platform/foundation/date_formatter.h"

namespace dk {

// The process's DST-free calendar (created on the first call, the same object afterwards).
platform::CalendarPtr calendarWithIgnoringDST();

// A formatter set-up with no format and no style, the current locale and a fixed-offset zone of
// the local offset now. Fill in a format or style, then DateFormatter::create.
platform::DateFormatterOptions formatterOptionsWithIgnoringDST();
// A new DST-free formatter with that format (and the current locale unless one is given).
platform::DateFormatterPtr formatterWithIgnoringDST(std::string format);
platform::DateFormatterPtr formatterWithIgnoringDST(std::string format, platform::Locale locale);

// The fixed-offset zone of the local zone's offset at `date` (timeZoneForSecondsFromGMT:).
platform::TimeZone fixedOffsetZoneAt(double date);

// Forgets the DST-free calendar so the next call computes the offset again. For tests only: the
// framework never resets it.
void resetCalendarWithIgnoringDSTForTesting();

}  // namespace dk

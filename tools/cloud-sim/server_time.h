// The cloud's timestamp format, "yyyy-MM-dd'T'HH:mm:ss.SSSXXX" (for example
// "2021-03-28T10:15:30.000+02:00"), written with a fixed offset from UTC.
//
// Free functions without state; safe to call from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dk::cloudsim {

// Formats seconds since 1970 with millisecond precision at the given offset east of UTC
// (seconds; a zero offset is written "Z", as the pattern letter XXX does).
std::string formatServerTime(double secondsSince1970, int utcOffsetSeconds);

// Parses the server format. Milliseconds may be left out; the zone may be "Z", "+HH:MM" or
// "+HHMM". Returns nothing for any other text (including a blank where the "+" of the offset
// belongs, as a query string that did not escape "+" would give).
std::optional<double> parseServerTime(std::string_view text);

}  // namespace dk::cloudsim

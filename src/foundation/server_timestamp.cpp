#include "foundation/server_timestamp.h"

#include <cstdint>

namespace dk {
namespace {

// Days from 1970-01-01 to the given proleptic Gregorian date (H. Hinnant's days_from_civil).
constexpr int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

constexpr bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int daysInMonth(int y, int m) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Reads `count` decimal digits at `at`; -1 when any is not a digit.
inline int digits(std::string_view s, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    const unsigned d = static_cast<unsigned char>(s[i]) - '0';
    if (d > 9) return -1;
    value = value * 10 + static_cast<int>(d);
  }
  return value;
}

}  // namespace

std::optional<double> parseServerTimestamp(std::string_view s) {
  // 2021-03-28T10:15:30.000Z (24) or 2021-03-28T10:15:30.000+02:00 (29)
  if (s.size() != 24 && s.size() != 29) return std::nullopt;
  if (s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':' || s[19] != '.') return std::nullopt;
  const int year = digits(s, 0, 4), month = digits(s, 5, 2), day = digits(s, 8, 2);
  const int hour = digits(s, 11, 2), minute = digits(s, 14, 2), second = digits(s, 17, 2);
  const int millis = digits(s, 20, 3);
  if (year < 1 || month < 1 || month > 12 || day < 1 || millis < 0) return std::nullopt;
  if (day > daysInMonth(year, month)) return std::nullopt;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return std::nullopt;

  int offset = 0;
  if (s.size() == 24) {
    if (s[23] != 'Z') return std::nullopt;
  } else {
    const char sign = s[23];
    if ((sign != '+' && sign != '-') || s[26] != ':') return std::nullopt;
    const int offsetHours = digits(s, 24, 2), offsetMinutes = digits(s, 27, 2);
    if (offsetHours < 0 || offsetMinutes < 0 || offsetMinutes > 59) return std::nullopt;
    offset = offsetHours * 3600 + offsetMinutes * 60;
    if (offset > 18 * 3600) return std::nullopt;
    if (sign == '-') offset = -offset;
  }

  const int64_t seconds = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                          hour * 3600 + minute * 60 + second - offset;
  // Divide whole milliseconds, as the platform's parser does, so both give the same double.
  return static_cast<double>(seconds * 1000 + millis) / 1000.0;
}

}  // namespace dk

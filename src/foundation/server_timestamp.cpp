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
  // yyyy-M(M)-ddTHH:mm:ss.S(SS) then Z, +HH, +HHMM or +HH:MM: the forms the platform's parser
  // accepts for the server's pattern that a server could send. Cursor-based, every read bounded.
  size_t at = 0;
  auto take = [&](size_t count) {
    if (s.size() - at < count) return -1;
    const int value = digits(s, at, count);
    if (value >= 0) at += count;
    return value;
  };
  auto literal = [&](char c) {
    if (at >= s.size() || s[at] != c) return false;
    ++at;
    return true;
  };
  auto isDigitAt = [&](size_t i) { return i < s.size() && static_cast<unsigned>(static_cast<unsigned char>(s[i]) - '0') <= 9u; };

  const int year = take(4);
  if (year < 1 || !literal('-')) return std::nullopt;
  const int month = take(isDigitAt(at + 1) ? 2 : 1);
  if (month < 1 || month > 12 || !literal('-')) return std::nullopt;
  // A one-digit day the platform refuses here (the day abuts the literal 'T').
  const int day = take(2);
  if (day < 1 || day > daysInMonth(year, month) || !literal('T')) return std::nullopt;
  const int hour = take(2);
  if (hour < 0 || hour > 23 || !literal(':')) return std::nullopt;
  const int minute = take(2);
  if (minute < 0 || minute > 59 || !literal(':')) return std::nullopt;
  const int second = take(2);
  if (second < 0 || second > 59 || !literal('.')) return std::nullopt;
  size_t fractionDigits = 0;
  while (fractionDigits < 4 && isDigitAt(at + fractionDigits)) ++fractionDigits;
  if (fractionDigits < 1 || fractionDigits > 3) return std::nullopt;
  int millis = take(fractionDigits);
  for (size_t i = fractionDigits; i < 3; ++i) millis *= 10;  // ".5" is half a second

  int offset = 0;
  if (at >= s.size()) return std::nullopt;
  if (s[at] == 'Z') {
    ++at;
  } else {
    const char sign = s[at++];
    if (sign != '+' && sign != '-') return std::nullopt;
    const int offsetHours = take(2);
    if (offsetHours < 0) return std::nullopt;
    int offsetMinutes = 0;
    if (at < s.size()) {
      const bool colon = literal(':');
      offsetMinutes = take(2);
      if (offsetMinutes < 0 || offsetMinutes > 59 || (colon && at != s.size())) return std::nullopt;
    }
    offset = offsetHours * 3600 + offsetMinutes * 60;
    if (offset > 18 * 3600) return std::nullopt;
    if (sign == '-') offset = -offset;
  }
  if (at != s.size()) return std::nullopt;

  const int64_t seconds = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                          hour * 3600 + minute * 60 + second - offset;
  // Divide whole milliseconds, as the platform's parser does, so both give the same double.
  return static_cast<double>(seconds * 1000 + millis) / 1000.0;
}

}  // namespace dk

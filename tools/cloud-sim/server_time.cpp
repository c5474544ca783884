#include "server_time.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace dk::cloudsim {
namespace {

// Days since 1970-01-01 for a proleptic Gregorian date, and back (H. Hinnant's algorithms).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool readDigits(std::string_view text, size_t& pos, size_t count, int& out) {
  if (pos + count > text.size()) return false;
  int value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += count;
  out = value;
  return true;
}

bool expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

std::string formatServerTime(double secondsSince1970, int utcOffsetSeconds) {
  const int64_t localMillis =
      static_cast<int64_t>(std::llround(secondsSince1970 * 1000.0)) + int64_t{utcOffsetSeconds} * 1000;
  const int64_t days = floorDiv(localMillis, 86400000);
  const int64_t msOfDay = localMillis - days * 86400000;
  int64_t y;
  unsigned m, d;
  civilFromDays(days, y, m, d);
  const int hh = static_cast<int>(msOfDay / 3600000);
  const int mi = static_cast<int>(msOfDay / 60000 % 60);
  const int ss = static_cast<int>(msOfDay / 1000 % 60);
  const int ms = static_cast<int>(msOfDay % 1000);
  char zone[16] = "Z";
  if (utcOffsetSeconds != 0) {
    const int a = utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds;
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", utcOffsetSeconds < 0 ? '-' : '+', a / 3600,
                  a / 60 % 60);
  }
  char out[96];  // room for any year and zone the format can print
  std::snprintf(out, sizeof out, "%04lld-%02u-%02uT%02d:%02d:%02d.%03d%s",
                static_cast<long long>(y), m, d, hh, mi, ss, ms, zone);
  return out;
}

std::optional<double> parseServerTime(std::string_view text) {
  size_t pos = 0;
  int y, mo, d, h, mi, s, ms = 0;
  if (!readDigits(text, pos, 4, y) || !expect(text, pos, '-') || !readDigits(text, pos, 2, mo) ||
      !expect(text, pos, '-') || !readDigits(text, pos, 2, d) || !expect(text, pos, 'T') ||
      !readDigits(text, pos, 2, h) || !expect(text, pos, ':') || !readDigits(text, pos, 2, mi) ||
      !expect(text, pos, ':') || !readDigits(text, pos, 2, s)) {
    return std::nullopt;
  }
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    if (!readDigits(text, pos, 3, ms)) return std::nullopt;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return std::nullopt;
  int offset = 0;
  if (pos < text.size() && text[pos] == 'Z') {
    ++pos;
  } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    const bool negative = text[pos] == '-';
    ++pos;
    int oh, om;
    if (!readDigits(text, pos, 2, oh)) return std::nullopt;
    if (pos < text.size() && text[pos] == ':') ++pos;
    if (!readDigits(text, pos, 2, om) || oh > 18 || om > 59) return std::nullopt;
    offset = (oh * 3600 + om * 60) * (negative ? -1 : 1);
  } else {
    return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;
  const int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  const int64_t seconds = days * 86400 + h * 3600 + mi * 60 + s - offset;
  // Whole milliseconds over 1000, as stored times are, so equal texts give equal doubles.
  return static_cast<double>(seconds * 1000 + ms) / 1000.0;
}

}  // namespace dk::cloudsim

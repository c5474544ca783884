#include "model/foundation_bridge.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/foundation/app_directories.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/locale_names.h"
#include "platform/foundation/user_defaults.h"

namespace dk::bridge {

namespace {

bool digits(std::string_view s, size_t at, size_t n, int& out) {
  if (at + n > s.size()) return false;
  int v = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  out = v;
  return true;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

std::optional<double> secondsFromServerTimestamp(std::string_view s) {
  // yyyy-MM-ddTHH:mm:ss.SSS then Z or ±HH:mm
  int year, month, day, hour, minute, second, millis;
  if (!digits(s, 0, 4, year) || s.size() < 24 || s[4] != '-' || !digits(s, 5, 2, month) || s[7] != '-' ||
      !digits(s, 8, 2, day) || s[10] != 'T' || !digits(s, 11, 2, hour) || s[13] != ':' ||
      !digits(s, 14, 2, minute) || s[16] != ':' || !digits(s, 17, 2, second) || s[19] != '.' ||
      !digits(s, 20, 3, millis)) {
    return std::nullopt;
  }
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] + (month == 2 && isLeap(year) ? 1 : 0) ||
      hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  int offset = 0;
  std::string_view zone = s.substr(23);
  if (zone == "Z") {
    offset = 0;
  } else {
    int oh, om;
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || !digits(zone, 1, 2, oh) || zone[3] != ':' ||
        !digits(zone, 4, 2, om) || oh > 23 || om > 59) {
      return std::nullopt;
    }
    offset = (oh * 3600 + om * 60) * (zone[0] == '-' ? -1 : 1);
  }
  const int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second - offset;
  return static_cast<double>(seconds) + millis / 1000.0;
}

namespace {
std::tm localTime(double seconds) {
  const auto whole = static_cast<time_t>(seconds);
  std::tm tm{};
  localtime_r(&whole, &tm);
  return tm;
}

std::string format(double seconds, const char* pattern) {
  std::tm tm = localTime(seconds);
  char buffer[128];
  const size_t n = std::strftime(buffer, sizeof buffer, pattern, &tm);
  return std::string(buffer, n);
}
}  // namespace

double midnightForSeconds(double seconds) {
  std::tm tm = localTime(seconds);
  tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  tm.tm_isdst = -1;
  return static_cast<double>(std::mktime(&tm));
}

std::string calendarComponentsText(double seconds) { return format(seconds, "%H:%M:%S %Z"); }

std::string simpleTimeText(double seconds) { return format(seconds, "%H:%M"); }

std::string formattedStringDateFromSeconds(double seconds) {
  std::tm tm = localTime(seconds);
  const int day = tm.tm_mday;
  const char* suffix = (day >= 11 && day <= 13) ? "th" : day % 10 == 1 ? "st" : day % 10 == 2 ? "nd" : day % 10 == 3 ? "rd" : "th";
  return format(seconds, "%B") + " " + std::to_string(day) + suffix;
}

std::string serverBaseURL() { return "https://api.devicekeeper.local:443"; }

platform::Value userDefaultsObjectForKey(std::string_view key) {
  return platform::UserDefaults::standard()->objectForKey(key);
}

void userDefaultsSetObject(std::string_view key, const platform::Value& value) {
  platform::UserDefaults::standard()->setObject(value, key);
}

void userDefaultsRemoveObject(std::string_view key) { platform::UserDefaults::standard()->removeObjectForKey(key); }

std::optional<std::string> countryDisplayName(std::string_view isoCode) {
  return platform::displayNameForCountryCode(isoCode);
}

std::string localizedString(std::string_view key, std::optional<std::string_view> defaultValue) {
  return platform::Bundle::main()->localizedString(key, defaultValue.value_or(key));
}

std::string documentsDirectory() { return platform::AppDirectories::documents().string(); }

bool validateIPAddress(std::string_view address) {
  if (address == "0.0.0.0") return false;
  int parts = 0;
  size_t i = 0;
  while (true) {
    size_t digitsSeen = 0;
    int value = 0;
    while (i < address.size() && address[i] >= '0' && address[i] <= '9' && digitsSeen < 4) {
      value = value * 10 + (address[i] - '0');
      ++digitsSeen;
      ++i;
    }
    if (digitsSeen == 0 || digitsSeen > 3 || value > 255) return false;
    ++parts;
    if (i == address.size()) return parts == 4;
    if (address[i] != '.' || parts == 4) return false;
    ++i;
  }
}

bool validateMacAddress(std::string_view address) {
  if (address == "00-00-00-00-00-00" || address == "00:00:00:00:00:00") return false;
  if (address.size() != 17) return false;
  for (size_t i = 0; i < address.size(); ++i) {
    const char c = address[i];
    if (i % 3 == 2) {
      if (c != ':' && c != '-') return false;
    } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

platform::ValueDictionary removeAllNullValuesFromDictionary(const platform::ValueDictionary& dictionary) {
  platform::ValueDictionary out;
  for (const auto& [key, value] : dictionary) {
    if (value.isNilOrNull() || (value.isString() && value.stringValue().empty())) continue;
    out.emplace(key, value);
  }
  return out;
}

void logLine(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

}  // namespace dk::bridge

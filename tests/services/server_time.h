// Server timestamps for hand-written replies: "yyyy-MM-dd'T'HH:mm:ss.SSSZ" in UTC.
#pragma once

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

namespace dk::test {

inline std::string serverTime(double seconds) {
  const auto whole = static_cast<time_t>(std::floor(seconds));
  const int millis = static_cast<int>(std::lround((seconds - std::floor(seconds)) * 1000.0)) % 1000;
  std::tm tm{};
  gmtime_r(&whole, &tm);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return text;
}

}  // namespace dk::test

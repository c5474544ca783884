// Helpers shared by the model tests: server times, JSON, waiting for main-queue completions.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "model/model_support.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/model.h"
#include "platform/foundation/value.h"

namespace dk::test {

// A text of the framework's localisation table, as the models show it.
inline std::string loc(const char* key) { return model_support::localizedString(key); }

// A server time for `seconds` since 1970, in UTC with milliseconds ("2021-03-28T08:15:30.000+00:00").
inline std::string serverTime(double seconds) {
  const auto whole = static_cast<time_t>(seconds);
  const int millis = static_cast<int>((seconds - static_cast<double>(whole)) * 1000 + 0.5);
  std::tm tm{};
  gmtime_r(&whole, &tm);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d+00:00", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return buffer;
}

inline platform::Value json(std::string_view text) {
  std::string error;
  platform::Value v = platform::Value::parseJSON(text, true, &error);
  EXPECT_TRUE(error.empty()) << error;
  return v;
}

// A model of class T mapped from JSON text (a failure is reported and gives nullptr).
template <typename T>
std::shared_ptr<T> mapped(std::string_view text) {
  auto model = platform::modelFromJSON<T>(json(text));
  EXPECT_TRUE(model) << text;
  return model;
}

// Runs the main queue until `flag` is set (completions are posted there).
inline bool waitFor(const bool& flag) {
  return platform::MainRunLoop::runUntil([&] { return flag; });
}

}  // namespace dk::test

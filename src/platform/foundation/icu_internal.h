// ICU glue shared by the platform's .cpp files (never included by a header).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include "platform/foundation/time_zone.h"

namespace dk::platform {

struct TimeZone::Impl {
  std::string identifier;
  bool fixed = false;
  mutable std::mutex mutex;  // ICU zones are not documented as safe for concurrent use
  std::unique_ptr<icu::TimeZone> zone;
};

// A private copy of the zone, for a calendar or formatter to own.
inline std::unique_ptr<icu::TimeZone> cloneIcuZone(const TimeZone& zone) {
  std::lock_guard<std::mutex> lock(zone.impl().mutex);
  return std::unique_ptr<icu::TimeZone>(zone.impl().zone->clone());
}

inline icu::UnicodeString toUnicode(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

inline std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace dk::platform

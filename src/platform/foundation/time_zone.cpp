#include "platform/foundation/time_zone.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unicode/simpletz.h>

#include "platform/foundation/icu_internal.h"

namespace dk::platform {
namespace {

std::shared_ptr<const TimeZone::Impl> makeImpl(std::unique_ptr<icu::TimeZone> zone, std::string identifier, bool fixed) {
  auto impl = std::make_shared<TimeZone::Impl>();
  impl->identifier = std::move(identifier);
  impl->fixed = fixed;
  impl->zone = std::move(zone);
  return impl;
}

struct LocalZone {
  std::mutex mutex;
  std::optional<TimeZone> override;
  std::optional<TimeZone> detected;
};

LocalZone& localZone() {
  static LocalZone* z = new LocalZone;
  return *z;
}

}  // namespace

TimeZone::TimeZone() {
  static const TimeZone* gmt = new TimeZone(withSecondsFromGMT(0));
  impl_ = gmt->impl_;
}

std::optional<TimeZone> TimeZone::named(const std::string& identifier) {
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(toUnicode(identifier)));
  if (!zone || *zone == icu::TimeZone::getUnknown()) return std::nullopt;
  icu::UnicodeString id;
  zone->getID(id);
  return TimeZone(makeImpl(std::move(zone), toUtf8(id), false));
}

TimeZone TimeZone::withSecondsFromGMT(int seconds) {
  // ICU and the platform both refuse offsets beyond ±18 hours.
  seconds = std::clamp(seconds, -18 * 3600, 18 * 3600);
  const int magnitude = std::abs(seconds);
  char name[16];
  std::snprintf(name, sizeof name, "GMT%c%02d%02d", seconds < 0 ? '-' : '+', magnitude / 3600, magnitude / 60 % 60);
  std::string identifier = seconds == 0 ? "GMT" : name;
  auto zone = std::make_unique<icu::SimpleTimeZone>(seconds * 1000, toUnicode(identifier));
  return TimeZone(makeImpl(std::move(zone), std::move(identifier), true));
}

TimeZone TimeZone::local() {
  auto& z = localZone();
  std::lock_guard<std::mutex> lock(z.mutex);
  if (z.override) return *z.override;
  if (!z.detected) {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::detectHostTimeZone());
    icu::UnicodeString id;
    if (zone) zone->getID(id);
    if (zone && *zone != icu::TimeZone::getUnknown())
      z.detected = TimeZone(makeImpl(std::move(zone), toUtf8(id), false));
    else
      z.detected = TimeZone();
  }
  return *z.detected;
}

void TimeZone::setLocal(std::optional<TimeZone> zone) {
  auto& z = localZone();
  std::lock_guard<std::mutex> lock(z.mutex);
  z.override = std::move(zone);
}

const std::string& TimeZone::identifier() const { return impl_->identifier; }
bool TimeZone::isFixedOffset() const { return impl_->fixed; }

int TimeZone::secondsFromGMT(double date) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  int32_t raw = 0, dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  impl_->zone->getOffset(date * 1000.0, false, raw, dst, status);
  if (U_FAILURE(status)) return 0;
  return (raw + dst) / 1000;
}

}  // namespace dk::platform

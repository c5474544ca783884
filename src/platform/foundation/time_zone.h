// TimeZone: a geopolitical zone ("Europe/Berlin") or a fixed offset from GMT (NSTimeZone).
//
// A small immutable value backed by ICU's zone data; copies share it. local() is the system zone
// ($TZ, else /etc/localtime) as detected once per process, unless a test or the host replaced it
// with setLocal(). Every method is thread-safe.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace dk::platform {

class TimeZone {
 public:
  // GMT.
  TimeZone();
  // The zone of that identifier; nullopt when ICU does not know it.
  static std::optional<TimeZone> named(const std::string& identifier);
  // A zone without daylight saving, `seconds` east of GMT (timeZoneForSecondsFromGMT:).
  static TimeZone withSecondsFromGMT(int seconds);
  static TimeZone gmt() { return TimeZone(); }

  static TimeZone local();
  // Replaces the local zone (nullopt: detect the system's again).
  static void setLocal(std::optional<TimeZone> zone);

  // "Europe/Berlin", or "GMT+0100" for a fixed offset.
  const std::string& identifier() const;
  // The offset from GMT in seconds at `date` (seconds since 1970), daylight saving included.
  int secondsFromGMT(double date) const;
  bool isFixedOffset() const;

  friend bool operator==(const TimeZone& a, const TimeZone& b) { return a.identifier() == b.identifier(); }

  struct Impl;
  const Impl& impl() const { return *impl_; }

 private:
  explicit TimeZone(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}
  std::shared_ptr<const Impl> impl_;
};

}  // namespace dk::platform

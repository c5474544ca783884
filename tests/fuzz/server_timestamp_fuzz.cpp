// The server timestamp fast path against the platform's ICU formatter with the server's pattern:
// whatever the fast path accepts, ICU accepts with the same instant.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/server_timestamp.h"
#include "platform/foundation/date_formatter.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace dk::platform;
  static const auto icu = DateFormatter::create(
      {.dateFormat = "yyyy-MM-dd'T'HH:mm:ss.SSSXXX", .locale = Locale("en_US_POSIX"), .timeZone = TimeZone::gmt()});
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto ours = dk::parseServerTimestamp(text);
  // ICU reads years before the Gregorian reform as Julian; the fast path is for server times.
  if (!ours || *ours < -12219292800.0) return 0;
  const auto theirs = icu->dateFromString(text);
  if (theirs != ours) {
    std::fprintf(stderr, "timestamp %.*s: ours %.3f, ICU %s\n", static_cast<int>(size), text.data(), *ours,
                 theirs ? std::to_string(*theirs).c_str() : "refused");
    std::abort();
  }
  return 0;
}

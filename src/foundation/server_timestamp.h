// Server timestamps: the cloud API's "yyyy-MM-dd'T'HH:mm:ss.SSSXXX" strings read without ICU.
//
// parseServerTimestamp is a strict hand-written reader of exactly that form: four-digit year,
// two-digit fields, exactly three digits of milliseconds, and the zone as "Z" or "+HH:MM" /
// "-HH:MM" (at most 18 hours). It answers the same instant ICU's parser gives for every string
// it accepts (for dates from 1583 on; earlier ones ICU reads as Julian), and refuses what the format does not allow (a missing millisecond part, 24:00,
// 30 February, trailing text). Pure functions, thread-safe.
#pragma once

#include <optional>
#include <string_view>

namespace dk {

// Seconds since 1970, with the milliseconds; nullopt when the text is not such a timestamp.
std::optional<double> parseServerTimestamp(std::string_view text);

}  // namespace dk

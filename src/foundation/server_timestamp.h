// Server timestamps: the cloud API's "yyyy-MM-dd'T'HH:mm:ss.SSSXXX" strings read without ICU.
//
// parseServerTimestamp is a strict hand-written reader of the forms of that pattern a server
// sends and the platform's parser accepts and consumes whole: four-digit year, a one- or two-digit
// month, two-digit day and time fields, a fraction of one to three digits (".5" is 500 ms), and the
// zone as "Z", "+HH", "+HHMM" or "+HH:MM" (at most 18 hours, either sign). It answers the same
// instant ICU's parser gives for every string it accepts (for dates from 1583 on; earlier ones ICU
// reads as Julian) and refuses the rest (a missing fraction, 24:00, 30 February, trailing text).
// Pure functions, thread-safe.
#pragma once

#include <optional>
#include <string_view>

namespace dk {

// Seconds since 1970, with the milliseconds; nullopt when the text is not such a timestamp.
std::optional<double> parseServerTimestamp(std::string_view text);

}  // namespace dk

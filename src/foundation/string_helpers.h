// String helpers of the framework: regular-expression extraction (the event list's next-page
// link), whole-string pattern tests, and percent-encoding for query values.
//
// Stateless; safe from any thread. Patterns use ICU syntax and are compiled case-insensitively,
// as the system compiles them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/regular_expression.h"

namespace dk {

// NSString(RegexMatch). The first match of `pattern` in `text`; nullopt when the pattern does not
// compile or nothing matches.
std::optional<platform::RegularExpression::Match> firstMatchUsingRegex(std::string_view text, std::string_view pattern);
// The text of that whole match.
std::optional<std::string> firstStringMatchUsingRegex(std::string_view text, std::string_view pattern);
// The text of the first range of that match (whole match, then each capture group) that differs
// from the whole of `text`; groups that took no part in the match are skipped. With a pattern that
// matches the whole text this is the first capture group.
std::optional<std::string> firstSubstringMatchUsingRegex(std::string_view text, std::string_view pattern);

// "SELF MATCHES[c] pattern": the whole of `text` matches, case-insensitively.
bool stringMatchesPattern(std::string_view text, std::string_view pattern);

// NSString(URLEncode) urlEncodeUsingEncoding: everything but letters, digits and "-._~" is
// percent-encoded (UTF-8 bytes).
std::string urlEncode(std::string_view text);

}  // namespace dk

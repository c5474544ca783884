// URL helpers of the HTTP layer: percent-encoding, query strings built from parameters the way
// the platform's HTTP library builds them, and reference resolution against a base URL.
//
// Pure functions; safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/value.h"

namespace dk::platform {

// Percent-encodes everything but letters, digits, "-._~", "/" and "?" (the query-allowed set minus
// the general and sub-delimiters), bytes as UTF-8 with upper-case hex.
std::string percentEscape(std::string_view text);
// Replaces every "%XX" by its byte; a malformed escape is kept as it stands.
std::string percentDecode(std::string_view text);

// "key=value" pairs joined with "&", keys sorted, both sides percent-encoded. A dictionary nests
// as key[sub]=..., an array as key[]=... for each element; a null value gives the bare key; a nil
// value is skipped. Scalars print as "%@" prints them.
std::string queryStringFromParameters(const Value& parameters);

// RFC 3986 reference resolution ("rest/x" and "/rest/x" under "https://h:443" give the same URL).
// An absolute reference is returned as it stands. An empty base returns the reference.
std::string resolveURL(std::string_view base, std::string_view reference);

// Parts of an absolute URL, as far as the HTTP layer needs them.
struct URLParts {
  std::string scheme;
  std::string host;
  std::optional<int> port;
  std::string path;                  // "" when absent
  std::optional<std::string> query;  // without "?"
  std::optional<std::string> fragment;
};
// nullopt when the text has no scheme.
std::optional<URLParts> parseURL(std::string_view url);
// The query of `url` split at "&" and "=", values percent-decoded (a part without "=" gives an
// empty value).
std::vector<std::pair<std::string, std::string>> queryItems(std::string_view url);

}  // namespace dk::platform

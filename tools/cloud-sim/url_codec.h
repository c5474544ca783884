// Query strings, form bodies and HTTP Basic credentials as a Spring-style server reads them:
// percent escapes decoded and "+" read as a blank (so a client that forgets to escape the "+"
// of a time zone offset fails here as it would against the cloud).
//
// Free functions and a value type; thread-compatible.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dk::cloudsim::detail {

std::string formDecode(std::string_view text);

class QueryParams {
 public:
  static QueryParams parse(std::string_view raw);

  // The first value given for the name.
  std::optional<std::string> get(std::string_view name) const;
  bool has(std::string_view name) const { return get(name).has_value(); }
  const std::vector<std::pair<std::string, std::string>>& all() const { return params_; }

 private:
  std::vector<std::pair<std::string, std::string>> params_;
};

// "Basic <base64(id:secret)>" to (id, secret); nothing for anything else.
std::optional<std::pair<std::string, std::string>> parseBasicAuthorization(std::string_view header);

// The token of "Bearer <token>" (scheme case-insensitive); nothing for anything else.
std::optional<std::string> parseBearerAuthorization(std::string_view header);

// Splits "a,b,,c" into the non-empty items.
std::vector<std::string> splitList(std::string_view text, char separator = ',');

}  // namespace dk::cloudsim::detail

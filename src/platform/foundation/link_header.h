// The HTTP "Link" header (RFC 8288): a comma-separated list of `<target>; name=value; ...`.
//
// Read with a cursor, not split: a quoted parameter may hold "<", ">", ";" and ",", and the list
// may hold empty elements (a trailing comma). A malformed element is skipped up to the next
// comma outside quotes. Of repeated "rel" parameters the first one counts. Pure, thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dk::platform {

struct LinkValue {
  std::string target;  // between the angle brackets, as written
  // Parameters in order; names lower-cased, quoted values unquoted (escapes removed).
  std::vector<std::pair<std::string, std::string>> params;
  // The first "rel" parameter's value, if any.
  std::optional<std::string> rel;
  // Whether the relation types of `rel` (space-separated, compared ignoring case) include `type`.
  bool hasRelation(std::string_view type) const;
};

std::vector<LinkValue> parseLinkHeader(std::string_view header);

// The target of the first link whose relation types include `type`; nullopt when none does.
std::optional<std::string> linkTargetWithRelation(std::string_view header, std::string_view type);

}  // namespace dk::platform

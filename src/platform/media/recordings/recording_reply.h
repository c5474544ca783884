// What a recording's HTTP reply says about the part it carries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/net/http_session.h"

namespace dk::platform::recording_reply {

// "bytes a-b/total" or "bytes */total".
struct ContentRange {
  int64_t first = -1, last = -1, total = -1;
};
std::optional<ContentRange> parseContentRange(const std::string& header);

// A header's value, its name matched in any case; empty when absent.
std::string headerOf(const HttpResponseInfo& response, const std::string& name);

}  // namespace dk::platform::recording_reply

#include "platform/media/recordings/recording_reply.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>

namespace dk::platform::recording_reply {
namespace {

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::optional<int64_t> parseNumber(std::string_view text) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value < 0) return std::nullopt;
  return value;
}

}  // namespace

std::optional<ContentRange> parseContentRange(const std::string& header) {
  constexpr std::string_view kPrefix = "bytes ";
  if (header.compare(0, kPrefix.size(), kPrefix) != 0) return std::nullopt;
  const std::string_view rest(header.data() + kPrefix.size(), header.size() - kPrefix.size());
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  ContentRange range;
  auto total = parseNumber(rest.substr(slash + 1));
  if (!total) return std::nullopt;
  range.total = *total;
  const std::string_view span = rest.substr(0, slash);
  if (span == "*") return range;
  const size_t dash = span.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  auto first = parseNumber(span.substr(0, dash)), last = parseNumber(span.substr(dash + 1));
  if (!first || !last || *last < *first || *last >= range.total) return std::nullopt;
  range.first = *first;
  range.last = *last;
  return range;
}

std::string headerOf(const HttpResponseInfo& response, const std::string& name) {
  const std::string wanted = lowercase(name);
  for (const auto& [key, value] : response.headers) {
    if (lowercase(key) == wanted) return value;
  }
  return {};
}

}  // namespace dk::platform::recording_reply

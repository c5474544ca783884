#include "platform/net/http_header_block.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "platform/foundation/string_case.h"

namespace dk::platform {

namespace {

// HTTP/2 sends header names in lower case; the rest of the system reads "Link", "Content-Type".
std::string canonicalHeaderName(std::string name) {
  const bool allLower = std::none_of(name.begin(), name.end(), [](unsigned char c) { return std::isupper(c); });
  if (!allLower) return name;
  bool upperNext = true;
  for (char& c : name) {
    if (upperNext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    upperNext = c == '-';
  }
  return name;
}

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

// "HTTP/1.1 404 Not Found", "HTTP/2 200": the three digits after the version, else 0.
int statusOf(std::string_view line) {
  const auto space = line.find(' ');
  if (space == std::string_view::npos) return 0;
  const std::string_view code = line.substr(space + 1, 3);
  if (code.size() != 3 || !allDigits(code)) return 0;
  const std::string_view after = line.substr(space + 4);
  if (!after.empty() && after.front() != ' ' && after.front() != '\r' && after.front() != '\n') return 0;
  return (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
}

// A plain decimal length; -1 when it is anything else, the largest number when it overflows.
int64_t lengthOf(std::string_view value) {
  if (!allDigits(value)) return -1;
  int64_t length = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
  if (error == std::errc::result_out_of_range) return std::numeric_limits<int64_t>::max();
  return end == value.data() + value.size() ? length : -1;
}

}  // namespace

HttpHeaderLine HttpHeaderBlock::parseLine(std::string_view line) {
  HttpHeaderLine parsed;
  if (line.substr(0, 5) == "HTTP/") {
    parsed.kind = HttpHeaderLine::Kind::Status;
    parsed.status = statusOf(line);
    return parsed;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return parsed;  // the blank line that ends the block
  parsed.kind = HttpHeaderLine::Kind::Field;
  parsed.name = canonicalHeaderName(std::string(trimmed(line.substr(0, colon))));
  parsed.value = std::string(trimmed(line.substr(colon + 1)));
  return parsed;
}

bool HttpHeaderBlock::add(HttpHeaderLine line, int64_t maxBodyBytes) {
  if (line.kind == HttpHeaderLine::Kind::Status) {
    // A new status line: an interim or redirect reply came before; start over.
    response_ = std::make_shared<HttpResponseInfo>();
    status_ = line.status;
    response_->statusCode = status_;
    expected_ = -1;
    return true;
  }
  if (line.kind != HttpHeaderLine::Kind::Field || !response_) return true;
  if (equalsIgnoringASCIICase(line.name, "Content-Length")) {
    expected_ = lengthOf(line.value);
    if (!isRedirect() && expected_ > maxBodyBytes) return false;
  }
  auto& headers = response_->headers;
  auto it = headers.find(line.name);
  if (it == headers.end()) {
    headers.emplace(std::move(line.name), std::move(line.value));
  } else {
    it->second += ", " + line.value;
  }
  return true;
}

}  // namespace dk::platform

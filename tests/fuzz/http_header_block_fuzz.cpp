// A reply's header block from a hostile server: any lines, split where a transport would split
// them, never crash the reader; the status stays a three-digit code or 0, the announced length is
// -1 or a real number, a refusal happens only for a length over the limit outside a redirect, and
// no kept value carries surrounding blanks or more fields than lines were given.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/net/http_header_block.h"

using dk::platform::HttpHeaderBlock;
using dk::platform::HttpHeaderLine;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the limit on the announced length: 0 to 255 KiB.
  const int64_t limit = int64_t{data[0]} * 1024;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  HttpHeaderBlock block;
  size_t linesSinceStatus = 0;
  while (!input.empty()) {
    const size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end == std::string_view::npos ? input.size() : end + 1);
    input.remove_prefix(line.size());
    const HttpHeaderLine parsed = HttpHeaderBlock::parseLine(line);
    check(parsed.status >= 0 && parsed.status <= 999);
    if (parsed.kind == HttpHeaderLine::Kind::Field && !parsed.value.empty()) {
      check(!blank(parsed.value.front()) && !blank(parsed.value.back()));
    }
    const bool kept = block.add(parsed, limit);
    check(block.expectedLength() >= -1);
    if (!kept) {
      check(!block.isRedirect() && block.expectedLength() > limit);
      break;
    }
    if (parsed.kind == HttpHeaderLine::Kind::Status) {
      linesSinceStatus = 0;
      check(block.response() && block.response()->statusCode == parsed.status && block.status() == parsed.status);
      check(block.expectedLength() == -1 && block.response()->headers.empty());
    } else {
      ++linesSinceStatus;
    }
    if (block.response()) check(block.response()->headers.size() <= linesSinceStatus);
  }
  return 0;
}

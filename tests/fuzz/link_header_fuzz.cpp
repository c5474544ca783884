// The Link header reader: any text reads without fault, and what it reads, written back out in
// the canonical form, reads back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/foundation/link_header.h"

namespace {

std::string quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string written(const std::vector<dk::platform::LinkValue>& links) {
  std::string out;
  for (const auto& link : links) {
    if (!out.empty()) out += ", ";
    out += "<" + link.target + ">";
    for (const auto& [name, value] : link.params) out += "; " + name + "=" + quoted(value);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto links = dk::platform::parseLinkHeader(text);
  for (const auto& link : links) {
    if (link.target.find('>') != std::string::npos) std::abort();
    if (link.rel && link.params.empty()) std::abort();
  }
  const auto again = dk::platform::parseLinkHeader(written(links));
  bool same = again.size() == links.size();
  for (size_t i = 0; same && i < links.size(); ++i)
    same = again[i].target == links[i].target && again[i].params == links[i].params && again[i].rel == links[i].rel;
  if (!same) {
    std::fprintf(stderr, "Link header does not read back: %s\n", written(links).c_str());
    std::abort();
  }
  return 0;
}

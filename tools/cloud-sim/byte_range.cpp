#include "byte_range.h"

#include <cstdint>
#include <optional>

namespace dk::cloudsim::detail {
namespace {

std::optional<uint64_t> rangeNumber(const std::string& text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

void applyByteRange(const std::string& rangeHeader, HttpReply& reply) {
  if (rangeHeader.empty() || reply.status != 200 || reply.header("Accept-Ranges") != "bytes") return;
  std::string spec;
  for (char c : rangeHeader) {
    if (c != ' ' && c != '\t') spec.push_back(c);
  }
  if (spec.rfind("bytes=", 0) != 0) return;
  spec.erase(0, 6);
  const size_t dash = spec.find('-');
  if (dash == std::string::npos || spec.find(',') != std::string::npos) return;
  const std::string first = spec.substr(0, dash), last = spec.substr(dash + 1);
  const uint64_t size = reply.bodySize();
  uint64_t from = 0, to = 0;
  bool satisfiable = true;
  if (first.empty()) {  // the last n bytes
    const auto count = rangeNumber(last);
    if (!count) return;
    satisfiable = *count > 0 && size > 0;
    from = size - std::min(*count, size);
    to = size - 1;
  } else {
    const auto start = rangeNumber(first);
    const auto end = last.empty() ? std::optional<uint64_t>(UINT64_MAX) : rangeNumber(last);
    if (!start || !end || *end < *start) return;
    satisfiable = *start < size;
    from = *start;
    to = std::min(*end, size - 1);
  }
  if (!satisfiable) {
    reply.status = 416;
    reply.body.clear();
    reply.fill = nullptr;
    reply.streamedSize = 0;
    reply.setHeader("Content-Range", "bytes */" + std::to_string(size));
    return;
  }
  const uint64_t length = to - from + 1;
  if (reply.fill) {
    reply.fill = [fill = std::move(reply.fill), from](uint64_t offset, char* out, size_t count) {
      fill(from + offset, out, count);
    };
    reply.streamedSize = length;
  } else {
    reply.body = reply.body.substr(static_cast<size_t>(from), static_cast<size_t>(length));
  }
  reply.status = 206;
  reply.setHeader("Content-Range",
                  "bytes " + std::to_string(from) + "-" + std::to_string(to) + "/" + std::to_string(size));
}

}  // namespace dk::cloudsim::detail

#include "url_codec.h"

#include "http_types.h"

namespace dk::cloudsim::detail {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> base64Decode(std::string_view text) {
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    int value;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (c >= '0' && c <= '9') value = c - '0' + 52;
    else if (c == '+' || c == '-') value = 62;
    else if (c == '/' || c == '_') value = 63;
    else if (c == '=') break;
    else return std::nullopt;
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xff));
    }
  }
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string formDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
               hexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

QueryParams QueryParams::parse(std::string_view raw) {
  QueryParams params;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('&', start);
    if (end == std::string_view::npos) end = raw.size();
    const std::string_view part = raw.substr(start, end - start);
    if (!part.empty()) {
      const size_t eq = part.find('=');
      if (eq == std::string_view::npos) {
        params.params_.emplace_back(formDecode(part), std::string());
      } else {
        params.params_.emplace_back(formDecode(part.substr(0, eq)), formDecode(part.substr(eq + 1)));
      }
    }
    start = end + 1;
  }
  return params;
}

std::optional<std::string> QueryParams::get(std::string_view name) const {
  for (const auto& [key, value] : params_)
    if (key == name) return value;
  return std::nullopt;
}

std::optional<std::pair<std::string, std::string>> parseBasicAuthorization(std::string_view header) {
  header = trim(header);
  if (header.size() < 6 || !equalsIgnoreCase(header.substr(0, 6), "basic ")) return std::nullopt;
  const auto decoded = base64Decode(trim(header.substr(6)));
  if (!decoded) return std::nullopt;
  const size_t colon = decoded->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::make_pair(decoded->substr(0, colon), decoded->substr(colon + 1));
}

std::optional<std::string> parseBearerAuthorization(std::string_view header) {
  header = trim(header);
  if (header.size() < 7 || !equalsIgnoreCase(header.substr(0, 7), "bearer ")) return std::nullopt;
  const std::string_view token = trim(header.substr(7));
  if (token.empty()) return std::nullopt;
  return std::string(token);
}

std::vector<std::string> splitList(std::string_view text, char separator) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view item = trim(text.substr(start, end - start));
    if (!item.empty()) items.emplace_back(item);
    start = end + 1;
  }
  return items;
}

}  // namespace dk::cloudsim::detail

#include "platform/net/url.h"

#include <algorithm>
#include <cctype>

#include "platform/foundation/string_case.h"

namespace dk::platform {

namespace {

bool isUnescaped(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~' || c == '/' || c == '?';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendPairs(const std::string& key, const Value& value, std::vector<std::pair<std::string, Value>>& out) {
  if (value.isDictionary()) {
    // Nested keys are sorted like the top level (the dictionary is ordered by key already).
    for (const auto& [k, v] : value.dictionaryValue()) {
      appendPairs(key.empty() ? k : key + "[" + k + "]", v, out);
    }
  } else if (value.isArray()) {
    for (const Value& v : value.arrayValue()) appendPairs(key + "[]", v, out);
  } else if (!value.isNil()) {
    out.emplace_back(key, value);
  }
}

// Removes dot segments (RFC 3986, 5.2.4).
std::string removeDotSegments(std::string_view input) {
  std::vector<std::string_view> segments;
  const bool absolute = !input.empty() && input.front() == '/';
  size_t i = absolute ? 1 : 0;
  bool trailingSlash = false;
  while (i <= input.size()) {
    size_t slash = input.find('/', i);
    if (slash == std::string_view::npos) slash = input.size();
    std::string_view segment = input.substr(i, slash - i);
    trailingSlash = false;
    if (segment == ".") {
      trailingSlash = true;
    } else if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      trailingSlash = true;
    } else {
      segments.push_back(segment);
    }
    i = slash + 1;
  }
  std::string out = absolute ? "/" : "";
  for (size_t k = 0; k < segments.size(); ++k) {
    if (k) out += '/';
    out += segments[k];
  }
  if (trailingSlash && !out.empty() && out.back() != '/') out += '/';
  return out;
}

struct Reference {
  std::optional<std::string_view> scheme, authority, query, fragment;
  std::string_view path;
};

Reference split(std::string_view s) {
  Reference r;
  if (auto hash = s.find('#'); hash != std::string_view::npos) {
    r.fragment = s.substr(hash + 1);
    s = s.substr(0, hash);
  }
  if (auto q = s.find('?'); q != std::string_view::npos) {
    r.query = s.substr(q + 1);
    s = s.substr(0, q);
  }
  // A scheme is letters, digits, "+-." before the first ":" that precedes any "/".
  if (auto colon = s.find(':'); colon != std::string_view::npos && colon > 0) {
    const auto candidate = s.substr(0, colon);
    const bool valid = std::isalpha(static_cast<unsigned char>(candidate[0])) &&
                       std::all_of(candidate.begin(), candidate.end(), [](char c) {
                         return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
                       });
    if (valid) {
      r.scheme = candidate;
      s = s.substr(colon + 1);
    }
  }
  if (s.substr(0, 2) == "//") {
    s = s.substr(2);
    const auto slash = s.find('/');
    r.authority = s.substr(0, slash);
    s = slash == std::string_view::npos ? std::string_view() : s.substr(slash);
  }
  r.path = s;
  return r;
}

std::string join(const std::optional<std::string_view>& scheme, const std::optional<std::string_view>& authority,
                 std::string_view path, const std::optional<std::string_view>& query,
                 const std::optional<std::string_view>& fragment) {
  std::string out;
  if (scheme) out.append(*scheme).append(":");
  if (authority) out.append("//").append(*authority);
  out.append(path);
  if (query) out.append("?").append(*query);
  if (fragment) out.append("#").append(*fragment);
  return out;
}

}  // namespace

std::string percentEscape(std::string_view text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + 8);
  for (unsigned char c : text) {
    if (isUnescaped(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string queryStringFromParameters(const Value& parameters) {
  std::vector<std::pair<std::string, Value>> pairs;
  appendPairs("", parameters, pairs);
  std::string out;
  for (const auto& [key, value] : pairs) {
    if (!out.empty()) out += '&';
    out += percentEscape(key);
    if (value.isNull()) continue;
    out += '=';
    out += percentEscape(value.description());
  }
  return out;
}

std::string resolveURL(std::string_view base, std::string_view reference) {
  if (base.empty()) return std::string(reference);
  const Reference r = split(reference);
  if (r.scheme) return std::string(reference);
  const Reference b = split(base);
  if (r.authority) return join(b.scheme, r.authority, removeDotSegments(r.path), r.query, r.fragment);
  if (r.path.empty()) return join(b.scheme, b.authority, b.path, r.query ? r.query : b.query, r.fragment);
  std::string path;
  if (r.path.front() == '/') {
    path = removeDotSegments(r.path);
  } else {
    std::string merged;
    if (b.authority && b.path.empty()) {
      merged = "/" + std::string(r.path);
    } else {
      const auto slash = b.path.rfind('/');
      merged = (slash == std::string_view::npos ? std::string() : std::string(b.path.substr(0, slash + 1))) +
               std::string(r.path);
    }
    path = removeDotSegments(merged);
  }
  return join(b.scheme, b.authority, path, r.query, r.fragment);
}

std::optional<URLParts> parseURL(std::string_view url) {
  const Reference r = split(url);
  if (!r.scheme) return std::nullopt;
  URLParts parts;
  parts.scheme = asciiLowercase(*r.scheme);
  if (r.authority) {
    std::string_view authority = *r.authority;
    if (auto at = authority.rfind('@'); at != std::string_view::npos) authority = authority.substr(at + 1);
    std::string_view hostPart = authority;
    if (!authority.empty() && authority.front() == '[') {
      const auto close = authority.find(']');
      hostPart = authority.substr(0, close == std::string_view::npos ? authority.size() : close + 1);
      authority.remove_prefix(hostPart.size());
    } else {
      const auto colon = authority.rfind(':');
      hostPart = authority.substr(0, colon);
      authority = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    }
    parts.host.assign(hostPart);
    if (authority.size() > 1 && authority.front() == ':') {
      int port = 0;
      bool ok = true;
      for (char c : authority.substr(1)) {
        if (c < '0' || c > '9' || port > 65535) {
          ok = false;
          break;
        }
        port = port * 10 + (c - '0');
      }
      if (ok && port <= 65535) parts.port = port;
    }
  }
  parts.path.assign(r.path);
  if (r.query) parts.query = std::string(*r.query);
  if (r.fragment) parts.fragment = std::string(*r.fragment);
  return parts;
}

std::vector<std::pair<std::string, std::string>> queryItems(std::string_view url) {
  std::vector<std::pair<std::string, std::string>> items;
  const Reference r = split(url);
  if (!r.query) return items;
  std::string_view q = *r.query;
  while (!q.empty()) {
    const auto amp = q.find('&');
    const std::string_view part = q.substr(0, amp);
    if (!part.empty()) {
      const auto eq = part.find('=');
      items.emplace_back(percentDecode(part.substr(0, eq)),
                         eq == std::string_view::npos ? std::string() : percentDecode(part.substr(eq + 1)));
    }
    if (amp == std::string_view::npos) break;
    q.remove_prefix(amp + 1);
  }
  return items;
}

}  // namespace dk::platform

#include "foundation/string_helpers.h"

#include <mutex>
#include <unordered_map>

namespace dk {
namespace {

// The system's patterns are few and fixed; compiled ones are kept.
std::shared_ptr<const platform::RegularExpression> compiled(std::string_view pattern) {
  static std::mutex mutex;
  static std::unordered_map<std::string, std::shared_ptr<const platform::RegularExpression>> cache;
  std::string key(pattern);
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
  }
  auto regex = platform::RegularExpression::create(pattern, platform::RegularExpression::kCaseInsensitive);
  std::lock_guard<std::mutex> lock(mutex);
  // Patterns that do not compile are remembered too, but a caller-made pattern must not grow the
  // cache without end.
  if (cache.size() < 256) cache.emplace(std::move(key), regex);
  return regex;
}

}  // namespace

std::optional<platform::RegularExpression::Match> firstMatchUsingRegex(std::string_view text, std::string_view pattern) {
  auto regex = compiled(pattern);
  if (!regex) return std::nullopt;
  return regex->firstMatch(text);
}

std::optional<std::string> firstStringMatchUsingRegex(std::string_view text, std::string_view pattern) {
  auto match = firstMatchUsingRegex(text, pattern);
  if (!match || match->ranges.empty() || !match->ranges[0]) return std::nullopt;
  return std::string(text.substr(match->ranges[0]->location, match->ranges[0]->length));
}

std::optional<std::string> firstSubstringMatchUsingRegex(std::string_view text, std::string_view pattern) {
  auto match = firstMatchUsingRegex(text, pattern);
  if (!match) return std::nullopt;
  for (const auto& range : match->ranges) {
    if (!range) continue;  // an optional group that did not take part has no text at all
    std::string_view piece = text.substr(range->location, range->length);
    if (piece != text) return std::string(piece);
  }
  return std::nullopt;
}

bool stringMatchesPattern(std::string_view text, std::string_view pattern) {
  auto regex = compiled(pattern);
  return regex && regex->matchesEntireString(text);
}

std::string urlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (unsigned char c : text) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '.' || c == '_' || c == '~';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

}  // namespace dk

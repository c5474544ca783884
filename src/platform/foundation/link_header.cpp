#include "platform/foundation/link_header.h"

#include <cctype>

#include "platform/foundation/string_case.h"

namespace dk::platform {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// RFC 9110 token characters.
bool isTokenChar(char c) {
  if (std::isalnum(static_cast<unsigned char>(c))) return true;
  switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~': return true;
    default: return false;
  }
}

class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  bool atEnd() const { return at_ >= s_.size(); }
  char peek() const { return atEnd() ? '\0' : s_[at_]; }
  void skipSpace() {
    while (!atEnd() && isSpace(s_[at_])) ++at_;
  }

  // Moves past the next comma outside quotes (or to the end): the rest of a bad element.
  void skipElement() {
    bool quoted = false;
    while (!atEnd()) {
      const char c = s_[at_++];
      if (quoted && c == '\\' && !atEnd()) {
        ++at_;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        return;
      }
    }
  }

  std::optional<LinkValue> readLink() {
    if (peek() != '<') return std::nullopt;
    const size_t close = s_.find('>', at_ + 1);
    if (close == std::string_view::npos) {
      at_ = s_.size();
      return std::nullopt;
    }
    LinkValue link;
    link.target = std::string(s_.substr(at_ + 1, close - at_ - 1));
    at_ = close + 1;
    for (;;) {
      skipSpace();
      if (atEnd() || peek() == ',') return link;
      if (peek() != ';') return std::nullopt;
      ++at_;
      skipSpace();
      const size_t nameStart = at_;
      while (!atEnd() && isTokenChar(peek())) ++at_;
      std::string name = asciiLowercase(s_.substr(nameStart, at_ - nameStart));
      if (name.empty()) return std::nullopt;
      skipSpace();
      std::string value;
      if (peek() == '=') {
        ++at_;
        skipSpace();
        if (peek() == '"') {
          if (!readQuoted(value)) return std::nullopt;
        } else {
          while (!atEnd() && isTokenChar(peek())) value += s_[at_++];
        }
      }
      if (name == "rel" && !link.rel) link.rel = value;
      link.params.emplace_back(std::move(name), std::move(value));
    }
  }

 private:
  bool readQuoted(std::string& out) {
    ++at_;  // the opening quote
    while (!atEnd()) {
      const char c = s_[at_++];
      if (c == '"') return true;
      if (c == '\\') {
        if (atEnd()) return false;
        out += s_[at_++];
      } else {
        out += c;
      }
    }
    return false;  // unterminated
  }

  std::string_view s_;
  size_t at_ = 0;
};

}  // namespace

bool LinkValue::hasRelation(std::string_view type) const {
  if (!rel) return false;
  std::string_view types = *rel;
  while (!types.empty()) {
    while (!types.empty() && (isSpace(types.front()) || types.front() == '\n')) types.remove_prefix(1);
    size_t end = 0;
    while (end < types.size() && !isSpace(types[end]) && types[end] != '\n') ++end;
    if (end > 0 && equalsIgnoringASCIICase(types.substr(0, end), type)) return true;
    types.remove_prefix(end);
  }
  return false;
}

std::vector<LinkValue> parseLinkHeader(std::string_view header) {
  std::vector<LinkValue> links;
  Reader reader(header);
  while (!reader.atEnd()) {
    reader.skipSpace();
    if (reader.peek() == ',') {  // an empty list element
      reader.skipElement();
      continue;
    }
    if (reader.atEnd()) break;
    if (auto link = reader.readLink()) {
      links.push_back(std::move(*link));
      reader.skipSpace();
      if (reader.peek() == ',') reader.skipElement();
    } else {
      reader.skipElement();
    }
  }
  return links;
}

std::optional<std::string> linkTargetWithRelation(std::string_view header, std::string_view type) {
  for (const auto& link : parseLinkHeader(header)) {
    if (link.hasRelation(type)) return link.target;
  }
  return std::nullopt;
}

}  // namespace dk::platform

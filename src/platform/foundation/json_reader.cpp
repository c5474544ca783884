#include "platform/foundation/json_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace dk::platform::detail {

namespace {

constexpr int kMaxDepth = 512;

// The tree (and the reader's own stacks) may hold at most this many bytes per byte of text, plus a
// floor that no small document reaches: a page of tiny values would otherwise cost 20 to 30 times.
constexpr size_t kMaxHeldPerTextByte = 8;
constexpr size_t kHeldFloor = 512 * 1024;
constexpr const char* kTooDense = "JSON too dense: its tree would take more than 8 times its text";
static_assert(std::string_view(kTooDense).starts_with(kJSONTooDense));

// What malloc holds for a request of `bytes` (glibc on 64 bits): 16-byte chunks less their 8-byte
// header, and whole pages for the large requests it may map.
size_t heapBytes(size_t bytes) {
  const size_t chunk = std::max<size_t>(32, (bytes + 8 + 15) & ~size_t{15}) - 8;
  if (bytes < 64 * 1024) return chunk;
  return std::max(chunk, ((bytes + 16 + 4095) & ~size_t{4095}) - 16);
}

// A container's shared block: two counts, a vtable and the container itself.
template <typename Container>
constexpr size_t kSharedBlock = 16 + sizeof(Container);

class Reader {
 public:
  explicit Reader(std::string_view text)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()),
        budget_(kMaxHeldPerTextByte * text.size() + kHeldFloor) {}

  bool document(Value& out) {
    if (end_ - p_ >= 3 && static_cast<unsigned char>(p_[0]) == 0xEF && static_cast<unsigned char>(p_[1]) == 0xBB &&
        static_cast<unsigned char>(p_[2]) == 0xBF) {
      p_ += 3;  // a byte-order mark
    }
    if (!value(out)) return false;
    skipSpace();
    return p_ == end_ || fail("unexpected text after the JSON value");
  }

  const std::string& error() const { return error_; }

 private:
  bool fail(const char* what) {
    if (error_.empty()) error_ = std::string(what) + " at offset " + std::to_string(p_ - begin_);
    return false;
  }

  // Every allocation the reader causes is counted here before it is made, so that the peak (not only
  // the finished tree) stays within the budget.
  bool charge(size_t bytes) {
    if (bytes > budget_ - held_) return fail(kTooDense);
    held_ += bytes;
    return true;
  }
  void release(size_t bytes) { held_ -= bytes; }

  // Room for one more entry on a stack, grown by half (not doubled) to keep its slack small.
  template <typename Stack>
  bool makeRoom(Stack& stack) {
    if (stack.size() < stack.capacity()) return true;
    constexpr size_t entry = sizeof(typename Stack::value_type);
    const size_t old = stack.capacity();
    const size_t grown = std::max<size_t>(16, old + old / 2);
    if (!charge(heapBytes(grown * entry))) return false;
    stack.reserve(grown);
    if (old > 0) release(heapBytes(old * entry));
    return true;
  }

  // An exactly sized container of the entries on top of `stack`; the outermost one takes the
  // stack's buffer whole instead (a third of it slack at most), so no second copy adds to the peak.
  template <typename Stack>
  bool takeTop(Stack& stack, size_t base, Stack& into) {
    const size_t count = stack.size() - base;
    if (base == 0 && stack.capacity() - count <= count / 2) {
      into = std::move(stack);  // its bytes are already counted
      stack = {};
      return true;
    }
    if (!charge(heapBytes(count * sizeof(typename Stack::value_type)))) return false;
    into.assign(std::make_move_iterator(stack.begin() + static_cast<std::ptrdiff_t>(base)),
                std::make_move_iterator(stack.end()));
    stack.resize(base);
    return true;
  }

  void skipSpace() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }

  bool value(Value& out) {
    skipSpace();
    if (p_ == end_) return fail("unexpected end of input");
    switch (*p_) {
      case '{': return object(out);
      case '[': return array(out);
      case '"': {
        std::string text;
        if (!string(text)) return false;
        out = Value(std::move(text));
        return true;
      }
      case 't': return literal("true", Value(true), out);
      case 'f': return literal("false", Value(false), out);
      case 'n': return literal("null", Value::null(), out);
      default:
        if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) return number(out);
        return fail("unexpected character");
    }
  }

  bool literal(std::string_view word, Value v, Value& out) {
    if (static_cast<size_t>(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word) {
      return fail("invalid literal");
    }
    p_ += word.size();
    out = std::move(v);
    return true;
  }

  // Members and elements gather on two stacks shared by the whole document and move into an
  // exactly sized container when it closes: one allocation per container, none for regrowth.
  bool object(Value& out) {
    if (++depth_ > kMaxDepth) return fail("nesting too deep");
    ++p_;
    const size_t base = members_.size();
    skipSpace();
    if (p_ < end_ && *p_ == '}') {
      ++p_;
    } else {
      for (;;) {
        skipSpace();
        if (p_ == end_ || *p_ != '"') return fail("expected a string key");
        if (!makeRoom(members_)) return false;
        auto& member = members_.emplace_back();
        if (!string(member.first)) return false;
        skipSpace();
        if (p_ == end_ || *p_ != ':') return fail("expected ':'");
        ++p_;
        Value element;
        if (!value(element)) return false;
        members_[members_.size() - 1].second = std::move(element);  // value() may have regrown the stack
        skipSpace();
        if (p_ == end_) return fail("unexpected end of input");
        if (*p_ == ',') {
          ++p_;
          continue;
        }
        if (*p_ == '}') {
          ++p_;
          break;
        }
        return fail("expected ',' or '}'");
      }
    }
    --depth_;
    if (members_.size() == base) {
      out = emptyDictionary();
      return true;
    }
    ValueDictionary::Entries entries;
    if (!charge(kSharedBlock<ValueDictionary>) || !takeTop(members_, base, entries)) return false;
    // Sorting more than a few entries borrows a buffer of half of them for the while.
    const size_t sortBuffer =
        entries.size() > 24 ? heapBytes((entries.size() + 1) / 2 * sizeof(ValueDictionary::value_type)) : 0;
    if (!charge(sortBuffer)) return false;
    out = Value(ValueDictionary::withEntries(std::move(entries)));
    release(sortBuffer);
    return true;
  }

  bool array(Value& out) {
    if (++depth_ > kMaxDepth) return fail("nesting too deep");
    ++p_;
    const size_t base = elements_.size();
    skipSpace();
    if (p_ < end_ && *p_ == ']') {
      ++p_;
    } else {
      for (;;) {
        Value element;
        if (!value(element) || !makeRoom(elements_)) return false;
        elements_.push_back(std::move(element));
        skipSpace();
        if (p_ == end_) return fail("unexpected end of input");
        if (*p_ == ',') {
          ++p_;
          continue;
        }
        if (*p_ == ']') {
          ++p_;
          break;
        }
        return fail("expected ',' or ']'");
      }
    }
    --depth_;
    if (elements_.size() == base) {
      out = emptyArray();
      return true;
    }
    ValueArray elements;
    if (!charge(kSharedBlock<ValueArray>) || !takeTop(elements_, base, elements)) return false;
    out = Value(std::move(elements));
    return true;
  }

  // Containers are immutable and shared on copy, so every empty one of a document is the same one:
  // a reply of many "[]" or "{}" costs a Value each, not an allocation each.
  static Value emptyArray() {
    static const Value empty{ValueArray{}};
    return empty;
  }
  static Value emptyDictionary() {
    static const Value empty{ValueDictionary{}};
    return empty;
  }

  static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool hex4(uint32_t& code) {
    if (end_ - p_ < 4) return fail("truncated \\u escape");
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const int d = hexDigit(p_[i]);
      if (d < 0) return fail("invalid \\u escape");
      code = code * 16 + static_cast<uint32_t>(d);
    }
    p_ += 4;
    return true;
  }

  static void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  // Length of the well-formed UTF-8 sequence at p_ (lead byte >= 0x80), or 0.
  size_t utf8Sequence() const {
    const auto* s = reinterpret_cast<const unsigned char*>(p_);
    const size_t left = static_cast<size_t>(end_ - p_);
    auto cont = [&](size_t i) { return i < left && (s[i] & 0xC0) == 0x80; };
    const unsigned char c = s[0];
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
      if (!cont(1) || !cont(2)) return 0;
      if (c == 0xE0 && s[1] < 0xA0) return 0;  // overlong
      if (c == 0xED && s[1] >= 0xA0) return 0;  // a surrogate
      return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
      if (!cont(1) || !cont(2) || !cont(3)) return 0;
      if (c == 0xF0 && s[1] < 0x90) return 0;  // overlong
      if (c == 0xF4 && s[1] >= 0x90) return 0;  // beyond U+10FFFF
      return 4;
    }
    return 0;
  }

  // Bytes from p_ to the closing quote (or the end): what is left of a string decodes into no more.
  size_t quotedLength() const {
    const char* q = p_;
    while (q < end_ && *q != '"') q += *q == '\\' && end_ - q > 1 ? 2 : 1;
    return static_cast<size_t>(q - p_);
  }

  // Moves p_ past text that a string keeps as it stands.
  void skipPlain() {
    while (p_ < end_) {
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) break;
      ++p_;
    }
  }

  bool string(std::string& out) {
    ++p_;  // the opening quote
    const char* run = p_;
    skipPlain();
    // One allocation, counted first, instead of regrowth while appending: plain text up to the quote
    // (nearly every string) has its exact length; anything else its quoted length, never passed.
    const size_t room = static_cast<size_t>(p_ - run) + (p_ < end_ && *p_ == '"' ? 0 : quotedLength());
    if (room > out.capacity()) {
      // A string may round a small request up to twice its inline room: count the larger, keep the real.
      const size_t upper = heapBytes(std::max(room, 2 * out.capacity()) + 1);
      if (!charge(upper)) return false;
      out.reserve(room);
      release(upper - heapBytes(out.capacity() + 1));
    }
    for (;; run = p_, skipPlain()) {
      out.append(run, static_cast<size_t>(p_ - run));
      if (p_ == end_) return fail("unterminated string");
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        ++p_;
        return true;
      }
      if (c < 0x20) return fail("control character in string");
      if (c >= 0x80) {
        const size_t length = utf8Sequence();
        if (length == 0) return fail("ill-formed UTF-8");
        out.append(p_, length);
        p_ += length;
        continue;
      }
      // A backslash escape.
      if (++p_ == end_) return fail("unterminated string");
      const char e = *p_++;
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t code = 0;
          if (!hex4(code)) return false;
          if (code >= 0xD800 && code <= 0xDBFF) {
            uint32_t low = 0;
            if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return fail("unpaired surrogate");
            p_ += 2;
            if (!hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return fail("unpaired surrogate");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return fail("unpaired surrogate");
          }
          appendUtf8(out, code);
          break;
        }
        default: return fail("invalid escape");
      }
    }
  }

  bool number(Value& out) {
    const char* start = p_;
    bool integral = true;
    if (*p_ == '-') ++p_;
    if (p_ == end_) return fail("invalid number");
    if (*p_ == '0') {
      ++p_;
    } else if (*p_ >= '1' && *p_ <= '9') {
      while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    } else {
      return fail("invalid number");
    }
    if (p_ < end_ && *p_ == '.') {
      integral = false;
      ++p_;
      if (p_ == end_ || *p_ < '0' || *p_ > '9') return fail("invalid number");
      while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      integral = false;
      ++p_;
      if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (p_ == end_ || *p_ < '0' || *p_ > '9') return fail("invalid number");
      while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    }
    if (integral) {
      int64_t n;
      auto [ptr, ec] = std::from_chars(start, p_, n);
      if (ec == std::errc() && ptr == p_) {
        out = Value(n);
        return true;
      }
      // Too large for 64 bits: kept as a double, as the platform does.
    }
    double d;
    auto [ptr, ec] = std::from_chars(start, p_, d);
    if (ec == std::errc::result_out_of_range) {
      // Too small for a double reads as (signed) zero, as other readers do; too large stays an error.
      const size_t copy = static_cast<size_t>(p_ - start) > 15 ? heapBytes(static_cast<size_t>(p_ - start) + 1) : 0;
      if (!charge(copy)) return false;
      const std::string text(start, p_);
      d = std::strtod(text.c_str(), nullptr);
      release(copy);
      if (std::isinf(d)) return fail("number out of range");
      out = Value(d);
      return true;
    }
    if (ec != std::errc() || ptr != p_) return fail("number out of range");
    out = Value(d);
    return true;
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  int depth_ = 0;
  std::string error_;
  const size_t budget_;
  size_t held_ = 0;  // bytes the tree and the stacks hold now, as malloc counts them
  ValueDictionary::Entries members_;
  ValueArray elements_;
};

}  // namespace

Value readJSON(std::string_view text, std::string* error) {
  Reader reader(text);
  Value out;
  if (!reader.document(out)) {
    if (error) *error = reader.error();
    return Value();
  }
  return out;
}

}  // namespace dk::platform::detail

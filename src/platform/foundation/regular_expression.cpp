#include "platform/foundation/regular_expression.h"

#include <unicode/regex.h>
#include <unicode/utext.h>

namespace dk::platform {

struct RegularExpression::Impl {
  std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {

// A matcher over UTF-8 text without copying it; native indexes are byte offsets.
struct Utf8Matcher {
  UText* text = nullptr;
  std::unique_ptr<icu::RegexMatcher> matcher;

  Utf8Matcher(const icu::RegexPattern& pattern, std::string_view input) {
    UErrorCode status = U_ZERO_ERROR;
    text = utext_openUTF8(nullptr, input.data(), static_cast<int64_t>(input.size()), &status);
    if (U_FAILURE(status)) {
      text = nullptr;
      return;
    }
    matcher.reset(pattern.matcher(status));
    if (U_FAILURE(status)) {
      matcher.reset();
      return;
    }
    matcher->reset(text);
  }
  ~Utf8Matcher() {
    matcher.reset();
    if (text) utext_close(text);
  }
  Utf8Matcher(const Utf8Matcher&) = delete;
  Utf8Matcher& operator=(const Utf8Matcher&) = delete;
};

}  // namespace

RegularExpression::RegularExpression(std::string pattern, std::unique_ptr<Impl> impl)
    : pattern_(std::move(pattern)), impl_(std::move(impl)) {}

RegularExpression::~RegularExpression() = default;

std::shared_ptr<const RegularExpression> RegularExpression::create(std::string_view pattern, unsigned options,
                                                                   ErrorPtr* error) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError{};
  uint32_t flags = (options & kCaseInsensitive) ? UREGEX_CASE_INSENSITIVE : 0;
  auto unicodePattern = icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
  std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(unicodePattern, flags, parseError, status));
  if (U_FAILURE(status) || !compiled) {
    if (error) {
      *error = Error::make(std::string(kCocoaErrorDomain), 2048,
                           "The value \u201c" + std::string(pattern) + "\u201d is invalid.");
    }
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->pattern = std::move(compiled);
  return std::make_shared<const RegularExpression>(std::string(pattern), std::move(impl));
}

std::optional<RegularExpression::Match> RegularExpression::firstMatch(std::string_view text) const {
  Utf8Matcher m(*impl_->pattern, text);
  if (!m.matcher) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  if (!m.matcher->find(status) || U_FAILURE(status)) return std::nullopt;
  Match match;
  int32_t groups = m.matcher->groupCount();
  match.ranges.reserve(static_cast<size_t>(groups) + 1);
  for (int32_t g = 0; g <= groups; ++g) {
    status = U_ZERO_ERROR;
    int64_t start = m.matcher->start64(g, status);
    int64_t end = m.matcher->end64(g, status);
    if (U_FAILURE(status) || start < 0 || end < start) {
      match.ranges.emplace_back(std::nullopt);
    } else {
      match.ranges.emplace_back(Range{static_cast<size_t>(start), static_cast<size_t>(end - start)});
    }
  }
  return match;
}

bool RegularExpression::matchesEntireString(std::string_view text) const {
  Utf8Matcher m(*impl_->pattern, text);
  if (!m.matcher) return false;
  UErrorCode status = U_ZERO_ERROR;
  bool result = m.matcher->matches(status);
  return U_SUCCESS(status) && result;
}

}  // namespace dk::platform

// RegularExpression: a compiled ICU-syntax pattern (what NSRegularExpression and the MATCHES
// predicate give), matched over UTF-8 text.
//
// Immutable once compiled; one instance may be matched from any number of threads at once.
// Ranges are byte offsets into the UTF-8 text searched.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/error.h"

namespace dk::platform {

class RegularExpression {
 public:
  enum Option : unsigned { kNone = 0, kCaseInsensitive = 1 };

  // A byte range of the searched text; a capture group that took no part in the match has none.
  struct Range {
    size_t location = 0;
    size_t length = 0;
  };
  struct Match {
    // ranges[0] is the whole match, then one entry per capture group.
    std::vector<std::optional<Range>> ranges;
  };

  // Compiles `pattern`; nullptr (and a message in *error) when it does not compile.
  static std::shared_ptr<const RegularExpression> create(std::string_view pattern, unsigned options = kNone,
                                                         ErrorPtr* error = nullptr);
  ~RegularExpression();

  // The first match anywhere in `text`, or nullopt.
  std::optional<Match> firstMatch(std::string_view text) const;
  // Whether the whole of `text` matches.
  bool matchesEntireString(std::string_view text) const;

  const std::string& pattern() const { return pattern_; }

  struct Impl;
  RegularExpression(std::string pattern, std::unique_ptr<Impl> impl);

 private:
  std::string pattern_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dk::platform

// Identifiers in messages from the cloud (live-feed bodies, replies) arrive as integers or as digit
// strings. Anything else - a bool, a fraction, a signed or partly numeric text, an object - is not
// an identifier: acting on it would look up, fetch or delete the wrong thing.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/value.h"

namespace dk {

inline std::optional<int64_t> messageIdentifier(const platform::Value& value) {
  if (value.isInteger()) return value.integerValue();
  if (value.isDouble()) {
    const double d = value.doubleValue();
    if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9.0e15) return static_cast<int64_t>(d);
    return std::nullopt;
  }
  if (!value.isString()) return std::nullopt;
  const std::string& text = value.stringValue();
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stoll(text);
}

}  // namespace dk

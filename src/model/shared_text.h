// SharedText: an immutable text shared by every model that holds the same value, for fields with a
// small vocabulary (event types, categories) that thousands of cached records repeat.
//
// internedText hands out one shared copy per distinct value while the pool is small; past its
// bound (a server inventing a new value per record) each value gets its own copy, so the pool
// never grows without limit. Thread-safe.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace dk {

using SharedText = std::shared_ptr<const std::string>;

SharedText internedText(std::string_view text);
inline SharedText internedText(const std::optional<std::string>& text) {
  return text ? internedText(std::string_view(*text)) : nullptr;
}
inline std::optional<std::string> optionalText(const SharedText& text) {
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

}  // namespace dk

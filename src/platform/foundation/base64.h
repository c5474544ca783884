// Base64 (RFC 4648, with padding) for binary data inside JSON files. Stateless, thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dk::platform {

std::string base64Encode(std::string_view bytes);
// nullopt on a character outside the alphabet or a malformed length; whitespace is not allowed.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace dk::platform

// JSON text to Value in one pass (RFC 8259), the parser behind Value::parseJSON.
//
// Strict where the platform's JSON reader is strict: UTF-8 is validated, escapes and surrogate
// pairs are checked, numbers follow the JSON grammar, nothing may follow the value, nesting is
// bounded. Integers that fit 64 bits stay integers; others and fractions become doubles. Later
// duplicate keys replace earlier ones. Pure function; safe from any thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace dk::platform::detail {

// The value of `text`, any kind at the top; nil and a message in *error when it is not JSON, or
// when its tree would hold more than 8 times the text's length (plus a floor no small document
// reaches): such a document is refused before its tree grows past that.
Value readJSON(std::string_view text, std::string* error);

// How the message of a document refused for its tree's size begins.
inline constexpr std::string_view kJSONTooDense = "JSON too dense";

}  // namespace dk::platform::detail

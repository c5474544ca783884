// The JSON reader against nlohmann-json: whatever ours accepts, nlohmann accepts too, with the
// same value (numbers compared as numbers), and what ours refuses nlohmann refuses, but for the
// limits only ours has. Only the public reader API is used.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "platform/foundation/json_reader.h"

namespace {

using dk::platform::Value;

[[noreturn]] void mismatch(const char* what, std::string_view text) {
  std::fprintf(stderr, "JSON reader disagrees with nlohmann-json (%s) on: %.*s\n", what, static_cast<int>(text.size()),
               text.data());
  std::abort();
}

bool sameNumber(const Value& ours, const nlohmann::json& theirs) {
  if (ours.isInteger() && theirs.is_number_integer() && !theirs.is_number_unsigned())
    return ours.integerValue() == theirs.get<int64_t>();
  if (ours.isInteger() && theirs.is_number_unsigned())
    return ours.integerValue() >= 0 && static_cast<uint64_t>(ours.integerValue()) == theirs.get<uint64_t>();
  // Beyond 64 bits ours reads a double where nlohmann may keep an unsigned integer.
  return ours.doubleValue() == theirs.get<double>();
}

bool same(const Value& ours, const nlohmann::json& theirs) {
  switch (ours.type()) {
    case Value::Type::Null: return theirs.is_null();
    case Value::Type::Bool: return theirs.is_boolean() && ours.boolValue() == theirs.get<bool>();
    case Value::Type::Integer:
    case Value::Type::Double: return theirs.is_number() && sameNumber(ours, theirs);
    case Value::Type::String: return theirs.is_string() && ours.stringValue() == theirs.get_ref<const std::string&>();
    case Value::Type::Array: {
      const auto& items = ours.arrayValue();
      if (!theirs.is_array() || items.size() != theirs.size()) return false;
      for (size_t i = 0; i < items.size(); ++i) {
        if (!same(items[i], theirs[i])) return false;
      }
      return true;
    }
    case Value::Type::Dictionary: {
      const auto& entries = ours.dictionaryValue();
      if (!theirs.is_object() || entries.size() != theirs.size()) return false;
      for (const auto& [key, value] : entries) {
        auto it = theirs.find(key);
        if (it == theirs.end() || !same(value, *it)) return false;
      }
      return true;
    }
    default: return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const Value ours = dk::platform::detail::readJSON(text, &error);
  if (ours.isNil() && error.empty()) mismatch("refused without a reason", text);
  // Ours is stricter by design in three ways: a tree too large for its text, nesting deeper than
  // 512 and numbers beyond a double; any other refusal must be nlohmann's too.
  if (ours.isNil() && (error.starts_with(dk::platform::detail::kJSONTooDense) || error.starts_with("nesting too deep") ||
                       error.starts_with("number out of range"))) {
    return 0;
  }
  const auto theirs = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (ours.isNil()) {
    // nlohmann takes a NUL byte for the end of its input, so it may accept a prefix of such a text.
    if (!theirs.is_discarded() && text.find('\0') == std::string_view::npos) mismatch("ours refuses what nlohmann accepts", text);
    return 0;
  }
  if (theirs.is_discarded()) mismatch("ours accepts what nlohmann refuses", text);
  if (!same(ours, theirs)) mismatch("different values", text);
  return 0;
}

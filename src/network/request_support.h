// Building blocks shared by the request classes: parameter dictionaries and the merge callbacks
// that several families use. Internal to the network layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "network/kl_request.h"
#include "platform/foundation/value.h"

namespace dk::request_support {

// Adds key: value when the property is set (a nil property leaves its key out).
void setIfPresent(platform::ValueDictionary& dictionary, std::string_view key, const std::optional<std::string>& value);
// The property, or the null object in its place (for dictionaries that are cleaned afterwards).
platform::Value valueOrNull(const std::optional<std::string>& value);
// The property, or the empty string.
platform::Value valueOrEmpty(const std::optional<std::string>& value);
// Identifiers joined with ",".
std::string joined(const std::vector<std::string>& parts);
// A number as "%@" prints it, for identifiers substituted into paths.
std::optional<std::string> numberString(const std::optional<int64_t>& number);

// Result is the reply itself, or the error when there is no reply (images, event pages).
RequestMergeBlock replyOrErrorBlock();
// Merges the reply's "values" into the merge target and returns the target; without a target
// nothing is merged and the error (nil after a success) is the result.
RequestMergeBlock listMergeBlock();

}  // namespace dk::request_support

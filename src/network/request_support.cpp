#include "network/request_support.h"

#include "platform/foundation/model.h"

namespace dk::request_support {

void setIfPresent(platform::ValueDictionary& dictionary, std::string_view key, const std::optional<std::string>& value) {
  if (value) dictionary.insert_or_assign(std::string(key), platform::Value(*value));
}

platform::Value valueOrNull(const std::optional<std::string>& value) {
  return value ? platform::Value(*value) : platform::Value::null();
}

platform::Value valueOrEmpty(const std::optional<std::string>& value) {
  return platform::Value(value ? *value : std::string());
}

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out.push_back(',');
    out += parts[i];
  }
  return out;
}

std::optional<std::string> numberString(const std::optional<int64_t>& number) {
  if (!number) return std::nullopt;
  return std::to_string(*number);
}

RequestMergeBlock replyOrErrorBlock() {
  return [](const platform::Value& response, const platform::ErrorPtr& error, const platform::ModelPtr&) {
    return response.isNil() ? resultFromError(error) : response;
  };
}

RequestMergeBlock listMergeBlock() {
  return [](const platform::Value& response, const platform::ErrorPtr& error, const platform::ModelPtr& target) {
    if (!target) return resultFromError(error);
    target->mergeValueForKey("values", response.objectAs<platform::Model>());
    return platform::Value(target);
  };
}

}  // namespace dk::request_support

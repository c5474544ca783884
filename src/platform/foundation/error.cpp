#include "platform/foundation/error.h"

#include <algorithm>
#include <cctype>

namespace dk::platform {

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) < std::tolower(y);
  });
}

Error::Error(std::string domain, int64_t code, std::string localizedDescription,
             std::shared_ptr<const HttpResponseInfo> response, std::optional<std::string> responseBody,
             ValueDictionary userInfo)
    : domain_(std::move(domain)),
      code_(code),
      localizedDescription_(std::move(localizedDescription)),
      response_(std::move(response)),
      responseBody_(std::move(responseBody)),
      userInfo_(std::move(userInfo)) {}

std::string Error::description() const {
  return "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" + localizedDescription_ + "\"";
}

bool Error::isEqual(const Object& other) const {
  auto* e = dynamic_cast<const Error*>(&other);
  return e && e->domain_ == domain_ && e->code_ == code_ && e->localizedDescription_ == localizedDescription_;
}

}  // namespace dk::platform

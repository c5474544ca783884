#include "http_types.h"

#include <cctype>

namespace dk::cloudsim::detail {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string findHeader(const HeaderList& headers, std::string_view name) {
  for (const auto& [key, value] : headers)
    if (equalsIgnoreCase(key, name)) return value;
  return {};
}

void HttpReply::setHeader(std::string name, std::string value) {
  for (auto& [key, existing] : headers) {
    if (equalsIgnoreCase(key, name)) {
      existing = std::move(value);
      return;
    }
  }
  headers.emplace_back(std::move(name), std::move(value));
}

}  // namespace dk::cloudsim::detail

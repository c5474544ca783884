#include "network/kl_request.h"

#include "network/model_merge.h"

namespace dk {
namespace {

// RFC 3986 pchar minus nothing that changes the path's meaning: unreserved, sub-delims, ":" and
// "@" pass; "/", "?", "#", "%", spaces and non-ASCII bytes are escaped.
bool isPathSegmentChar(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-': case '.': case '_': case '~':
    case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+': case ',':
    case ';': case '=': case ':': case '@':
      return true;
    default:
      return false;
  }
}

void appendPathSegment(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : text) {
    if (isPathSegmentChar(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
}

}  // namespace

platform::Value resultFromError(const platform::ErrorPtr& error) {
  if (!error) return {};
  // Errors are immutable; the Value holds objects without const only as a matter of its API.
  return platform::Value(std::const_pointer_cast<platform::Error>(error));
}

platform::ErrorPtr errorFromResult(const platform::Value& result) {
  return result.objectAs<const platform::Error>();
}

std::string KLRequest::formatPath(std::string_view pathTemplate,
                                  std::initializer_list<std::optional<std::string>> identifiers) {
  if (pathTemplate.empty()) return {};
  std::string out;
  out.reserve(pathTemplate.size() + 16);
  auto next = identifiers.begin();
  size_t pos = 0;
  while (pos < pathTemplate.size()) {
    size_t mark = pathTemplate.find("%@", pos);
    if (mark == std::string_view::npos) {
      out.append(pathTemplate.substr(pos));
      break;
    }
    out.append(pathTemplate.substr(pos, mark - pos));
    // A missing, empty or dot-segment identifier would address another resource ("cameras/" is
    // the camera list, "cameras/.." its parent): the request is not formed at all.
    if (next == identifiers.end() || !next->has_value()) return {};
    const std::string& id = **next;
    if (id.empty() || id == "." || id == "..") return {};
    appendPathSegment(out, id);
    ++next;
    pos = mark + 2;
  }
  return out;
}

std::string KLRequest::requestURL() const { return std::string(request()); }

int32_t KLRequest::methodType() const { return requestMethodType(requestName()); }

const platform::ClassInfo* KLRequest::modelClass() const {
  std::string_view name = modelClassName();
  return name.empty() ? nullptr : modelClassForName(name);
}

int32_t KLRequest::responseRequestSerializer() const { return requestSerializerType(requestName()); }

int64_t KLRequest::numberOfRetries() const { return requestNumberOfRetries(requestName()); }

double KLRequest::retryInterval() const { return requestRetryInterval(requestName()); }

std::vector<int64_t> KLRequest::fatalStatusCodes() const {
  if (requestName() == PING_REQUEST_CLOUD) {
    return {400, 404, 401, 500, -1011, -1003, -1004, -1005, -1009, -1018, 101005};
  }
  return {400, 404, 500, -1011, -1003, -1004, -1005, -1009, -1018, 101005};
}

int64_t KLRequest::retryFailoverPeriod() const { return requestName() == PING_REQUEST_CLOUD ? 120 : 0; }

platform::Value KLRequest::parameters() const { return {}; }

RequestMergeBlock KLRequest::block() const {
  const platform::ClassInfo* cls = modelClass();
  return [cls](const platform::Value& response, const platform::ErrorPtr& error,
               const platform::ModelPtr& mergeTarget) -> platform::Value {
    platform::ModelPtr target = mergeTarget;
    if (!target && cls) target = cls->create();
    if (target) target->mergeValuesForKeysFromModel(response);
    if (!error && target) return platform::Value(target);
    return resultFromError(error);
  };
}

bool KLRequest::shouldAppendResponseHeader() const { return requestName() == OLD_EVENTS_GET_REQUEST_CLOUD; }

}  // namespace dk

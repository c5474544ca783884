#include "platform/net/http_request.h"

#include "platform/net/http_errors.h"
#include "platform/net/url.h"

namespace dk::platform {

std::string_view methodName(HttpMethod method) {
  switch (method) {
    case HttpMethod::Get: return "GET";
    case HttpMethod::Post: return "POST";
    case HttpMethod::Put: return "PUT";
    case HttpMethod::Delete: return "DELETE";
    case HttpMethod::Patch: return "PATCH";
    case HttpMethod::Head: return "HEAD";
  }
  return "GET";
}

std::optional<std::vector<std::string>> defaultAcceptableContentTypes(ResponseSerializerKind kind) {
  switch (kind) {
    case ResponseSerializerKind::Http: return std::nullopt;
    case ResponseSerializerKind::Json: return std::vector<std::string>{"application/json", "text/json", "text/javascript"};
    case ResponseSerializerKind::Image:
      return std::vector<std::string>{"image/tiff",  "image/jpeg",  "image/gif",   "image/png",     "image/ico",
                                      "image/x-icon", "image/bmp", "image/x-bmp", "image/x-xbitmap", "image/x-win-bitmap"};
  }
  return std::nullopt;
}

const HeaderMap& defaultRequestHeaders() {
  static const HeaderMap* headers = new HeaderMap{
      {"Accept-Language", "en;q=1"},
      {"User-Agent", "DKChronoKit/0.1 (Linux)"},
  };
  return *headers;
}

namespace {
bool encodesInQuery(HttpMethod method) {
  return method == HttpMethod::Get || method == HttpMethod::Head || method == HttpMethod::Delete;
}

ErrorPtr invalidParametersError(const char* why) {
  return std::make_shared<const Error>(std::string(kCocoaErrorDomain), 3851, std::string("Invalid parameters: ") + why);
}
}  // namespace

std::optional<EncodedRequest> encodeRequest(HttpMethod method, const std::string& absoluteURL,
                                            const Value& parameters, const RequestConfiguration& configuration,
                                            ErrorPtr* error) {
  const auto parts = parseURL(absoluteURL);
  if (!parts || parts->host.empty()) {
    if (error) *error = transportError(kURLErrorBadURL, absoluteURL);
    return std::nullopt;
  }
  if (parts->scheme != "http" && parts->scheme != "https") {
    if (error) *error = transportError(kURLErrorUnsupportedURL, absoluteURL);
    return std::nullopt;
  }

  EncodedRequest out;
  out.method = method;
  out.url = absoluteURL;
  out.headers = defaultRequestHeaders();
  for (const auto& [name, value] : configuration.headers) out.headers[name] = value;

  const bool hasParameters = !parameters.isNilOrNull();
  if (hasParameters && !parameters.isDictionary() && !parameters.isArray()) {
    if (error) *error = invalidParametersError("a dictionary or an array is expected");
    return std::nullopt;
  }
  if (encodesInQuery(method) || configuration.requestSerializer == RequestSerializerKind::Http) {
    if (hasParameters && parameters.isArray() && !encodesInQuery(method) &&
        configuration.requestSerializer == RequestSerializerKind::Http) {
      if (error) *error = invalidParametersError("a form body needs a dictionary");
      return std::nullopt;
    }
    const std::string query = hasParameters ? queryStringFromParameters(parameters) : std::string();
    if (encodesInQuery(method)) {
      if (!query.empty()) out.url += (parts->query ? "&" : "?") + query;
    } else if (hasParameters) {
      if (!out.headers.count("Content-Type")) out.headers["Content-Type"] = "application/x-www-form-urlencoded";
      out.body = query;
    }
  } else if (hasParameters) {
    if (!out.headers.count("Content-Type")) out.headers["Content-Type"] = "application/json";
    out.body = parameters.toJSON();
  }
  return out;
}

}  // namespace dk::platform

#include "platform/net/response_serializer.h"

#include <algorithm>
#include <cctype>

#include "platform/dispatch/guarded.h"
#include "platform/foundation/string_case.h"
#include "platform/net/http_errors.h"

namespace dk::platform {

namespace {
Guarded<ImageDecoder>& imageDecoder() {
  static auto* decoder = new Guarded<ImageDecoder>;
  return *decoder;
}
}  // namespace

std::string mimeTypeOf(const HeaderMap& headers) {
  auto it = headers.find("Content-Type");
  if (it == headers.end()) return {};
  std::string type = it->second.substr(0, it->second.find(';'));
  const auto first = type.find_first_not_of(" \t");
  const auto last = type.find_last_not_of(" \t");
  type = first == std::string::npos ? std::string() : type.substr(first, last - first + 1);
  return asciiLowercase(type);
}

ErrorPtr validateResponse(const RequestConfiguration& configuration,
                          const std::shared_ptr<const HttpResponseInfo>& response, size_t bodyLength,
                          const std::optional<std::string>& errorBody) {
  if (!response) return transportError(kURLErrorBadServerResponse);
  const int status = response->statusCode;
  if (status < 200 || status > 299) return unacceptableStatusError(response, errorBody);
  // The call's own list is read in place; only a call without one builds the serializer's defaults.
  std::optional<std::vector<std::string>> defaults;
  const std::vector<std::string>* acceptable = nullptr;
  if (configuration.acceptableContentTypes) {
    acceptable = &*configuration.acceptableContentTypes;
  } else if ((defaults = defaultAcceptableContentTypes(configuration.responseSerializer))) {
    acceptable = &*defaults;
  }
  if (acceptable) {
    const std::string mime = mimeTypeOf(response->headers);
    const bool emptyWithoutType = mime.empty() && bodyLength == 0;
    if (!emptyWithoutType && std::find(acceptable->begin(), acceptable->end(), mime) == acceptable->end()) {
      return unacceptableContentTypeError(mime.empty() ? "(null)" : mime, response, errorBody);
    }
  }
  return nullptr;
}

Value decodeResponseBody(ResponseSerializerKind kind, const std::shared_ptr<const HttpResponseInfo>& response,
                         const DataPtr& body, ErrorPtr* error) {
  switch (kind) {
    case ResponseSerializerKind::Http:
      return Value(std::const_pointer_cast<Data>(body));
    case ResponseSerializerKind::Json: {
      if (!body || body->length() == 0) return Value();
      const std::string& text = body->bytes();
      // A lone space is how some servers say "no content".
      if (text.find_first_not_of(" \t\r\n") == std::string::npos) return Value();
      Value parsed = Value::parseJSON(text, true);
      if (parsed.isNil()) {
        if (error) *error = jsonReadError(response, text);
      }
      return parsed;
    }
    case ResponseSerializerKind::Image: {
      if (!body || body->length() == 0) return Value();
      const ImageDecoder decoder = imageDecoder().get();
      return decoder ? decoder(body) : Value(std::const_pointer_cast<Data>(body));
    }
  }
  return Value();
}

void setImageDecoder(ImageDecoder decoder) { imageDecoder().set(std::move(decoder)); }

}  // namespace dk::platform

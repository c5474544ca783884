// Response validation and decoding, as the platform's response serializers do it.
//
// A reply is acceptable when its status is 2xx and its MIME type is one the configuration accepts
// (an empty body without a type passes). The body then decodes by the serializer kind: Http gives
// the bytes as Data, Json a Value (an empty body gives nil), Image whatever the installed image
// decoder makes of the Data (by default the Data itself). Pure functions apart from the decoder
// hook, which is process-wide and thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/net/http_request.h"

namespace dk::platform {

// The MIME type of a Content-Type header value: lower case, parameters dropped ("" when absent).
std::string mimeTypeOf(const HeaderMap& headers);

// The error a reply earns under `configuration`, or nullptr when it is acceptable. `bodyLength`
// decides whether a reply without content type is acceptable; `errorBody` is attached to the
// error (the raw body, for callers that read the server's message).
ErrorPtr validateResponse(const RequestConfiguration& configuration,
                          const std::shared_ptr<const HttpResponseInfo>& response, size_t bodyLength,
                          const std::optional<std::string>& errorBody);

// Decodes an accepted body; a JSON body that does not parse gives nil and the 3840 error.
Value decodeResponseBody(ResponseSerializerKind kind, const std::shared_ptr<const HttpResponseInfo>& response,
                         const DataPtr& body, ErrorPtr* error);

// Turns image bytes into the object image replies decode to (the graphics layer installs one).
using ImageDecoder = std::function<Value(const DataPtr& data)>;
void setImageDecoder(ImageDecoder decoder);

}  // namespace dk::platform

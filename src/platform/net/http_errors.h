// The errors the HTTP layer reports, with the platform's domains, codes and texts.
//
// Transport failures are in "NSURLErrorDomain" (-999 "cancelled", -1001 "The request timed out.",
// -1004 "Could not connect to the server.", ...); a reply the response serializer refuses is in
// "com.alamofire.error.serialization.response" (-1011 "Request failed: unauthorized (401)", -1016
// for an unacceptable content type) and carries the response and its body; a body that is not
// JSON is "NSCocoaErrorDomain" 3840. Pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/error.h"

namespace dk::platform {

// User-info key of the URL a transport error concerns.
inline constexpr const char* kErrorFailingURLStringKey = "NSErrorFailingURLStringKey";
// A reply longer than the call accepts ("resource exceeds maximum size").
inline constexpr int64_t kURLErrorDataLengthExceedsMaximum = -1103;
// Code of a body that does not parse as JSON.
inline constexpr int64_t kCocoaPropertyListReadCorruptError = 3840;

// The platform's text for a transport code ("The request timed out." for -1001).
std::string transportErrorDescription(int64_t code);
ErrorPtr transportError(int64_t code, const std::string& url = {});

// The platform's lower-case reason phrase of a status ("unauthorized" for 401).
std::string localizedStringForStatusCode(int statusCode);

// "Request failed: <reason> (<status>)", code -1011.
ErrorPtr unacceptableStatusError(std::shared_ptr<const HttpResponseInfo> response, std::optional<std::string> body);
// "Request failed: unacceptable content-type: <type>", code -1016.
ErrorPtr unacceptableContentTypeError(const std::string& mimeType, std::shared_ptr<const HttpResponseInfo> response,
                                      std::optional<std::string> body);
// "The data couldn’t be read because it isn’t in the correct format.", code 3840.
ErrorPtr jsonReadError(std::shared_ptr<const HttpResponseInfo> response, std::optional<std::string> body);

}  // namespace dk::platform

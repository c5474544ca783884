// What one HTTP call is sent with: the method, the per-call configuration (header set, time-out,
// retry policy, serializer kinds) and the encoding of its parameters.
//
// A RequestConfiguration is built for a call and never changed after it is handed over (share it
// as RequestConfigurationPtr); there is no serializer state shared between calls, so a short
// time-out set for one call cannot leak into another. encodeRequest() is a pure function.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/net/retry_policy.h"

namespace dk::platform {

enum class HttpMethod { Get, Post, Put, Delete, Patch, Head };
std::string_view methodName(HttpMethod method);

// How parameters are encoded: HTTP puts them in the query (GET, HEAD, DELETE) or a form body;
// JSON puts them in the query for GET, HEAD and DELETE and in a JSON body otherwise.
enum class RequestSerializerKind { Http, Json };
// How a reply body is decoded: raw Data, JSON Value, or an image.
enum class ResponseSerializerKind { Http, Json, Image };

// Limits of a call unless its configuration says otherwise. The largest page the cloud sends
// (100 events with their URLs, detections and faces) is well under 200 KiB; 8 MiB leaves a wide
// margin while keeping a hostile reply from filling memory.
inline constexpr double kDefaultDeadline = 120.0;
inline constexpr int64_t kDefaultMaxReplyBytes = 8LL << 20;
inline constexpr int64_t kDefaultMaxDownloadBytes = 1LL << 30;
inline constexpr double kDefaultDownloadThroughput = 16.0 * 1024;

struct RequestConfiguration {
  RequestSerializerKind requestSerializer = RequestSerializerKind::Http;
  ResponseSerializerKind responseSerializer = ResponseSerializerKind::Json;
  // Header fields of the call; they replace the defaults of the same name.
  HeaderMap headers;
  // Seconds without any byte moving after which the call fails with -1001.
  double timeoutInterval = 60.0;
  // Seconds one attempt may take in all, however slowly bytes keep arriving (-1001 past it);
  // 0 or less: kDefaultDeadline.
  double deadline = kDefaultDeadline;
  // Bytes per second a download must average: its deadline grows by its announced length (or by
  // what has arrived) at this rate. 0 or less: kDefaultDownloadThroughput for downloads.
  double minimumThroughput = 0;
  // The largest body accepted, in bytes: a longer announced length is refused before anything
  // arrives, a body without one stops at the cap (-1103). nullopt: kDefaultMaxReplyBytes for
  // calls, kDefaultMaxDownloadBytes for downloads.
  std::optional<int64_t> maxBodyBytes;
  // Content types the response serializer accepts; nullopt: the serializer's defaults.
  std::optional<std::vector<std::string>> acceptableContentTypes;
  RetryPolicy retry;
  // Redirects are followed only to the request's own scheme, host and port (the call carries the
  // user's data, which must not reach another host even without the credential).
  bool sameOriginRedirectsOnly = false;
  // Where this call's callbacks run; nullptr: the session's completion queue. A background queue
  // also decodes the reply, saving a hop.
  QueuePtr callbackQueue;
};
using RequestConfigurationPtr = std::shared_ptr<const RequestConfiguration>;

// Content types a serializer accepts unless the configuration says otherwise (Http: any).
std::optional<std::vector<std::string>> defaultAcceptableContentTypes(ResponseSerializerKind kind);

// Header fields every request carries unless its configuration replaces them ("User-Agent",
// "Accept-Language").
const HeaderMap& defaultRequestHeaders();

// The call as it goes on the wire.
struct EncodedRequest {
  HttpMethod method = HttpMethod::Get;
  std::string url;  // absolute, query included
  HeaderMap headers;
  std::optional<std::string> body;
};

// Builds the wire form of a call to `absoluteURL` with `parameters` (nil, a dictionary, or for a
// JSON body an array). Parameters that cannot be encoded give nullopt and the error.
std::optional<EncodedRequest> encodeRequest(HttpMethod method, const std::string& absoluteURL,
                                            const Value& parameters, const RequestConfiguration& configuration,
                                            ErrorPtr* error);

}  // namespace dk::platform

#include "platform/net/http_errors.h"

namespace dk::platform {

std::string transportErrorDescription(int64_t code) {
  switch (code) {
    case kURLErrorCancelled: return "cancelled";
    case kURLErrorBadURL: return "bad URL";
    case kURLErrorTimedOut: return "The request timed out.";
    case kURLErrorUnsupportedURL: return "unsupported URL";
    case kURLErrorCannotFindHost: return "A server with the specified hostname could not be found.";
    case kURLErrorCannotConnectToHost: return "Could not connect to the server.";
    case kURLErrorNetworkConnectionLost: return "The network connection was lost.";
    case kURLErrorNotConnectedToInternet: return "The Internet connection appears to be offline.";
    case kURLErrorBadServerResponse: return "The operation couldn’t be completed.";
    case kURLErrorCannotDecodeContentData: return "cannot decode raw data";
    case kURLErrorCannotParseResponse: return "cannot parse response";
    case kURLErrorInternationalRoamingOff: return "International roaming is currently off.";
    case kURLErrorAppTransportSecurityRequiresSecureConnection:
      return "The resource could not be loaded because the App Transport Security policy requires the use of a "
             "secure connection.";
    case kURLErrorSecureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case kURLErrorServerCertificateUntrusted:
      return "The certificate for this server is invalid. You might be connecting to a server that is pretending "
             "to be the one you expect, which could put your confidential information at risk.";
    case kURLErrorDataLengthExceedsMaximum: return "resource exceeds maximum size";
    case kURLErrorCannotCreateFile: return "cannot create file";
    case kURLErrorCannotWriteToFile: return "cannot write to file";
    default: return "unknown error";
  }
}

ErrorPtr transportError(int64_t code, const std::string& url) {
  ValueDictionary info;
  if (!url.empty()) info.emplace(kErrorFailingURLStringKey, Value(url));
  return std::make_shared<const Error>(std::string(kURLErrorDomain), code, transportErrorDescription(code), nullptr,
                                       std::nullopt, std::move(info));
}

std::string localizedStringForStatusCode(int status) {
  switch (status) {
    case 100: return "continue";
    case 101: return "switching protocols";
    case 200: return "no error";
    case 201: return "created";
    case 202: return "accepted";
    case 203: return "non-authoritative information";
    case 204: return "no content";
    case 205: return "reset content";
    case 206: return "partial content";
    case 300: return "multiple choices";
    case 301: return "moved permanently";
    case 302: return "found";
    case 303: return "see other";
    case 304: return "not modified";
    case 305: return "needs proxy";
    case 307: return "redirected";
    case 400: return "bad request";
    case 401: return "unauthorized";
    case 402: return "payment required";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 406: return "unacceptable";
    case 407: return "proxy authentication required";
    case 408: return "request timed out";
    case 409: return "conflict";
    case 410: return "no longer exists";
    case 411: return "length required";
    case 412: return "precondition failed";
    case 413: return "request too large";
    case 414: return "requested URL too long";
    case 415: return "unsupported media type";
    case 416: return "requested range not satisfiable";
    case 417: return "expectation failed";
    case 429: return "too many requests";
    case 500: return "internal server error";
    case 501: return "unimplemented";
    case 502: return "bad gateway";
    case 503: return "service unavailable";
    case 504: return "gateway timed out";
    case 505: return "unsupported version";
    default: break;
  }
  if (status >= 100 && status < 200) return "informational";
  if (status >= 200 && status < 300) return "success";
  if (status >= 300 && status < 400) return "redirected";
  if (status >= 400 && status < 500) return "client error";
  return "server error";
}

ErrorPtr unacceptableStatusError(std::shared_ptr<const HttpResponseInfo> response, std::optional<std::string> body) {
  const int status = response ? response->statusCode : 0;
  std::string text = "Request failed: " + localizedStringForStatusCode(status) + " (" + std::to_string(status) + ")";
  ValueDictionary info;
  if (response) info.emplace(kErrorFailingURLStringKey, Value(response->url));
  return std::make_shared<const Error>(std::string(kResponseSerializationErrorDomain), kURLErrorBadServerResponse,
                                       std::move(text), std::move(response), std::move(body), std::move(info));
}

ErrorPtr unacceptableContentTypeError(const std::string& mimeType, std::shared_ptr<const HttpResponseInfo> response,
                                      std::optional<std::string> body) {
  ValueDictionary info;
  if (response) info.emplace(kErrorFailingURLStringKey, Value(response->url));
  return std::make_shared<const Error>(std::string(kResponseSerializationErrorDomain), kURLErrorCannotDecodeContentData,
                                       "Request failed: unacceptable content-type: " + mimeType, std::move(response),
                                       std::move(body), std::move(info));
}

ErrorPtr jsonReadError(std::shared_ptr<const HttpResponseInfo> response, std::optional<std::string> body) {
  return std::make_shared<const Error>(std::string(kCocoaErrorDomain), kCocoaPropertyListReadCorruptError,
                                       "The data couldn’t be read because it isn’t in the correct format.",
                                       std::move(response), std::move(body));
}

}  // namespace dk::platform

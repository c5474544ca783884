// Error: the platform's error value (NSError) — domain, code, localized description — with the
// HTTP response status, headers and body that the HTTP layer attaches to failed calls.
//
// Immutable after construction and shared as ErrorPtr (nullptr means "no error"); safe to read
// from any thread. It is an Object, so an error can travel inside a Value.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/object.h"
#include "platform/foundation/value.h"

namespace dk::platform {

struct CaseInsensitiveLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
// HTTP header fields: names compare without regard to case.
using HeaderMap = std::map<std::string, std::string, CaseInsensitiveLess>;

// What the HTTP library keeps of the response of a failed call.
struct HttpResponseInfo {
  int statusCode = 0;
  std::string url;
  HeaderMap headers;
};

// Domains the platform layer produces.
inline constexpr std::string_view kURLErrorDomain = "NSURLErrorDomain";
inline constexpr std::string_view kCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr std::string_view kResponseSerializationErrorDomain = "com.alamofire.error.serialization.response";

// Transport codes of the URL loading system.
enum URLErrorCode : int64_t {
  kURLErrorUnknown = -1,
  kURLErrorCancelled = -999,
  kURLErrorBadURL = -1000,
  kURLErrorTimedOut = -1001,
  kURLErrorUnsupportedURL = -1002,
  kURLErrorCannotFindHost = -1003,
  kURLErrorCannotConnectToHost = -1004,
  kURLErrorNetworkConnectionLost = -1005,
  kURLErrorNotConnectedToInternet = -1009,
  kURLErrorBadServerResponse = -1011,
  kURLErrorCannotDecodeContentData = -1016,
  kURLErrorCannotParseResponse = -1017,
  kURLErrorInternationalRoamingOff = -1018,
  kURLErrorAppTransportSecurityRequiresSecureConnection = -1022,
  kURLErrorSecureConnectionFailed = -1200,
  kURLErrorServerCertificateUntrusted = -1202,
  kURLErrorCannotCreateFile = -3000,
  kURLErrorCannotWriteToFile = -3003,
};

class Error final : public Object {
 public:
  Error(std::string domain, int64_t code, std::string localizedDescription,
        std::shared_ptr<const HttpResponseInfo> response = nullptr,
        std::optional<std::string> responseBody = std::nullopt, ValueDictionary userInfo = {});

  static std::shared_ptr<const Error> make(std::string domain, int64_t code, std::string localizedDescription) {
    return std::make_shared<const Error>(std::move(domain), code, std::move(localizedDescription));
  }

  const std::string& domain() const { return domain_; }
  int64_t code() const { return code_; }
  const std::string& localizedDescription() const { return localizedDescription_; }
  // The HTTP response of a failed call (nullptr for transport errors).
  const std::shared_ptr<const HttpResponseInfo>& response() const { return response_; }
  // The raw reply body of a failed call.
  const std::optional<std::string>& responseBody() const { return responseBody_; }
  const ValueDictionary& userInfo() const { return userInfo_; }

  std::string className() const override { return "NSError"; }
  // "Error Domain=<domain> Code=<code> \"<description>\"", as the platform prints it.
  std::string description() const override;
  bool isEqual(const Object& other) const override;

 private:
  std::string domain_;
  int64_t code_;
  std::string localizedDescription_;
  std::shared_ptr<const HttpResponseInfo> response_;
  std::optional<std::string> responseBody_;
  ValueDictionary userInfo_;
};

using ErrorPtr = std::shared_ptr<const Error>;

}  // namespace dk::platform

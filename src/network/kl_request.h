// KLRequest: the description of one call to the cloud REST API.
//
// A request carries one integer requestName; the path template, method, serializer/header set,
// retries, retry interval, fatal codes, response model class and JSON root key are read from the
// request table (kl_request_table.h) by that name. Subclasses (the request classes) pick the name,
// fill the path template with identifiers, build the parameters and may replace the merge callback.
//
// Ownership: created with make_shared by the caller, configured through its public properties,
// then handed to the service-manager base or the executor, which keep it alive until the call has
// completed. Thread safety: a request is not changed after hand-over; from then on every const
// operation may be called from any thread at the same time (each call builds new objects).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "network/kl_request_table.h"
#include "platform/foundation/error.h"
#include "platform/foundation/model.h"
#include "platform/foundation/value.h"

namespace dk {

// The merge callback: (response model or raw reply or nil, error or nil, merge target or nil) ->
// the result handed to the caller. A failed call returns the error itself as the result (see
// resultFromError), which the service-manager base routes to the error callback.
using RequestMergeBlock = std::function<platform::Value(
    const platform::Value& response, const platform::ErrorPtr& error, const platform::ModelPtr& mergeTarget)>;

// The executor's completion: (model, raw decoded body or nil; error or nil).
using RequestCompletion = std::function<void(const platform::Value& result, const platform::ErrorPtr& error)>;

// An error travelling as a result, and back. errorFromResult gives nullptr for anything else.
platform::Value resultFromError(const platform::ErrorPtr& error);
platform::ErrorPtr errorFromResult(const platform::Value& result);

// Everything a request object offers the executor.
class KLRequestProtocol {
 public:
  virtual ~KLRequestProtocol() = default;

  // The path (relative to the server's base URL) or absolute URL to call, identifiers filled in
  // (percent-encoded). Empty when the request cannot be sent: no template, or an identifier the
  // template needs is missing. The executor completes such a call with an error.
  virtual std::string requestURL() const = 0;
  virtual int32_t methodType() const = 0;  // a KLRequestMethodType
  // The response model class, nullptr when the reply is handed on unmapped.
  virtual const platform::ClassInfo* modelClass() const = 0;
  virtual int32_t responseRequestSerializer() const = 0;  // a KLResponseRequestSerializerType
  // Retries after the first attempt (-1: none) and the interval between them, in seconds.
  virtual int64_t numberOfRetries() const = 0;
  virtual double retryInterval() const = 0;
  // HTTP statuses and error codes on which the retry layer gives up at once (a new list per call).
  virtual std::vector<int64_t> fatalStatusCodes() const = 0;
  // Seconds after which a still-running call is cancelled; 0: never.
  virtual int64_t retryFailoverPeriod() const = 0;
  // Query (GET, DELETE) or body (POST, PUT, PATCH) parameters: nil, a dictionary, or for a few
  // requests an array sent as the JSON body.
  virtual platform::Value parameters() const = 0;
  virtual RequestMergeBlock block() const = 0;
  // True when the reply's HTTP header fields are to be added to the JSON under "responseHeader".
  virtual bool shouldAppendResponseHeader() const = 0;
};

class KLRequest : public platform::Object, public KLRequestProtocol {
 public:
  KLRequest() = default;

  // +requestName of the base class.
  static int32_t staticRequestName() { return NOT_A_REQUEST; }

  // The stored name (a KLRequestName; any int32 is accepted, out-of-range ones send nothing).
  virtual int32_t requestName() const { return requestName_; }
  void setRequestName(int32_t name) { requestName_ = name; }

  // The path template of the name; empty for names 0, 26, 59 and out-of-range names.
  std::string_view request() const { return requestPathTemplate(requestName()); }
  // The request-name string ("CAMERAS_GET_REQUEST_CLOUD") and the JSON root key of the name.
  std::string_view requestNameString() const { return dk::requestNameString(requestName()); }
  std::string_view rootKey() const { return requestRootKey(requestName()); }
  std::string_view modelClassName() const { return requestModelClassName(requestName()); }

  // KLRequestProtocol. The base URL is the path template unchanged; the base has no parameters;
  // the base merge callback merges the response into the target (a new model of modelClass when
  // none is given) and returns it, or the error when there is one or no target could be made.
  std::string requestURL() const override;
  int32_t methodType() const override;
  const platform::ClassInfo* modelClass() const override;
  int32_t responseRequestSerializer() const override;
  int64_t numberOfRetries() const override;
  double retryInterval() const override;
  std::vector<int64_t> fatalStatusCodes() const override;
  int64_t retryFailoverPeriod() const override;
  platform::Value parameters() const override;
  RequestMergeBlock block() const override;
  bool shouldAppendResponseHeader() const override;

  std::string className() const override { return "KLRequest"; }

 protected:
  explicit KLRequest(int32_t name) : requestName_(name) {}

  // Fills each "%@" of `pathTemplate` with the next identifier, percent-encoded as one path
  // segment. Empty when the template is empty or a "%@" finds no identifier (nil or exhausted).
  static std::string formatPath(std::string_view pathTemplate,
                                std::initializer_list<std::optional<std::string>> identifiers);
  // The template of this request's name filled with `identifiers`.
  std::string formatRequestPath(std::initializer_list<std::optional<std::string>> identifiers) const {
    return formatPath(request(), identifiers);
  }

 private:
  int32_t requestName_ = NOT_A_REQUEST;
};

using KLRequestPtr = std::shared_ptr<KLRequest>;

// Declares a request class that only fixes its name (and inherits everything else from Base).
#define DK_NAMED_REQUEST(Class, Base, Name)                                \
  class Class : public Base {                                              \
   public:                                                                 \
    Class() : Base(Name) {}                                                \
    std::string className() const override { return #Class; }              \
                                                                           \
   protected:                                                              \
    explicit Class(int32_t name) : Base(name) {}                           \
  }

}  // namespace dk

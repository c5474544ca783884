#include "network/kl_request_manager.h"

#include <algorithm>
#include <cstdio>

#include "foundation/error_classification.h"
#include "foundation/framework_errors.h"
#include "foundation/kl_server.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/guarded.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/images/image_response.h"
#include "platform/net/credential_scope.h"
#include "platform/net/http_errors.h"
#include "platform/net/url.h"

namespace dk {

using platform::ErrorPtr;
using platform::HttpMethod;
using platform::HttpTaskPtr;
using platform::RequestConfiguration;
using platform::Value;

namespace {

// A server that keeps answering 401 without naming the stored token must not keep a call alive
// for ever: after this many re-sends the call ends with the last 401.
constexpr int kMaxUnauthorizedResends = 3;
constexpr double kPingTimeout = 5.0;
constexpr double kDownloadTimeout = 180.0;
// A clip is 30 s of camera video, a few MiB; nothing real comes near this.
constexpr int64_t kMaxClipBytes = 256LL << 20;
// Below this average a clip download gives up (its deadline is 180 s plus its size at this rate).
constexpr double kMinimumDownloadThroughput = 32.0 * 1024;
constexpr double kRefreshInProgressRetryDelay = 2.0;

std::mutex& sharedMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}
std::shared_ptr<KLRequestManager>& sharedSlot() {
  static auto* slot = new std::shared_ptr<KLRequestManager>;
  return *slot;
}

platform::Guarded<platform::TlsPolicy>& securityPolicy() {
  static auto* policy = new platform::Guarded<platform::TlsPolicy>(platform::TlsPolicy::verifying());
  return *policy;
}

const std::vector<std::string>& httpContentTypes() {
  static const auto* types =
      new std::vector<std::string>{"application/json", "text/json", "text/javascript", "video/mp4", "text/html"};
  return *types;
}
const std::vector<std::string>& jsonContentTypes() {
  static const auto* types =
      new std::vector<std::string>{"application/json", "text/json", "text/javascript", "text/html", "text/plain"};
  return *types;
}
const std::vector<std::string>& imageContentTypes() {
  static const auto* types = new std::vector<std::string>{
      "image/tiff", "image/jpeg",  "image/gif",       "image/png",        "image/ico",
      "image/x-icon", "image/bmp", "image/x-bmp", "image/x-xbitmap", "image/x-win-bitmap"};
  return *types;
}

// Errors of calls this executor cannot send: they complete once, like any other failure.
ErrorPtr unsupportedRequestError(const KLRequest& request) {
  return platform::transportError(platform::kURLErrorUnsupportedURL, request.requestURL());
}
ErrorPtr badRequestURLError(const KLRequest& request) {
  return platform::transportError(platform::kURLErrorBadURL, request.requestURL());
}

Value credentialValue(const platform::OAuthCredentialPtr& credential) {
  return credential ? Value(std::const_pointer_cast<platform::OAuthCredential>(credential)) : Value();
}

bool contains(const std::string& text, const std::string& fragment) { return text.find(fragment) != std::string::npos; }

}  // namespace

struct KLRequestManager::CallContext {
  static std::shared_ptr<CallContext> make(RequestCompletion completion) {
    auto context = std::make_shared<CallContext>();
    context->completion = std::move(completion);
    return context;
  }

  RequestCompletion completion;
  ProgressBlock progress;
  bool download = false;
  int unauthorizedResends = 0;  // touched on the main thread only
  // The last attempt went to a host that is not the REST server, without the token: a 401 from
  // there is not about the token, and no refresh can answer it.
  bool sentWithoutCredential = false;

  void fail(const ErrorPtr& error) const {
    // Failures reach the caller on the main thread, and never from inside the call that started
    // them.
    platform::DispatchQueue::main()->async([completion = completion, error] {
      if (completion) completion(Value(), error);
    });
  }
};

std::shared_ptr<KLRequestManager> KLRequestManager::sharedInstance() {
  std::lock_guard<std::mutex> lock(sharedMutex());
  if (!sharedSlot()) sharedSlot() = std::make_shared<KLRequestManager>();
  return sharedSlot();
}

void KLRequestManager::resetSharedInstance() {
  std::shared_ptr<KLRequestManager> current;
  std::lock_guard<std::mutex> lock(sharedMutex());
  current.swap(sharedSlot());
  if (!current) return;
  // Calls in flight keep what they use; new calls through a kept reference fail cleanly.
  std::lock_guard<std::mutex> fields(current->mutex_);
  current->oauthManager_.reset();
  current->httpSessionManager_.reset();
  current->jsonSessionManager_.reset();
  current->jsonUpdateSessionManager_.reset();
  current->imageSessionManager_.reset();
}

platform::TlsPolicy KLRequestManager::customSecurityPolicy() { return securityPolicy().get(); }

void KLRequestManager::setCustomSecurityPolicy(platform::TlsPolicy policy) { securityPolicy().set(std::move(policy)); }

KLRequestManager::KLRequestManager() : KLRequestManager(KLServer::sharedInstance()->baseURL()) {}

KLRequestManager::KLRequestManager(std::string baseURL) : baseURL_(std::move(baseURL)) {
  // The image session's replies decode to images, as its image response serializer promises.
  platform::installImageResponseDecoder();
  updateServerSettings();
  parserQueue_ = platform::DispatchQueue::createConcurrent("com.kelo.parser");
  parserUpdateQueue_ = platform::DispatchQueue::createConcurrent("com.kelo.update.parser");
  getOperationsQueue_ = platform::DispatchQueue::createSerial("com.kelo.getOperationsQueue");
  updateOperationsQueue_ = platform::DispatchQueue::createSerial("com.kelo.updateOperationsQueue");
}

KLRequestManager::~KLRequestManager() = default;

void KLRequestManager::updateServerSettings() {
  const std::string base = baseURL();
  const platform::TlsPolicy tls = customSecurityPolicy();
  auto make = [&](std::string name, platform::ResponseSerializerKind kind, const std::vector<std::string>& types) {
    platform::HttpSession::Options options;
    options.baseURL = base;
    options.tls = tls;
    auto manager = std::make_shared<SessionManager>();
    manager->name = std::move(name);
    manager->session = platform::HttpSession::create(std::move(options));
    manager->responseSerializer = kind;
    manager->acceptableContentTypes = types;
    return SessionManagerPtr(std::move(manager));
  };
  auto http = make("http", platform::ResponseSerializerKind::Http, httpContentTypes());
  auto json = make("json", platform::ResponseSerializerKind::Json, jsonContentTypes());
  auto jsonUpdate = make("jsonUpdate", platform::ResponseSerializerKind::Json, jsonContentTypes());
  auto image = make("image", platform::ResponseSerializerKind::Image, imageContentTypes());
  auto oauth = std::make_shared<KLOAuth2Manager>(base, tls);
  // The streamer asks the session for the bearer token of its video requests.
  platform::DKAccessTokenProvider::setDelegate(oauth);
  std::lock_guard<std::mutex> lock(mutex_);
  httpSessionManager_ = std::move(http);
  jsonSessionManager_ = std::move(json);
  jsonUpdateSessionManager_ = std::move(jsonUpdate);
  imageSessionManager_ = std::move(image);
  oauthManager_ = std::move(oauth);
}

std::string KLRequestManager::baseURL() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return baseURL_;
}

std::string KLRequestManager::secret() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return secret_;
}

void KLRequestManager::setSecret(std::string secret) {
  std::lock_guard<std::mutex> lock(mutex_);
  secret_ = std::move(secret);
}

std::shared_ptr<KLOAuth2Manager> KLRequestManager::oauthManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return oauthManager_;
}
SessionManagerPtr KLRequestManager::httpSessionManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return httpSessionManager_;
}
SessionManagerPtr KLRequestManager::jsonSessionManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jsonSessionManager_;
}
SessionManagerPtr KLRequestManager::jsonUpdateSessionManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jsonUpdateSessionManager_;
}
SessionManagerPtr KLRequestManager::imageSessionManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return imageSessionManager_;
}

SessionManagerPtr KLRequestManager::setManagerForResponseRequestSerializerType(int32_t type) const {
  switch (type) {
    case KLSerializerTypeHTTP:
    case KLSerializerTypeHTMLCredential:
    case KLSerializerTypeDownload:
    case KLSerializerTypeVideoSummary: return httpSessionManager();
    case KLSerializerTypeImage: return imageSessionManager();
    case KLSerializerTypeJSONUpdate: return jsonUpdateSessionManager();
    default: return jsonSessionManager();
  }
}

RequestConfiguration KLRequestManager::setHeaderForResponseRequestSerializerType(int32_t type,
                                                                                 const SessionManager& manager) const {
  RequestConfiguration c;
  c.responseSerializer = manager.responseSerializer;
  c.acceptableContentTypes = manager.acceptableContentTypes;
  bool bearer = true;
  using platform::RequestSerializerKind;
  switch (type) {
    case KLSerializerTypeHTTP:
      c.requestSerializer = RequestSerializerKind::Http;
      c.headers = {{"Transfer-Encoding", "chunked"}, {"Content-Type", "application/octet-stream"}};
      break;
    case KLSerializerTypeHTTPAccept:
      c.requestSerializer = RequestSerializerKind::Http;
      c.headers = {{"Accept", "*/*"}};
      bearer = false;
      break;
    case KLSerializerTypeJSONAccept:
      c.requestSerializer = RequestSerializerKind::Json;
      c.headers = {{"Accept", "*/*"}};
      bearer = false;
      break;
    case KLSerializerTypeHTMLCredential:
      c.requestSerializer = RequestSerializerKind::Json;
      c.headers = {{"Content-Type", "application/json"}};
      break;
    case KLSerializerTypeHTTPSecret:
      c.requestSerializer = RequestSerializerKind::Http;
      c.headers = {{"X-ClientSecret", secret()}};
      bearer = false;
      break;
    case KLSerializerTypeJSONSecret:
    case KLSerializerTypeJSONSecretText:
      c.requestSerializer = RequestSerializerKind::Json;
      c.headers = {{"Content-Type", "application/json"}, {"X-ClientSecret", secret()}};
      bearer = false;
      break;
    case KLSerializerTypeDownload:
      c.requestSerializer = RequestSerializerKind::Http;
      c.headers = {{"Accept", "video/mp4"}};
      break;
    case KLSerializerTypeImage:
      c.requestSerializer = RequestSerializerKind::Http;
      break;
    case KLSerializerTypeVideoSummary:
      c.requestSerializer = RequestSerializerKind::Http;
      c.headers = {{"Accept", "*/*"}};
      break;
    default:  // KLSerializerTypeJSONCredential, KLSerializerTypeJSONUpdate and anything else
      c.requestSerializer = RequestSerializerKind::Json;
      c.headers = {{"Accept", "*/*"}, {"Content-Type", "application/json"}};
      break;
  }
  if (bearer) {
    // Read at every call, so a token the host stores is used from the next call on.
    auto credential = KLOAuth2Manager::retrieveCredential();
    if (credential && !credential->accessToken().empty()) {
      c.headers["Authorization"] = "Bearer " + credential->accessToken();
    }
  }
  return c;
}

void KLRequestManager::requestWithRequest(const KLRequestPtr& request, RequestCompletion completion) {
  send(request, CallContext::make(std::move(completion)));
}

void KLRequestManager::send(const KLRequestPtr& request, std::shared_ptr<CallContext> context) {
  if (!request) {
    context->fail(platform::transportError(platform::kURLErrorBadURL));
    return;
  }
  const int32_t method = request->methodType();
  auto self = std::static_pointer_cast<KLRequestManager>(shared_from_this());
  // Starts of reads and of writes are each serialized, and the caller waits until its call has
  // started. Since every call carries its own configuration there is nothing to hand over to a
  // start queue, so the start runs here under the lock of its kind instead of hopping threads.
  std::lock_guard<std::recursive_mutex> startLock(method == KLRequestMethodGet ? getStartMutex_ : updateStartMutex_);
  [&] {
    const SessionManagerPtr manager = setManagerForResponseRequestSerializerType(request->responseRequestSerializer());
    if (!manager) {
      context->fail(unsupportedRequestError(*request));  // the executor has been reset
      return;
    }
    HttpTaskPtr task;
    switch (method) {
      case KLRequestMethodGet: task = sendVerb(HttpMethod::Get, request, manager, context); break;
      case KLRequestMethodPost: task = sendVerb(HttpMethod::Post, request, manager, context); break;
      case KLRequestMethodPut: task = sendVerb(HttpMethod::Put, request, manager, context); break;
      case KLRequestMethodDelete: task = sendVerb(HttpMethod::Delete, request, manager, context); break;
      case KLRequestMethodPatch: task = sendVerb(HttpMethod::Patch, request, manager, context); break;
      case KLRequestMethodPing: task = sendVerb(HttpMethod::Get, request, manager, context, kPingTimeout); break;
      case KLRequestMethodLogin: {
        const Value parameters = request->parameters();
        auto oauth = oauthManager();
        if (!parameters.isDictionary() || !oauth) {
          context->fail(badRequestURLError(*request));
          return;
        }
        const std::string username = parameters["username"].isString() ? parameters["username"].stringValue() : "";
        const std::string password = parameters["password"].isString() ? parameters["password"].stringValue() : "";
        oauth->loginUserWithUsername(username, password,
                                     [context](const platform::OAuthCredentialPtr& credential, const ErrorPtr& error) {
                                       if (error) {
                                         context->fail(error);
                                       } else if (context->completion) {
                                         context->completion(credentialValue(credential), nullptr);
                                       }
                                     });
        return;
      }
      case KLRequestMethodClientCredentials: {
        auto oauth = oauthManager();
        if (!oauth) {
          context->fail(unsupportedRequestError(*request));
          return;
        }
        oauth->authenticateClientWithCompletionBlock(
            [self, request, manager, context](const platform::OAuthCredentialPtr&, const ErrorPtr& error) {
              if (error) {
                context->fail(error);
                return;
              }
              self->updateOperationsQueue_->async(
                  [self, request, manager, context] { self->sendVerb(HttpMethod::Post, request, manager, context); });
            });
        return;
      }
      default:
        // Downloads go through downloadRequestWithRequest; name 0 and unknown names send nothing.
        context->fail(unsupportedRequestError(*request));
        return;
    }
    const int64_t cutOff = request->retryFailoverPeriod();
    if (task && cutOff > 0) {
      // Only the call started here is cut off: a later call to the same path is not touched.
      std::weak_ptr<platform::HttpTask> weak = task;
      platform::DispatchQueue::main()->after(static_cast<double>(cutOff), [weak] {
        if (auto running = weak.lock(); running && running->state() != platform::HttpTask::State::Completed) {
          std::fprintf(stderr, "CANCELED REQUEST %s\n", running->url().c_str());
          running->cancel();
        }
      });
    }
  }();
}

HttpTaskPtr KLRequestManager::sendVerb(HttpMethod method, const KLRequestPtr& request, const SessionManagerPtr& manager,
                                       std::shared_ptr<CallContext> context, std::optional<double> timeout) {
  const std::string url = request->requestURL();
  if (url.empty()) {
    context->fail(badRequestURLError(*request));
    return nullptr;
  }
  RequestConfiguration configuration = setHeaderForResponseRequestSerializerType(request->responseRequestSerializer(), *manager);
  const std::string absolute = platform::resolveURL(baseURL(), url);
  // The token goes to the REST server only, whatever address a request names.
  if (!platform::mayCarryCredential(absolute, baseURL(), platform::LoopbackHttp::Allowed)) {
    configuration.headers.erase("Authorization");
  }
  // A call to the cloud's API carries the user's data (camera, event types, bodies): a redirect
  // off the cloud's origin fails it instead of handing that to another host. An address elsewhere
  // (a media host the cloud named) keeps the HTTP layer's rule.
  configuration.sameOriginRedirectsOnly = platform::isOnServerOrigin(absolute, baseURL());
  if (timeout) configuration.timeoutInterval = *timeout;
  configuration.retry = platform::RetryPolicy{request->numberOfRetries(), request->retryInterval(), true,
                                              request->fatalStatusCodes()};
  // Replies are decoded and mapped on the parser queue in one step; failures move to the main
  // thread in the failure step.
  configuration.callbackQueue = request->methodType() == KLRequestMethodGet ? parserQueue_ : parserUpdateQueue_;
  auto self = std::static_pointer_cast<KLRequestManager>(shared_from_this());
  return manager->session->dataTask(
      method, url, request->parameters(), std::make_shared<const RequestConfiguration>(std::move(configuration)),
      [self, request, context](const std::shared_ptr<const platform::HttpResponseInfo>& response, const Value& body) {
        static const platform::HeaderMap kNoHeaders;
        self->parseResponseHeader(response ? response->headers : kNoHeaders, body, request, context->completion);
      },
      [self, request, manager, context](const ErrorPtr& error) { self->failure(error, request, manager, context); });
}

HttpTaskPtr KLRequestManager::GET(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager) {
  return sendVerb(HttpMethod::Get, request, manager, CallContext::make(std::move(completion)));
}
HttpTaskPtr KLRequestManager::POST(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager) {
  return sendVerb(HttpMethod::Post, request, manager, CallContext::make(std::move(completion)));
}
HttpTaskPtr KLRequestManager::PUT(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager) {
  return sendVerb(HttpMethod::Put, request, manager, CallContext::make(std::move(completion)));
}
HttpTaskPtr KLRequestManager::DELETE(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager) {
  return sendVerb(HttpMethod::Delete, request, manager, CallContext::make(std::move(completion)));
}
HttpTaskPtr KLRequestManager::PATCH(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager) {
  return sendVerb(HttpMethod::Patch, request, manager, CallContext::make(std::move(completion)));
}

void KLRequestManager::parseResponseHeader(const platform::HeaderMap& headers, const Value& body,
                                           const KLRequestPtr& request, RequestCompletion completion) {
  const auto& queue = request->methodType() == KLRequestMethodGet ? parserQueue_ : parserUpdateQueue_;
  if (queue->isCurrent()) {
    // The usual case: the reply was decoded on this queue, so it is mapped here, with no copies.
    mapReply(headers, body, *request, completion);
    return;
  }
  queue->async([headers, body, request, completion = std::move(completion)] {
    mapReply(headers, body, *request, completion);
  });
}

void KLRequestManager::mapReply(const platform::HeaderMap& headers, const Value& body, const KLRequest& request,
                                const RequestCompletion& completion) {
  if (!request.modelClass()) {
    if (completion) completion(body, nullptr);
    return;
  }
  Value model = modelResponseHeader(headers, body, request);
  if (model.isNil()) {
    // A success whose reply maps to nothing still completes, as a failure.
    platform::DispatchQueue::main()->async([completion] {
      if (completion) completion(Value(), unableToParseResponseError());
    });
    return;
  }
  if (completion) completion(model, nullptr);
}

Value KLRequestManager::modelResponseHeader(const platform::HeaderMap& headers, const Value& body, const KLRequest& request) {
  const platform::ClassInfo* cls = request.modelClass();
  if (!cls) return Value();
  const std::string rootKey(request.rootKey());
  platform::ValueDictionary json;
  if (body.isArray()) {
    json.emplace(rootKey, body);
  } else if (body.isDictionary()) {
    if (rootKey.empty()) {
      json = body.dictionaryValue();
    } else {
      json.emplace(rootKey, Value(platform::ValueArray{body}));
    }
  } else {
    return Value();
  }
  if (request.shouldAppendResponseHeader() && !headers.empty()) {
    platform::ValueDictionary fields;
    for (const auto& [name, value] : headers) fields.emplace(name, Value(value));
    json["responseHeader"] = Value(std::move(fields));
  }
  return platform::dictionaryTransformer(*cls)(Value(std::move(json)));
}

void KLRequestManager::computeError(const ErrorPtr& error, const KLRequestPtr& request, const SessionManagerPtr& manager,
                                    RequestCompletion completion) {
  failure(error, request, manager, CallContext::make(std::move(completion)));
}

void KLRequestManager::failure(const ErrorPtr& error, const KLRequestPtr& request, const SessionManagerPtr& manager,
                               std::shared_ptr<CallContext> context) {
  auto self = std::static_pointer_cast<KLRequestManager>(shared_from_this());
  if (!platform::isMainThread()) {
    platform::DispatchQueue::main()->async([self, error, request, manager, context] {
      self->failure(error, request, manager, context);
    });
    return;
  }
  auto complete = [context](const ErrorPtr& e) {
    if (context->completion) context->completion(Value(), e);
  };
  if (error && isUnauthorizedError(*error) && !context->sentWithoutCredential) {
    const auto stored = KLOAuth2Manager::retrieveCredential();
    if (!stored || stored->accessToken().empty() || context->unauthorizedResends >= kMaxUnauthorizedResends) {
      complete(error);
      return;
    }
    const std::optional<std::string> rejected = accessToken(*error);
    if (rejected && *rejected == stored->accessToken()) {
      // The refresh is for the token the server refused: if another call's refresh replaces it
      // meanwhile, this call is handed the new token instead of spending a second grant.
      refreshTokenReplacing(
          rejected,
          [self, request, context](const platform::OAuthCredentialPtr&) {
            context->unauthorizedResends++;
            self->resend(request, context);
          },
          [self, error, request, manager, context, complete](const ErrorPtr& refreshError) {
            if (refreshError && refreshError->code() == KLCustomErrorRefreshTokenInProgress) {
              // Another refresh is running: look again once it has had time to store its token. The
              // call is still pending meanwhile, so the wait holds the run loop's activity (unless
              // the clock only moves when a test advances it).
              std::shared_ptr<platform::ActivityToken> activity;
              if (!platform::clock().isManual()) activity = std::make_shared<platform::ActivityToken>();
              self->callsWaitingForRefresh_++;
              platform::DispatchQueue::main()->after(kRefreshInProgressRetryDelay,
                                                     [self, error, request, manager, context, activity] {
                                                       self->callsWaitingForRefresh_--;
                                                       self->failure(error, request, manager, context);
                                                     });
              return;
            }
            complete(refreshError);
          });
    } else {
      // The stored token is not the one refused (replaced meanwhile, or none named): try it.
      context->unauthorizedResends++;
      resend(request, context);
    }
    return;
  }
  if (error && isForbiddenError(*error)) {
    platform::NotificationCenter::defaultCenter().post(kShowDemoUserErrorNotification);
  }
  complete(error);
}

void KLRequestManager::resend(const KLRequestPtr& request, std::shared_ptr<CallContext> context) {
  if (context->download) {
    startDownload(request, std::move(context));
  } else {
    send(request, std::move(context));
  }
}

void KLRequestManager::downloadRequestWithRequest(const KLRequestPtr& request, ProgressBlock progress,
                                                  RequestCompletion completion) {
  auto context = CallContext::make(std::move(completion));
  context->progress = std::move(progress);
  context->download = true;
  startDownload(request, std::move(context));
}

void KLRequestManager::startDownload(const KLRequestPtr& request, std::shared_ptr<CallContext> context) {
  if (!request) {
    context->fail(platform::transportError(platform::kURLErrorBadURL));
    return;
  }
  const SessionManagerPtr manager = setManagerForResponseRequestSerializerType(request->responseRequestSerializer());
  const std::string url = request->requestURL();
  if (!manager || url.empty()) {
    context->fail(badRequestURLError(*request));
    return;
  }
  // A clip address comes from the server's reply. Large clouds serve clips from a media host or
  // CDN: an https address off the REST server is fetched without the token; plain http off it
  // (or an address naming a user) is refused unsent.
  const std::string absolute = platform::resolveURL(baseURL(), url);
  const bool withToken = platform::mayCarryCredential(absolute, baseURL(), platform::LoopbackHttp::Allowed);
  if (!withToken && !platform::maySendWithoutCredential(absolute)) {
    context->fail(unsupportedRequestError(*request));
    return;
  }
  context->sentWithoutCredential = !withToken;
  RequestConfiguration configuration = setHeaderForResponseRequestSerializerType(request->responseRequestSerializer(), *manager);
  if (!withToken) configuration.headers.erase("Authorization");
  configuration.timeoutInterval = kDownloadTimeout;
  configuration.deadline = kDownloadTimeout;
  configuration.minimumThroughput = kMinimumDownloadThroughput;
  configuration.maxBodyBytes = kMaxClipBytes;
  configuration.retry = platform::RetryPolicy{10, 2.0, false, {}};
  configuration.retry.clientErrorsAreFatal = true;
  auto self = std::static_pointer_cast<KLRequestManager>(shared_from_this());
  platform::HttpSession::Progress progress;
  if (context->progress) {
    progress = [context](int64_t completed, int64_t total, double fraction) { context->progress(completed, total, fraction); };
  }
  manager->session->downloadTask(
      url, std::make_shared<const RequestConfiguration>(std::move(configuration)), std::move(progress),
      [context](const std::shared_ptr<const platform::HttpResponseInfo>&, const Value& body) {
        if (context->completion) context->completion(body, nullptr);
      },
      [self, request, manager, context](const ErrorPtr& error) { self->failure(error, request, manager, context); });
}

void KLRequestManager::refreshTokenWithSuccessBlock(CredentialBlock success, ErrorBlock error) {
  refreshTokenReplacing(std::nullopt, std::move(success), std::move(error));
}

void KLRequestManager::refreshTokenReplacing(const std::optional<std::string>& rejectedAccessToken,
                                             CredentialBlock success, ErrorBlock error) {
  auto oauth = oauthManager();
  if (!oauth) {
    platform::runOnMain([error] {
      if (error) error(unableToRefreshTokenError());
    });
    return;
  }
  auto completion = [success = std::move(success), error = std::move(error)](
                        const platform::OAuthCredentialPtr& credential, const ErrorPtr& refreshError) {
    platform::runOnMain([success, error, credential, refreshError] {
      if (refreshError) {
        if (error) error(refreshError);
      } else if (success) {
        success(credential);
      }
    });
  };
  if (rejectedAccessToken) {
    oauth->refreshTokenReplacingAccessToken(*rejectedAccessToken, std::move(completion));
  } else {
    oauth->refreshTokenWithCompletionBlock(std::move(completion));
  }
}

void KLRequestManager::isMethodInProgress(const std::string& pathFragment, std::function<void(bool)> completion) {
  std::vector<std::shared_ptr<platform::HttpSession>> sessions;
  for (const auto& manager : cancellableManagers()) sessions.push_back(manager->session);
  if (auto oauth = oauthManager()) sessions.push_back(oauth->session());
  platform::DispatchQueue::global()->async([sessions, pathFragment, completion = std::move(completion)] {
    bool found = false;
    for (const auto& session : sessions) {
      for (const auto& task : session->tasks()) {
        if (contains(task->url(), pathFragment)) {
          found = true;
          break;
        }
      }
      if (found) break;
    }
    if (completion) completion(found);
  });
}

std::vector<SessionManagerPtr> KLRequestManager::cancellableManagers() const {
  std::vector<SessionManagerPtr> managers;
  for (auto manager : {httpSessionManager(), jsonSessionManager(), imageSessionManager()}) {
    if (manager) managers.push_back(std::move(manager));
  }
  return managers;
}

void KLRequestManager::cancelTasks(const SessionManagerPtr& manager,
                                   const std::function<bool(const std::string& url)>& shouldCancel) {
  if (!manager) return;
  for (const auto& task : manager->session->tasks()) {
    if (!shouldCancel(task->url())) continue;
    std::fprintf(stderr, "CANCELED REQUEST %s\n", task->url().c_str());
    task->cancel();
  }
}

void KLRequestManager::cancelAllHTTPOperationsWithIgnoringPaths(const std::optional<std::vector<std::string>>& paths,
                                                                const SessionManagerPtr& manager) {
  cancelTasks(manager, [&paths](const std::string& url) {
    return !paths || std::none_of(paths->begin(), paths->end(), [&](const std::string& p) { return contains(url, p); });
  });
}

void KLRequestManager::cancelAllHTTPOperationsWithCancelPaths(const std::optional<std::vector<std::string>>& paths,
                                                              const SessionManagerPtr& manager) {
  cancelTasks(manager, [&paths](const std::string& url) {
    return !paths || std::all_of(paths->begin(), paths->end(), [&](const std::string& p) { return contains(url, p); });
  });
}

void KLRequestManager::cancelAllRequests() {
  const std::vector<std::string> keep{"self/tokens/current", "firmware/upgradeSessions", "/rest/v1/accounts/self/subscription"};
  for (const auto& manager : cancellableManagers()) cancelAllHTTPOperationsWithIgnoringPaths(keep, manager);
}

void KLRequestManager::logoutCancelRequests() {
  const std::vector<std::string> keep{"self/tokens/current"};
  for (const auto& manager : cancellableManagers()) cancelAllHTTPOperationsWithIgnoringPaths(keep, manager);
}

void KLRequestManager::cancelWizardWifiRequests() {
  const std::vector<std::string> keep{"firmware/upgradeSessions", "/wifi/saved", "/rest/v2.2/events"};
  for (const auto& manager : cancellableManagers()) cancelAllHTTPOperationsWithIgnoringPaths(keep, manager);
}

void KLRequestManager::cancelSettingsWifiRequests() {
  const std::vector<std::string> keep{"firmware/upgradeSessions", "/rest/v2.2/events"};
  for (const auto& manager : cancellableManagers()) cancelAllHTTPOperationsWithIgnoringPaths(keep, manager);
}

void KLRequestManager::cancelEventsRequests() {
  const std::vector<std::string> match{"minTimestamp"};
  for (const auto& manager : cancellableManagers()) cancelAllHTTPOperationsWithCancelPaths(match, manager);
}

void KLRequestManager::suspendAllTasks() {
  for (const auto& manager : cancellableManagers()) {
    for (const auto& task : manager->session->tasks()) task->suspend();
  }
}

void KLRequestManager::resumeAllTasks() {
  for (const auto& manager : cancellableManagers()) {
    for (const auto& task : manager->session->tasks()) task->resume();
  }
}

}  // namespace dk

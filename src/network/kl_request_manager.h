// KLRequestManager: the process-wide executor of REST calls. Given a request description it picks
// the session manager and header set of the request's serializer type, sends the call through the
// retry layer with the request's retries, interval and fatal codes, maps a successful JSON reply to
// the request's model class (wrapped under its root key), and turns failures into errors,
// refreshing the OAuth token when the server rejects the stored one. It also downloads files with
// progress, cancels running calls by URL fragment, and tells whether a call is running.
//
// One shared instance (sharedInstance, resetSharedInstance for logout and tests) owns its four
// session managers, its OAuth2 session and its queues. Every operation may be called from any
// thread. Each call completes exactly once: a success on a parser queue ("com.kelo.parser" for
// GETs, "com.kelo.update.parser" otherwise), a failure on the main thread; a download's success,
// progress and failure arrive on the main thread. Each call carries its own configuration (headers,
// time-out, retries): nothing set for one call reaches another.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "network/kl_oauth2_manager.h"
#include "network/kl_request.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/foundation/object.h"
#include "platform/foundation/value.h"
#include "platform/net/http_session.h"
#include "platform/net/tls_policy.h"

namespace dk {

// Posted (no object, no user info) when the server answers 403.
inline constexpr char kShowDemoUserErrorNotification[] = "kShowDemoUserErrorNotification";

// One of the executor's HTTP session managers: a session with its response serializer and the
// content types that serializer accepts.
struct SessionManager {
  std::string name;  // "http", "json", "jsonUpdate", "image"
  std::shared_ptr<platform::HttpSession> session;
  platform::ResponseSerializerKind responseSerializer = platform::ResponseSerializerKind::Json;
  std::vector<std::string> acceptableContentTypes;
};
using SessionManagerPtr = std::shared_ptr<const SessionManager>;

class KLRequestManager : public platform::Object {
 public:
  // (completed units, total units or -1, completed fraction from 0 to 1)
  using ProgressBlock = std::function<void(int64_t completed, int64_t total, double fraction)>;
  using CredentialBlock = std::function<void(const platform::OAuthCredentialPtr& credential)>;
  using ErrorBlock = std::function<void(const platform::ErrorPtr& error)>;

  static std::shared_ptr<KLRequestManager> sharedInstance();
  // Drops the shared instance (its managers and OAuth2 session go with it); the next
  // sharedInstance reads the server settings again.
  static void resetSharedInstance();

  // The TLS policy of every session manager made from now on: verifying by default. The
  // permissive policy is for a camera's own access point only.
  static platform::TlsPolicy customSecurityPolicy();
  static void setCustomSecurityPolicy(platform::TlsPolicy policy);

  // Reads the server's base URL and builds the managers, the OAuth2 session and the queues.
  KLRequestManager();
  // With an explicit base URL (tests, the demo host).
  explicit KLRequestManager(std::string baseURL);
  ~KLRequestManager() override;

  std::string className() const override { return "KLRequestManager"; }

  // (Re)creates the four session managers and the OAuth2 session for the current base URL.
  void updateServerSettings();
  std::string baseURL() const;

  std::string secret() const;
  void setSecret(std::string secret);
  bool shouldRetryDeviceCall() const { return shouldRetryDeviceCall_.load(); }
  void setShouldRetryDeviceCall(bool value) { shouldRetryDeviceCall_.store(value); }

  std::shared_ptr<KLOAuth2Manager> oauthManager() const;
  // Calls refused with 401 that wait for another call's refresh before they look again.
  int callsWaitingForRefresh() const { return callsWaitingForRefresh_.load(); }
  SessionManagerPtr httpSessionManager() const;
  SessionManagerPtr jsonSessionManager() const;
  SessionManagerPtr jsonUpdateSessionManager() const;
  SessionManagerPtr imageSessionManager() const;
  const platform::QueuePtr& parserQueue() const { return parserQueue_; }
  const platform::QueuePtr& parserUpdateQueue() const { return parserUpdateQueue_; }
  const platform::QueuePtr& getOperationsQueue() const { return getOperationsQueue_; }
  const platform::QueuePtr& updateOperationsQueue() const { return updateOperationsQueue_; }

  // The session manager of a serializer type (json for unknown types).
  SessionManagerPtr setManagerForResponseRequestSerializerType(int32_t serializerType) const;
  // The header set of a serializer type as a fresh per-call configuration for `manager`: request
  // serializer, header fields and, where the set says so, "Authorization: Bearer <stored token>".
  platform::RequestConfiguration setHeaderForResponseRequestSerializerType(int32_t serializerType,
                                                                           const SessionManager& manager) const;

  // The main entry: starts the call (the caller waits until it has started, not until it ends)
  // and calls `completion` exactly once with (model or decoded body, nil) or (nil, error).
  // Requests that this operation cannot send (downloads, name 0, unknown methods, no URL) fail
  // with an error instead of staying silent.
  void requestWithRequest(const KLRequestPtr& request, RequestCompletion completion);
  // GETs the request's URL into a file (180 s idle time-out, 10 retries 2 s apart, none after a
  // 4xx; at most 256 MiB, within 180 s plus its size at 32 KiB/s) and completes with the
  // file-backed Data. An https address off the REST server (a media host) is fetched without the
  // token; plain http off it is refused unsent. A 401 from the REST server re-sends through this
  // operation, progress included.
  void downloadRequestWithRequest(const KLRequestPtr& request, ProgressBlock progress, RequestCompletion completion);

  // The verbs: send `request` as that method on `manager` with its configuration and retry policy.
  platform::HttpTaskPtr GET(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager);
  platform::HttpTaskPtr POST(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager);
  platform::HttpTaskPtr PUT(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager);
  platform::HttpTaskPtr DELETE(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager);
  platform::HttpTaskPtr PATCH(const KLRequestPtr& request, RequestCompletion completion, const SessionManagerPtr& manager);

  // The mapping step, asynchronously on the parser queue of the request's method. A reply that
  // maps to no model completes with 101004.
  void parseResponseHeader(const platform::HeaderMap& headers, const platform::Value& body, const KLRequestPtr& request,
                           RequestCompletion completion);
  // The reply wrapped under the request's root key (with "responseHeader" for the event pages)
  // and mapped to its model class; nil when it maps to nothing.
  static platform::Value modelResponseHeader(const platform::HeaderMap& headers, const platform::Value& body,
                                             const KLRequest& request);

  // The failure step (on the main thread): the 401 handling with token refresh, the 403
  // notification, and the completion.
  void computeError(const platform::ErrorPtr& error, const KLRequestPtr& request, const SessionManagerPtr& manager,
                    RequestCompletion completion);

  // Refreshes the OAuth token; the answer arrives on the main thread.
  void refreshTokenWithSuccessBlock(CredentialBlock success, ErrorBlock error);
  // The same for a call whose token `rejectedAccessToken` the server refused: when the stored
  // token is no longer that one, the stored credential is handed on without a grant.
  void refreshTokenReplacing(const std::optional<std::string>& rejectedAccessToken, CredentialBlock success,
                             ErrorBlock error);

  // Whether a call of the http, json or image manager or of the OAuth2 session has a URL holding
  // `pathFragment`. The completion runs later, on a background queue.
  void isMethodInProgress(const std::string& pathFragment, std::function<void(bool)> completion);

  // Cancels every call of `manager` whose URL holds none of `paths` (nullopt: every call).
  void cancelAllHTTPOperationsWithIgnoringPaths(const std::optional<std::vector<std::string>>& paths,
                                                const SessionManagerPtr& manager);
  // Cancels every call of `manager` whose URL holds all of `paths` (nullopt: every call).
  void cancelAllHTTPOperationsWithCancelPaths(const std::optional<std::vector<std::string>>& paths,
                                              const SessionManagerPtr& manager);
  // The fixed cancel sets, over the http, json and image managers.
  void cancelAllRequests();
  void logoutCancelRequests();
  void cancelWizardWifiRequests();
  void cancelSettingsWifiRequests();
  void cancelEventsRequests();

  // Suspends or resumes every call of the http, json and image managers.
  void suspendAllTasks();
  void resumeAllTasks();

  struct CallContext;

 private:
  void send(const KLRequestPtr& request, std::shared_ptr<CallContext> context);
  void startDownload(const KLRequestPtr& request, std::shared_ptr<CallContext> context);
  platform::HttpTaskPtr sendVerb(platform::HttpMethod method, const KLRequestPtr& request,
                                 const SessionManagerPtr& manager, std::shared_ptr<CallContext> context,
                                 std::optional<double> timeout = std::nullopt);
  void failure(const platform::ErrorPtr& error, const KLRequestPtr& request, const SessionManagerPtr& manager,
               std::shared_ptr<CallContext> context);
  void resend(const KLRequestPtr& request, std::shared_ptr<CallContext> context);
  // The mapping and completion of a decoded reply, on the parser queue.
  static void mapReply(const platform::HeaderMap& headers, const platform::Value& body, const KLRequest& request,
                       const RequestCompletion& completion);
  std::vector<SessionManagerPtr> cancellableManagers() const;
  void cancelTasks(const SessionManagerPtr& manager, const std::function<bool(const std::string& url)>& shouldCancel);

  mutable std::mutex mutex_;
  std::recursive_mutex getStartMutex_;
  std::recursive_mutex updateStartMutex_;
  std::string baseURL_;
  std::string secret_;
  std::atomic<bool> shouldRetryDeviceCall_{false};
  std::atomic<int> callsWaitingForRefresh_{0};
  std::shared_ptr<KLOAuth2Manager> oauthManager_;
  SessionManagerPtr httpSessionManager_;
  SessionManagerPtr jsonSessionManager_;
  SessionManagerPtr jsonUpdateSessionManager_;
  SessionManagerPtr imageSessionManager_;
  platform::QueuePtr parserQueue_;
  platform::QueuePtr parserUpdateQueue_;
  platform::QueuePtr getOperationsQueue_;
  platform::QueuePtr updateOperationsQueue_;
};

}  // namespace dk

// KLOAuth2Manager: the OAuth2 session of the request executor. It sends the password,
// client-credentials and refresh-token grants to "oauth/token" on the REST host, stores the
// credentials it obtains, keeps the single-flight guard of the token refresh, and answers the
// streaming library's question for the current access token.
//
// Owned by KLRequestManager (created with it). Every operation may be called from any thread.
// Grants start on the concurrent serviceQueue "com.kelo.service.KLOAuth2Manager"; completions run
// on that queue, except the refresh's two early answers (no credential, no refresh token), which
// are given at once on the caller's thread. The refresh flag is tested and set in one atomic step.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/credential_storage.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/foundation/object.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/net/http_session.h"
#include "platform/net/oauth2_client.h"
#include "platform/net/oauth_credential.h"
#include "platform/net/tls_policy.h"

namespace dk {

// The fixed client secret of every grant, and the tag that opens each new client identifier.
inline constexpr char kOAuthClientSecret[] = "QXT";
inline constexpr char kOAuthClientTag[] = "dkchronokit";

class KLOAuth2Manager : public platform::Object, public platform::DKAccessTokenProviderDelegate {
 public:
  using CredentialCompletion =
      std::function<void(const platform::OAuthCredentialPtr& credential, const platform::ErrorPtr& error)>;
  using TaskSuccess = std::function<void(const platform::HttpTaskPtr& task, const platform::OAuthCredentialPtr& credential)>;
  using TaskFailure = std::function<void(const platform::HttpTaskPtr& task, const platform::ErrorPtr& error)>;

  // initWithBaseURL: the client identifier stored in the keychain (if any) authenticates the
  // refresh grant.
  explicit KLOAuth2Manager(std::string baseURL, platform::TlsPolicy tls = platform::TlsPolicy::verifying());
  ~KLOAuth2Manager() override;

  std::string className() const override { return "KLOAuth2Manager"; }

  const platform::QueuePtr& serviceQueue() const { return serviceQueue_; }
  bool isRefreshingToken() const { return isRefreshingToken_.load(); }
  std::optional<std::string> username() const;
  std::string password() const { return kOAuthClientSecret; }
  const std::string& baseURL() const { return baseURL_; }
  // The HTTP session the grants go through (listed by the executor's running-call check).
  const std::shared_ptr<platform::HttpSession>& session() const { return session_; }

  // Password grant with scope "write"; a success stores the credential with the user name as
  // authentication identifier, and the user name becomes `username`.
  void loginUserWithUsername(const std::string& username, const std::string& password, CredentialCompletion completion);
  // Client-credentials grant with scope "write"; a success stores the credential.
  void authenticateClientWithCompletionBlock(CredentialCompletion completion);
  // Refresh grant. Without a stored credential: 101001; without refresh token: 101002; while
  // another refresh runs: 101000. A success stores the new credential before it is handed on.
  void refreshTokenWithCompletionBlock(CredentialCompletion completion);
  // The refresh for a caller that saw `seenAccessToken` stored: when the stored token has changed
  // since (another refresh finished meanwhile), the stored credential is handed on without a grant.
  void refreshTokenReplacingAccessToken(std::string seenAccessToken, CredentialCompletion completion);

  // Thin wrappers over the grants of the token client; the callbacks get the started task.
  void authenticateWithURLString(const std::string& url, const std::string& username, const std::string& password,
                                 const std::string& scope, TaskSuccess success, TaskFailure failure);
  void authenticateWithURLStringScope(const std::string& url, const std::string& scope, TaskSuccess success,
                                      TaskFailure failure);
  void authenticateWithURLStringRefreshToken(const std::string& url, const std::string& refreshToken,
                                             TaskSuccess success, TaskFailure failure);

  // On serviceQueue: clear the refresh flag, then (1.0 s later on the clock) call the completion.
  void authenticationSuccessWithCredential(platform::OAuthCredentialPtr credential, CredentialCompletion block);
  // On serviceQueue: clear the refresh flag, then call the completion with the error.
  void authenticationFailureWithError(platform::ErrorPtr error, platform::HttpTaskPtr task, CredentialCompletion block);

  // Sets the client identity (HTTP Basic) of the grants that do not name their own.
  void headerWithJSONResponseAndHTTPRequestSerializersAndClientId(const std::string& clientId, const std::string& secret);
  // "<client tag>-<a new globally unique string>", different at every call.
  static std::string newClientID();

  // The stored credential's access token, or "undefined".
  std::string accessToken() const override;
  // The base URL followed by "/rest/v2.3" and "/rest/v2.4".
  std::string baseUrl() const { return baseURL_ + "/rest/v2.3"; }
  std::string baseUrlForAddByMac() const { return baseURL_ + "/rest/v2.4"; }

  // The credential kept under "Credential", or nullptr.
  static platform::OAuthCredentialPtr retrieveCredential() { return dk::retrieveCredential(); }

 private:
  void grant(const std::function<platform::HttpTaskPtr(platform::OAuth2Client::Success, platform::OAuth2Client::Failure)>& start,
             TaskSuccess success, TaskFailure failure);

  std::string baseURL_;
  std::shared_ptr<platform::HttpSession> session_;
  std::shared_ptr<platform::OAuth2Client> client_;
  platform::QueuePtr serviceQueue_;
  std::atomic<bool> isRefreshingToken_{false};
  mutable std::mutex mutex_;
  std::optional<std::string> username_;
};

}  // namespace dk

// OAuth2Client: the token endpoint client ("oauth/token" on the REST host) for the password,
// client-credentials and refresh-token grants, with HTTP Basic client authentication.
//
// The client credentials (identifier and secret) can be changed at any time; each grant reads
// them when it starts, so a grant in flight is not affected. Callbacks run once, on the session's
// completion queue (the main queue unless configured). Thread-safe.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/net/http_session.h"

namespace dk::platform {

// Domain of the errors the token endpoint names in a 2xx reply ({"error": "invalid_grant"}).
inline constexpr const char* kOAuth2ErrorDomain = "com.alamofire.networking.oauth2.error";

// What the token endpoint granted.
struct OAuthToken {
  std::string accessToken;
  std::string tokenType;
  std::optional<std::string> refreshToken;
  // Seconds since 1970; nullopt when the grant did not say (or without refresh token).
  std::optional<double> expiration;
};

// The client identity a grant authenticates with (HTTP Basic).
struct OAuthClientCredentials {
  std::string clientID;
  std::string secret;
};

class OAuth2Client {
 public:
  using Success = std::function<void(const OAuthToken& token)>;
  using Failure = std::function<void(const ErrorPtr& error)>;

  // `session` sends the grants; its base URL is the REST host's.
  OAuth2Client(std::shared_ptr<HttpSession> session, std::string clientID, std::string secret);

  void setClientCredentials(std::string clientID, std::string secret);
  OAuthClientCredentials clientCredentials() const;
  std::string clientID() const;
  std::string secret() const;
  const std::shared_ptr<HttpSession>& session() const { return session_; }

  // Each grant authenticates with `client` when given, else with the client's current credentials
  // (read when the grant starts).

  // Password grant.
  HttpTaskPtr authenticateUsingOAuthWithURLString(const std::string& url, const std::string& username,
                                                  const std::string& password, const std::string& scope,
                                                  Success success, Failure failure,
                                                  std::optional<OAuthClientCredentials> client = std::nullopt);
  // Client-credentials grant.
  HttpTaskPtr authenticateUsingOAuthWithURLStringScope(const std::string& url, const std::string& scope,
                                                       Success success, Failure failure,
                                                       std::optional<OAuthClientCredentials> client = std::nullopt);
  // Refresh-token grant (no scope).
  HttpTaskPtr authenticateUsingOAuthWithURLStringRefreshToken(const std::string& url, const std::string& refreshToken,
                                                              Success success, Failure failure,
                                                       std::optional<OAuthClientCredentials> client = std::nullopt);
  // Any grant: `parameters` carry "grant_type" and what it needs.
  HttpTaskPtr authenticateUsingOAuthWithURLStringParameters(const std::string& url, ValueDictionary parameters,
                                                            Success success, Failure failure,
                                                       std::optional<OAuthClientCredentials> client = std::nullopt);

  // Turns a token reply into a token; nullopt and the error when it names an error or lacks the
  // access token. `requestRefreshToken` stands in when the reply carries no refresh token.
  static std::optional<OAuthToken> tokenFromResponse(const Value& body,
                                                     const std::optional<std::string>& requestRefreshToken,
                                                     ErrorPtr* error);

 private:
  std::shared_ptr<HttpSession> session_;
  mutable std::mutex mutex_;
  std::string clientID_;
  std::string secret_;
};

// "Basic base64(user:password)".
std::string basicAuthorizationHeader(const std::string& user, const std::string& password);

}  // namespace dk::platform

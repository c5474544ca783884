#include "platform/net/oauth2_client.h"

#include "platform/dispatch/clock.h"
#include "platform/foundation/base64.h"

namespace dk::platform {

std::string basicAuthorizationHeader(const std::string& user, const std::string& password) {
  return "Basic " + base64Encode(user + ":" + password);
}

OAuth2Client::OAuth2Client(std::shared_ptr<HttpSession> session, std::string clientID, std::string secret)
    : session_(std::move(session)), clientID_(std::move(clientID)), secret_(std::move(secret)) {}

void OAuth2Client::setClientCredentials(std::string clientID, std::string secret) {
  std::lock_guard<std::mutex> lock(mutex_);
  clientID_ = std::move(clientID);
  secret_ = std::move(secret);
}

OAuthClientCredentials OAuth2Client::clientCredentials() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {clientID_, secret_};
}

std::string OAuth2Client::clientID() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clientID_;
}

std::string OAuth2Client::secret() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return secret_;
}

HttpTaskPtr OAuth2Client::authenticateUsingOAuthWithURLString(const std::string& url, const std::string& username,
                                                              const std::string& password, const std::string& scope,
                                                              Success success, Failure failure,
    std::optional<OAuthClientCredentials> client) {
  ValueDictionary parameters{{"grant_type", Value("password")}, {"username", Value(username)},
                             {"password", Value(password)}};
  if (!scope.empty()) parameters.emplace("scope", Value(scope));
  return authenticateUsingOAuthWithURLStringParameters(url, std::move(parameters), std::move(success), std::move(failure),
                                                       std::move(client));
}

HttpTaskPtr OAuth2Client::authenticateUsingOAuthWithURLStringScope(const std::string& url, const std::string& scope,
                                                                   Success success, Failure failure,
    std::optional<OAuthClientCredentials> client) {
  ValueDictionary parameters{{"grant_type", Value("client_credentials")}};
  if (!scope.empty()) parameters.emplace("scope", Value(scope));
  return authenticateUsingOAuthWithURLStringParameters(url, std::move(parameters), std::move(success), std::move(failure),
                                                       std::move(client));
}

HttpTaskPtr OAuth2Client::authenticateUsingOAuthWithURLStringRefreshToken(const std::string& url,
                                                                          const std::string& refreshToken,
                                                                          Success success, Failure failure,
    std::optional<OAuthClientCredentials> client) {
  ValueDictionary parameters{{"grant_type", Value("refresh_token")}, {"refresh_token", Value(refreshToken)}};
  return authenticateUsingOAuthWithURLStringParameters(url, std::move(parameters), std::move(success), std::move(failure),
                                                       std::move(client));
}

HttpTaskPtr OAuth2Client::authenticateUsingOAuthWithURLStringParameters(const std::string& url,
                                                                        ValueDictionary parameters, Success success,
                                                                        Failure failure,
                                                                        std::optional<OAuthClientCredentials> client) {
  auto configuration = std::make_shared<RequestConfiguration>();
  configuration->requestSerializer = RequestSerializerKind::Http;
  configuration->responseSerializer = ResponseSerializerKind::Json;
  configuration->headers["Accept"] = "application/json";
  const OAuthClientCredentials identity = client ? *client : clientCredentials();
  configuration->headers["Authorization"] = basicAuthorizationHeader(identity.clientID, identity.secret);
  // A grant's body holds a password or refresh token: a 307 would send it on to whatever host it
  // names, so a redirect off the token endpoint's origin fails the grant.
  configuration->sameOriginRedirectsOnly = true;
  std::optional<std::string> refreshToken;
  if (auto it = parameters.find("refresh_token"); it != parameters.end()) refreshToken = it->second.optionalString();
  return session_->dataTask(
      HttpMethod::Post, url, Value(std::move(parameters)), std::move(configuration),
      [success, failure, refreshToken](const std::shared_ptr<const HttpResponseInfo>&, const Value& body) {
        ErrorPtr error;
        auto token = tokenFromResponse(body, refreshToken, &error);
        if (token) {
          if (success) success(*token);
        } else if (failure) {
          failure(error);
        }
      },
      [failure](const ErrorPtr& error) {
        if (failure) failure(error);
      });
}

namespace {
int64_t oauthErrorCode(const std::string& name) {
  if (name == "invalid_request") return 1;
  if (name == "invalid_client") return 2;
  if (name == "invalid_grant") return 3;
  if (name == "unauthorized_client") return 4;
  if (name == "unsupported_grant_type") return 5;
  if (name == "invalid_scope") return 6;
  return 0;
}

std::string oauthErrorText(const std::string& name) {
  if (name == "invalid_request") return "The request is missing a parameter or is malformed.";
  if (name == "invalid_client") return "The client could not be authenticated.";
  if (name == "invalid_grant") return "The grant or refresh token is invalid, expired or revoked.";
  if (name == "unauthorized_client") return "The client may not use this grant type.";
  if (name == "unsupported_grant_type") return "The grant type is not supported by the server.";
  if (name == "invalid_scope") return "The requested scope is invalid or unknown.";
  return "The token request failed.";
}
}  // namespace

std::optional<OAuthToken> OAuth2Client::tokenFromResponse(const Value& body,
                                                          const std::optional<std::string>& requestRefreshToken,
                                                          ErrorPtr* error) {
  if (body.isDictionary() && !body["error"].isNilOrNull()) {
    const std::string name = body["error"].isString() ? body["error"].stringValue() : std::string();
    const Value description = body["error_description"];
    if (error) {
      *error = std::make_shared<const Error>(kOAuth2ErrorDomain, oauthErrorCode(name),
                                             description.isString() ? description.stringValue() : oauthErrorText(name),
                                             nullptr, body.toJSON());
    }
    return std::nullopt;
  }
  const Value access = body["access_token"];
  if (!access.isString() || access.stringValue().empty()) {
    if (error) {
      *error = std::make_shared<const Error>(kOAuth2ErrorDomain, 0, "The token reply carries no access token.",
                                             nullptr, body.isNil() ? std::optional<std::string>() : body.toJSON());
    }
    return std::nullopt;
  }
  OAuthToken token;
  token.accessToken = access.stringValue();
  token.tokenType = body["token_type"].isString() ? body["token_type"].stringValue() : std::string("bearer");
  token.refreshToken = body["refresh_token"].optionalString();
  if (!token.refreshToken) token.refreshToken = requestRefreshToken;
  if (token.refreshToken) {
    const Value expiresIn = body["expires_in"];
    if (expiresIn.isNumber() || expiresIn.isString()) token.expiration = platform::now() + expiresIn.doubleValue();
  }
  return token;
}

}  // namespace dk::platform

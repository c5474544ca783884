#include "network/kl_oauth2_manager.h"

#include <cstdio>
#include <random>

#include "foundation/kl_authentication_identifier.h"
#include "foundation/framework_errors.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"

namespace dk {

namespace {

using platform::ErrorPtr;
using platform::HttpTaskPtr;
using platform::OAuthCredential;
using platform::OAuthCredentialPtr;

OAuthCredentialPtr credentialFromToken(const platform::OAuthToken& token) {
  return std::make_shared<const OAuthCredential>(token.accessToken, token.tokenType, token.refreshToken, token.expiration);
}

std::string globallyUniqueString() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  const uint64_t a = generator(), b = generator();
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-4%03X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3FFF)),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFULL));
  return text;
}

}  // namespace

KLOAuth2Manager::KLOAuth2Manager(std::string baseURL, platform::TlsPolicy tls) : baseURL_(std::move(baseURL)) {
  serviceQueue_ = platform::DispatchQueue::createConcurrent("com.kelo.service.KLOAuth2Manager");
  platform::HttpSession::Options options;
  options.baseURL = baseURL_;
  options.tls = std::move(tls);
  // Grants answer on the service queue: storing a credential never runs on the main thread.
  options.completionQueue = serviceQueue_;
  session_ = platform::HttpSession::create(std::move(options));
  username_ = KLAuthenticationIdentifier::getAuthenticationIdentifier();
  client_ = std::make_shared<platform::OAuth2Client>(session_, username_.value_or(std::string()), kOAuthClientSecret);
}

KLOAuth2Manager::~KLOAuth2Manager() = default;

std::optional<std::string> KLOAuth2Manager::username() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return username_;
}

std::string KLOAuth2Manager::accessToken() const {
  auto credential = retrieveCredential();
  return credential ? credential->accessToken() : std::string("undefined");
}

std::string KLOAuth2Manager::newClientID() { return std::string(kOAuthClientTag) + "-" + globallyUniqueString(); }

void KLOAuth2Manager::headerWithJSONResponseAndHTTPRequestSerializersAndClientId(const std::string& clientId,
                                                                                 const std::string& secret) {
  client_->setClientCredentials(clientId, secret);
}

void KLOAuth2Manager::loginUserWithUsername(const std::string& username, const std::string& password,
                                            CredentialCompletion completion) {
  const platform::OAuthClientCredentials identity{newClientID(), kOAuthClientSecret};
  headerWithJSONResponseAndHTTPRequestSerializersAndClientId(identity.clientID, identity.secret);
  auto self = std::static_pointer_cast<KLOAuth2Manager>(shared_from_this());
  serviceQueue_->async([self, username, password, identity, completion] {
    self->grant(
        [&](auto success, auto failure) {
          return self->client_->authenticateUsingOAuthWithURLString("oauth/token", username, password, "write",
                                                                    std::move(success), std::move(failure), identity);
        },
        [self, username, completion](const HttpTaskPtr&, const OAuthCredentialPtr& credential) {
          {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->username_ = username;
          }
          storeCredential(*credential, username);
          if (completion) completion(credential, nullptr);
        },
        [completion](const HttpTaskPtr&, const ErrorPtr& error) {
          if (completion) completion(nullptr, error);
        });
  });
}

void KLOAuth2Manager::authenticateClientWithCompletionBlock(CredentialCompletion completion) {
  const platform::OAuthClientCredentials identity{newClientID(), kOAuthClientSecret};
  headerWithJSONResponseAndHTTPRequestSerializersAndClientId(identity.clientID, identity.secret);
  auto self = std::static_pointer_cast<KLOAuth2Manager>(shared_from_this());
  serviceQueue_->async([self, identity, completion] {
    self->grant(
        [&](auto success, auto failure) {
          return self->client_->authenticateUsingOAuthWithURLStringScope("oauth/token", "write", std::move(success),
                                                                         std::move(failure), identity);
        },
        [completion](const HttpTaskPtr&, const OAuthCredentialPtr& credential) {
          storeCredential(*credential);
          if (completion) completion(credential, nullptr);
        },
        [completion](const HttpTaskPtr&, const ErrorPtr& error) {
          if (completion) completion(nullptr, error);
        });
  });
}

void KLOAuth2Manager::refreshTokenWithCompletionBlock(CredentialCompletion completion) {
  const auto stored = retrieveCredential();
  if (!stored) {
    if (completion) completion(nullptr, unableToRetrieveCredentialError());
    return;
  }
  if (!stored->refreshToken() || stored->refreshToken()->empty()) {
    if (completion) completion(nullptr, unableToRetrieveRefreshTokenError());
    return;
  }
  refreshTokenReplacingAccessToken(stored->accessToken(), std::move(completion));
}

void KLOAuth2Manager::refreshTokenReplacingAccessToken(std::string seenAccessToken, CredentialCompletion completion) {
  auto self = std::static_pointer_cast<KLOAuth2Manager>(shared_from_this());
  serviceQueue_->async([self, seenAccessToken = std::move(seenAccessToken), completion = std::move(completion)] {
    // A refresh that finished between the caller's look at the store and now has already replaced
    // the token (and spent its refresh token): hand on the new credential instead of a second grant.
    const auto current = retrieveCredential();
    if (current && current->accessToken() != seenAccessToken) {
      if (completion) completion(current, nullptr);
      return;
    }
    // Checked before the flag: a credential that cannot be refreshed (the host's own token) is
    // refused at once, not told to wait for somebody else's refresh.
    if (!current || !current->refreshToken() || current->refreshToken()->empty()) {
      if (completion) completion(nullptr, current ? unableToRetrieveRefreshTokenError() : unableToRetrieveCredentialError());
      return;
    }
    bool expected = false;
    if (!self->isRefreshingToken_.compare_exchange_strong(expected, true)) {
      if (completion) completion(nullptr, refreshTokenInProgressError());
      return;
    }
    // Looked at again under the flag: a refresh may have finished since the look above.
    const auto now = retrieveCredential();
    if (!now || now->accessToken() != seenAccessToken || !now->refreshToken() || now->refreshToken()->empty()) {
      self->isRefreshingToken_.store(false);
      if (!now) {
        if (completion) completion(nullptr, unableToRetrieveCredentialError());
      } else if (now->accessToken() != seenAccessToken) {
        if (completion) completion(now, nullptr);
      } else if (completion) {
        completion(nullptr, unableToRetrieveRefreshTokenError());
      }
      return;
    }
    const std::string refreshToken = *now->refreshToken();
    const platform::OAuthClientCredentials identity{self->username().value_or(std::string()), self->password()};
    self->headerWithJSONResponseAndHTTPRequestSerializersAndClientId(identity.clientID, identity.secret);
    self->grant(
        [&](auto success, auto failure) {
          return self->client_->authenticateUsingOAuthWithURLStringRefreshToken(
              "oauth/token", refreshToken, std::move(success), std::move(failure), identity);
        },
        [self, completion](const HttpTaskPtr&, const OAuthCredentialPtr& credential) {
          // Stored before anyone hears of it: a call re-sent after the refresh reads its bearer
          // token from the store.
          storeCredential(*credential);
          self->authenticationSuccessWithCredential(credential, completion);
        },
        [self, completion](const HttpTaskPtr& task, const ErrorPtr& error) {
          self->authenticationFailureWithError(error, task, completion);
        });
  });
}

void KLOAuth2Manager::authenticateWithURLString(const std::string& url, const std::string& username,
                                                const std::string& password, const std::string& scope,
                                                TaskSuccess success, TaskFailure failure) {
  grant(
      [&](auto s, auto f) {
        return client_->authenticateUsingOAuthWithURLString(url, username, password, scope, std::move(s), std::move(f));
      },
      std::move(success), std::move(failure));
}

void KLOAuth2Manager::authenticateWithURLStringScope(const std::string& url, const std::string& scope,
                                                     TaskSuccess success, TaskFailure failure) {
  grant([&](auto s, auto f) { return client_->authenticateUsingOAuthWithURLStringScope(url, scope, std::move(s), std::move(f)); },
        std::move(success), std::move(failure));
}

void KLOAuth2Manager::authenticateWithURLStringRefreshToken(const std::string& url, const std::string& refreshToken,
                                                            TaskSuccess success, TaskFailure failure) {
  grant(
      [&](auto s, auto f) {
        return client_->authenticateUsingOAuthWithURLStringRefreshToken(url, refreshToken, std::move(s), std::move(f));
      },
      std::move(success), std::move(failure));
}

void KLOAuth2Manager::grant(
    const std::function<HttpTaskPtr(platform::OAuth2Client::Success, platform::OAuth2Client::Failure)>& start,
    TaskSuccess success, TaskFailure failure) {
  // The task is known only once the grant has started; the callbacks read it from this slot.
  auto slot = std::make_shared<std::pair<std::mutex, HttpTaskPtr>>();
  auto taskOf = [slot] {
    std::lock_guard<std::mutex> lock(slot->first);
    return slot->second;
  };
  HttpTaskPtr task = start(
      [success, taskOf](const platform::OAuthToken& token) {
        if (success) success(taskOf(), credentialFromToken(token));
      },
      [failure, taskOf](const ErrorPtr& error) {
        if (failure) failure(taskOf(), error);
      });
  std::lock_guard<std::mutex> lock(slot->first);
  slot->second = std::move(task);
}

void KLOAuth2Manager::authenticationSuccessWithCredential(OAuthCredentialPtr credential, CredentialCompletion block) {
  auto self = std::static_pointer_cast<KLOAuth2Manager>(shared_from_this());
  serviceQueue_->async([self, credential = std::move(credential), block = std::move(block)] {
    self->isRefreshingToken_.store(false);
    // A pause before the new token is handed on, as a timer rather than a sleeping thread. It is
    // outstanding work unless the clock only moves when a test advances it.
    std::shared_ptr<platform::ActivityToken> activity;
    if (!platform::clock().isManual()) activity = std::make_shared<platform::ActivityToken>();
    self->serviceQueue_->after(1.0, [credential, block, activity] {
      if (block) block(credential, nullptr);
    });
  });
}

void KLOAuth2Manager::authenticationFailureWithError(ErrorPtr error, HttpTaskPtr, CredentialCompletion block) {
  auto self = std::static_pointer_cast<KLOAuth2Manager>(shared_from_this());
  serviceQueue_->async([self, error = std::move(error), block = std::move(block)] {
    self->isRefreshingToken_.store(false);
    if (block) block(nullptr, error);
  });
}

}  // namespace dk

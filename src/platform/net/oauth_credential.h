// OAuthCredential: an OAuth 2 credential — access token, token type, optional refresh token and
// expiry — and its keeping in the secure store under an identifier (what an OAuth2 client
// library keeps as its credential object).
//
// Immutable once made and shared as shared_ptr<const OAuthCredential>; safe to read from any
// thread. The store operations take the secure store's lock across their read-check-write.
// The archived form (archivedData/unarchive) is a small JSON document; it is what the keychain
// items hold.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/object.h"
#include "platform/foundation/secure_store.h"

namespace dk::platform {

class OAuthCredential final : public Object {
 public:
  OAuthCredential(std::string accessToken, std::string tokenType, std::optional<std::string> refreshToken = std::nullopt,
                  std::optional<double> expiration = std::nullopt);
  static std::shared_ptr<const OAuthCredential> credentialWithOAuthToken(std::string accessToken, std::string tokenType) {
    return std::make_shared<const OAuthCredential>(std::move(accessToken), std::move(tokenType));
  }
  // A copy with a refresh token and, when given, an expiry (seconds since 1970).
  std::shared_ptr<const OAuthCredential> withRefreshToken(std::string refreshToken,
                                                          std::optional<double> expiration = std::nullopt) const;

  const std::string& accessToken() const { return accessToken_; }
  const std::string& tokenType() const { return tokenType_; }
  const std::optional<std::string>& refreshToken() const { return refreshToken_; }
  const std::optional<double>& expiration() const { return expiration_; }
  // True once the expiry has passed on the current clock; never without an expiry.
  bool isExpired() const;

  std::string archivedData() const;
  // nullptr when the data is not an archived credential.
  static std::shared_ptr<const OAuthCredential> unarchive(std::string_view data);

  // Keeping credentials in the secure store (SecureStore::shared() unless another is given).
  // store replaces a credential already kept under the identifier; retrieve answers nullptr when
  // there is none or it cannot be read; delete answers whether an item was removed.
  static bool storeCredential(const OAuthCredential& credential, std::string_view identifier,
                              const std::shared_ptr<SecureStore>& store = nullptr);
  static std::shared_ptr<const OAuthCredential> retrieveCredentialWithIdentifier(
      std::string_view identifier, const std::shared_ptr<SecureStore>& store = nullptr);
  static bool deleteCredentialWithIdentifier(std::string_view identifier, const std::shared_ptr<SecureStore>& store = nullptr);
  // The secure-store service the credentials are kept under (account: the identifier).
  static constexpr std::string_view kKeychainService = "com.devicekeeper.oauth2.credential";

  std::string className() const override { return "AFOAuthCredential"; }
  std::string description() const override;
  bool isEqual(const Object& other) const override;

 private:
  std::string accessToken_;
  std::string tokenType_;
  std::optional<std::string> refreshToken_;
  std::optional<double> expiration_;
};

using OAuthCredentialPtr = std::shared_ptr<const OAuthCredential>;

}  // namespace dk::platform

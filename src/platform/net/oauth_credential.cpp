#include "platform/net/oauth_credential.h"

#include <nlohmann/json.hpp>

#include "platform/dispatch/clock.h"

namespace dk::platform {
namespace {

constexpr const char* kArchiveClass = "AFOAuthCredential";

std::shared_ptr<SecureStore> storeOrShared(const std::shared_ptr<SecureStore>& store) {
  return store ? store : SecureStore::shared();
}

SecureStoreQuery queryFor(std::string_view identifier) {
  return {std::string(OAuthCredential::kKeychainService), std::string(identifier)};
}

}  // namespace

OAuthCredential::OAuthCredential(std::string accessToken, std::string tokenType, std::optional<std::string> refreshToken,
                                 std::optional<double> expiration)
    : accessToken_(std::move(accessToken)),
      tokenType_(std::move(tokenType)),
      refreshToken_(std::move(refreshToken)),
      expiration_(expiration) {}

std::shared_ptr<const OAuthCredential> OAuthCredential::withRefreshToken(std::string refreshToken,
                                                                         std::optional<double> expiration) const {
  return std::make_shared<const OAuthCredential>(accessToken_, tokenType_, std::move(refreshToken),
                                                 expiration ? expiration : expiration_);
}

bool OAuthCredential::isExpired() const { return expiration_ && *expiration_ <= now(); }

std::string OAuthCredential::archivedData() const {
  nlohmann::json archive = {{"$class", kArchiveClass}, {"accessToken", accessToken_}, {"tokenType", tokenType_}};
  if (refreshToken_) archive["refreshToken"] = *refreshToken_;
  if (expiration_) archive["expiration"] = *expiration_;
  return archive.dump();
}

std::shared_ptr<const OAuthCredential> OAuthCredential::unarchive(std::string_view data) {
  auto archive = nlohmann::json::parse(data, nullptr, false);
  if (!archive.is_object()) return nullptr;
  // Looked up, not read with a default: reading a non-text class name would throw.
  auto archiveClass = archive.find("$class");
  if (archiveClass == archive.end() || !archiveClass->is_string() || *archiveClass != kArchiveClass) return nullptr;
  auto access = archive.find("accessToken");
  auto type = archive.find("tokenType");
  if (access == archive.end() || !access->is_string() || type == archive.end() || !type->is_string()) return nullptr;
  std::optional<std::string> refresh;
  if (auto it = archive.find("refreshToken"); it != archive.end()) {
    if (!it->is_string()) return nullptr;
    refresh = it->get<std::string>();
  }
  std::optional<double> expiration;
  if (auto it = archive.find("expiration"); it != archive.end()) {
    if (!it->is_number()) return nullptr;
    expiration = it->get<double>();
  }
  return std::make_shared<const OAuthCredential>(access->get<std::string>(), type->get<std::string>(), std::move(refresh),
                                                 expiration);
}

bool OAuthCredential::storeCredential(const OAuthCredential& credential, std::string_view identifier,
                                      const std::shared_ptr<SecureStore>& store) {
  auto target = storeOrShared(store);
  const auto query = queryFor(identifier);
  const std::string data = credential.archivedData();
  // Decide add or update by whether an item exists, under the store's lock, so an unreadable
  // old copy is replaced instead of blocking every later store as a duplicate.
  return target->withLock([&] {
    OSStatus exists = target->copyData(query, nullptr);
    if (exists == errSecSuccess) return target->update(query, data) == errSecSuccess;
    if (exists != errSecItemNotFound) return false;
    return target->add({query.service, *query.account, data, kSecAttrAccessibleWhenUnlocked}) == errSecSuccess;
  });
}

std::shared_ptr<const OAuthCredential> OAuthCredential::retrieveCredentialWithIdentifier(
    std::string_view identifier, const std::shared_ptr<SecureStore>& store) {
  std::string data;
  if (storeOrShared(store)->copyData(queryFor(identifier), &data) != errSecSuccess) return nullptr;
  return unarchive(data);
}

bool OAuthCredential::deleteCredentialWithIdentifier(std::string_view identifier, const std::shared_ptr<SecureStore>& store) {
  return storeOrShared(store)->remove(queryFor(identifier)) == errSecSuccess;
}

std::string OAuthCredential::description() const {
  // Never print the tokens themselves.
  return "<AFOAuthCredential tokenType:\"" + tokenType_ + "\" refreshToken:" + (refreshToken_ ? "yes" : "no") +
         " expiration:" + (expiration_ ? std::to_string(static_cast<long long>(*expiration_)) : "none") + ">";
}

bool OAuthCredential::isEqual(const Object& other) const {
  auto* o = dynamic_cast<const OAuthCredential*>(&other);
  return o && o->accessToken_ == accessToken_ && o->tokenType_ == tokenType_ && o->refreshToken_ == refreshToken_ &&
         o->expiration_ == expiration_;
}

}  // namespace dk::platform

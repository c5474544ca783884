#include "foundation/kl_push_notifications_keychain_access.h"

namespace dk {

using platform::SecureStore;

const platform::SecureStoreQuery& KLPushNotificationsKeychainAccess::keychainQueryForPushNotifications() {
  static const auto* query = new platform::SecureStoreQuery{std::string(kAuthenticationCredentialKeychainService), std::nullopt};
  return *query;
}

platform::OAuthCredentialPtr KLPushNotificationsKeychainAccess::getAuthenticationCredentialForPushNotifications() {
  std::string data;
  if (SecureStore::shared()->copyData(keychainQueryForPushNotifications(), &data) != platform::errSecSuccess) return nullptr;
  return platform::OAuthCredential::unarchive(data);
}

bool KLPushNotificationsKeychainAccess::saveAuthenticationCredentialForPushNotifications(
    const platform::OAuthCredential& credential) {
  auto store = SecureStore::shared();
  const auto& query = keychainQueryForPushNotifications();
  const std::string data = credential.archivedData();
  // Add or update by whether the item exists, not by whether a copy could be read: a stored copy
  // that does not unarchive would otherwise make every later add fail as a duplicate.
  return store->withLock([&] {
    const platform::OSStatus exists = store->copyData(query, nullptr);
    if (exists == platform::errSecSuccess) return store->update(query, data) == platform::errSecSuccess;
    if (exists != platform::errSecItemNotFound) return false;
    return store->add({query.service, "", data, platform::kSecAttrAccessibleAlways}) == platform::errSecSuccess;
  });
}

bool KLPushNotificationsKeychainAccess::deleteAuthenticationCredentialForPushNotifications() {
  return SecureStore::shared()->remove(keychainQueryForPushNotifications()) == platform::errSecSuccess;
}

}  // namespace dk

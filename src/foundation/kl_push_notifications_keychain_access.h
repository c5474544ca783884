// KLPushNotificationsKeychainAccess: the archived copy of the OAuth credential that the host
// application's own code (push-notification handling) reads from the secure store.
//
// One generic-password item, service "kAuthenticationCredentialKeychainService", no account,
// always accessible. Class functions over SecureStore::shared(); thread-safe, and each save is
// one read-check-write under the store's lock.
#pragma once

#include <string_view>

#include "platform/foundation/secure_store.h"
#include "platform/net/oauth_credential.h"

namespace dk {

inline constexpr std::string_view kAuthenticationCredentialKeychainService = "kAuthenticationCredentialKeychainService";

class KLPushNotificationsKeychainAccess {
 public:
  KLPushNotificationsKeychainAccess() = delete;

  // {generic password, service "kAuthenticationCredentialKeychainService"}.
  static const platform::SecureStoreQuery& keychainQueryForPushNotifications();
  // The stored copy; nullptr when there is none or it cannot be read or unarchived.
  static platform::OAuthCredentialPtr getAuthenticationCredentialForPushNotifications();
  // Adds the copy when no item exists, else replaces the stored one (also one that cannot be
  // read). True when the store reports success.
  static bool saveAuthenticationCredentialForPushNotifications(const platform::OAuthCredential& credential);
  // True when an item was deleted.
  static bool deleteAuthenticationCredentialForPushNotifications();
};

}  // namespace dk

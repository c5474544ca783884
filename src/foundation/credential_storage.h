// Keeping the OAuth credential: the "Credential" item the request layer reads its bearer token
// from, together with the push copy (KLPushNotificationsKeychainAccess) and the client
// identifier (KLAuthenticationIdentifier), kept consistent with each other.
//
// Class-level functions over the secure store; thread-safe. deleteCredential first asks the
// push-notification helpers to remove the application's delivered notifications, through a
// handler they install with setDeleteAllDeliveredPushNotificationsHandler.
#pragma once

#include <functional>
#include <string_view>

#include "platform/net/oauth_credential.h"

namespace dk {

// The identifier the credential is kept under.
inline constexpr std::string_view kCredentialIdentifier = "Credential";

// The stored credential, or nullptr.
platform::OAuthCredentialPtr retrieveCredential();
// Writes the push copy, then keeps the credential under "Credential"; answers the latter's
// result. No client identifier is written.
bool storeCredential(const platform::OAuthCredential& credential);
// The same, also saving `authenticationIdentifier` when no identifier is stored yet.
bool storeCredential(const platform::OAuthCredential& credential, std::string_view authenticationIdentifier);
// In this order: removes delivered notifications (the installed handler, when any), deletes the
// client identifier, the push copy and the credential; answers whether the credential was deleted.
bool deleteCredential();

// Installs what deleteCredential calls to remove the application's delivered notifications
// (an empty function: nothing). Thread-safe; the handler runs on the deleting thread.
void setDeleteAllDeliveredPushNotificationsHandler(std::function<void()> handler);

}  // namespace dk

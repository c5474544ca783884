#include "foundation/credential_storage.h"

#include <mutex>

#include "foundation/kl_authentication_identifier.h"
#include "foundation/kl_push_notifications_keychain_access.h"

namespace dk {
namespace {

struct NotificationsHandler {
  std::mutex mutex;
  std::function<void()> handler;
};

NotificationsHandler& notificationsHandler() {
  static auto* h = new NotificationsHandler;
  return *h;
}

}  // namespace

void setDeleteAllDeliveredPushNotificationsHandler(std::function<void()> handler) {
  auto& h = notificationsHandler();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.handler = std::move(handler);
}

platform::OAuthCredentialPtr retrieveCredential() {
  return platform::OAuthCredential::retrieveCredentialWithIdentifier(kCredentialIdentifier);
}

bool storeCredential(const platform::OAuthCredential& credential) {
  KLPushNotificationsKeychainAccess::saveAuthenticationCredentialForPushNotifications(credential);
  return platform::OAuthCredential::storeCredential(credential, kCredentialIdentifier);
}

bool storeCredential(const platform::OAuthCredential& credential, std::string_view authenticationIdentifier) {
  KLPushNotificationsKeychainAccess::saveAuthenticationCredentialForPushNotifications(credential);
  KLAuthenticationIdentifier::saveAuthenticationIdentifier(authenticationIdentifier);
  return platform::OAuthCredential::storeCredential(credential, kCredentialIdentifier);
}

bool deleteCredential() {
  std::function<void()> removeDelivered;
  {
    auto& h = notificationsHandler();
    std::lock_guard<std::mutex> lock(h.mutex);
    removeDelivered = h.handler;
  }
  if (removeDelivered) removeDelivered();
  KLAuthenticationIdentifier::deleteAuthenticationIdentifier();
  KLPushNotificationsKeychainAccess::deleteAuthenticationCredentialForPushNotifications();
  return platform::OAuthCredential::deleteCredentialWithIdentifier(kCredentialIdentifier);
}

}  // namespace dk

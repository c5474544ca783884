#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "foundation/kl_authentication_identifier.h"
#include "foundation/credential_storage.h"
#include "foundation/kl_push_notifications_keychain_access.h"

namespace dk {
namespace {

using platform::InMemorySecureStore;
using platform::OAuthCredential;
using platform::SecureStore;

class KeychainStores : public ::testing::Test {
 protected:
  KeychainStores() : store_(InMemorySecureStore::create()) { SecureStore::setShared(store_); }
  ~KeychainStores() override {
    setDeleteAllDeliveredPushNotificationsHandler(nullptr);
    SecureStore::setShared(nullptr);
  }
  // Items of a service, counted through the store itself.
  bool hasItem(std::string_view service, std::optional<std::string> account = std::nullopt) {
    return store_->copyData({std::string(service), std::move(account)}, nullptr) == platform::errSecSuccess;
  }
  std::shared_ptr<InMemorySecureStore> store_;
  const OAuthCredential host_{"host-token", "bearer"};
  const std::shared_ptr<const OAuthCredential> login_ =
      OAuthCredential("login-token", "bearer").withRefreshToken("refresh", 1800000000);
};

TEST_F(KeychainStores, IdentifierIsNeverReplacedOnceStored) {
  EXPECT_EQ(KLAuthenticationIdentifier::getAuthenticationIdentifier(), std::nullopt);
  EXPECT_TRUE(KLAuthenticationIdentifier::saveAuthenticationIdentifier("a"));
  EXPECT_TRUE(KLAuthenticationIdentifier::saveAuthenticationIdentifier("b"));
  EXPECT_EQ(KLAuthenticationIdentifier::getAuthenticationIdentifier(), "a");
  EXPECT_TRUE(KLAuthenticationIdentifier::deleteAuthenticationIdentifier());
  EXPECT_FALSE(KLAuthenticationIdentifier::deleteAuthenticationIdentifier());
  EXPECT_TRUE(KLAuthenticationIdentifier::saveAuthenticationIdentifier("b"));
  EXPECT_EQ(KLAuthenticationIdentifier::getAuthenticationIdentifier(), "b");
}

TEST_F(KeychainStores, AnIdentifierThatIsNotTextIsReplacedOneThatCannotBeReadIsKept) {
  const auto& query = KLAuthenticationIdentifier::keychainQuery();
  ASSERT_EQ(store_->add({query.service, *query.account, "\xff\xfe"}), platform::errSecSuccess);
  EXPECT_EQ(KLAuthenticationIdentifier::getAuthenticationIdentifier(), std::nullopt);
  EXPECT_TRUE(KLAuthenticationIdentifier::saveAuthenticationIdentifier("client"));
  EXPECT_EQ(KLAuthenticationIdentifier::getAuthenticationIdentifier(), "client");

  store_->failDataReadsWith(platform::errSecInteractionNotAllowed);
  EXPECT_FALSE(KLAuthenticationIdentifier::saveAuthenticationIdentifier("other"));
  store_->failDataReadsWith(platform::errSecSuccess);
  EXPECT_EQ(KLAuthenticationIdentifier::getAuthenticationIdentifier(), "client");
}

TEST_F(KeychainStores, PushCopyIsAddedThenUpdated) {
  EXPECT_EQ(KLPushNotificationsKeychainAccess::getAuthenticationCredentialForPushNotifications(), nullptr);
  EXPECT_TRUE(KLPushNotificationsKeychainAccess::saveAuthenticationCredentialForPushNotifications(host_));
  EXPECT_TRUE(KLPushNotificationsKeychainAccess::saveAuthenticationCredentialForPushNotifications(*login_));
  auto copy = KLPushNotificationsKeychainAccess::getAuthenticationCredentialForPushNotifications();
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->isEqual(*login_));
  EXPECT_TRUE(KLPushNotificationsKeychainAccess::deleteAuthenticationCredentialForPushNotifications());
  EXPECT_FALSE(hasItem(kAuthenticationCredentialKeychainService));
}

TEST_F(KeychainStores, AnUnreadablePushCopyDoesNotBlockLaterSaves) {
  // A copy that does not unarchive (damaged, or written by another version).
  ASSERT_EQ(store_->add({std::string(kAuthenticationCredentialKeychainService), "", "garbage"}), platform::errSecSuccess);
  EXPECT_EQ(KLPushNotificationsKeychainAccess::getAuthenticationCredentialForPushNotifications(), nullptr);
  EXPECT_TRUE(KLPushNotificationsKeychainAccess::saveAuthenticationCredentialForPushNotifications(host_));
  auto copy = KLPushNotificationsKeychainAccess::getAuthenticationCredentialForPushNotifications();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->accessToken(), "host-token");

  // A store that refuses to hand out the data: the item is still updated, not added twice.
  store_->failDataReadsWith(platform::errSecInteractionNotAllowed);
  EXPECT_TRUE(KLPushNotificationsKeychainAccess::saveAuthenticationCredentialForPushNotifications(*login_));
  store_->failDataReadsWith(platform::errSecSuccess);
  EXPECT_EQ(KLPushNotificationsKeychainAccess::getAuthenticationCredentialForPushNotifications()->accessToken(),
            "login-token");
}

TEST_F(KeychainStores, StoreCredentialWritesTheIdentifierOnlyWhenAsked) {
  EXPECT_TRUE(storeCredential(host_));
  EXPECT_EQ(retrieveCredential()->accessToken(), "host-token");
  EXPECT_EQ(retrieveCredential()->tokenType(), "bearer");
  EXPECT_FALSE(hasItem(kAuthenticationIdentifierKeychainService));
  EXPECT_TRUE(KLPushNotificationsKeychainAccess::getAuthenticationCredentialForPushNotifications()->isEqual(host_));

  EXPECT_TRUE(storeCredential(*login_, "alice"));
  EXPECT_TRUE(storeCredential(*login_, "bob"));
  EXPECT_EQ(KLAuthenticationIdentifier::getAuthenticationIdentifier(), "alice");
  EXPECT_EQ(retrieveCredential()->refreshToken(), "refresh");
}

TEST_F(KeychainStores, DeleteCredentialClearsAllThreeAfterRemovingNotifications) {
  ASSERT_TRUE(storeCredential(*login_, "alice"));
  int calls = 0;
  bool itemsPresentWhenCalled = false;
  setDeleteAllDeliveredPushNotificationsHandler([&] {
    ++calls;
    itemsPresentWhenCalled = retrieveCredential() && KLAuthenticationIdentifier::getAuthenticationIdentifier();
  });
  EXPECT_TRUE(deleteCredential());
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(itemsPresentWhenCalled);
  EXPECT_EQ(retrieveCredential(), nullptr);
  EXPECT_EQ(KLAuthenticationIdentifier::getAuthenticationIdentifier(), std::nullopt);
  EXPECT_EQ(KLPushNotificationsKeychainAccess::getAuthenticationCredentialForPushNotifications(), nullptr);
  EXPECT_FALSE(deleteCredential());  // nothing left to delete
  EXPECT_EQ(calls, 2);
}

TEST_F(KeychainStores, ConcurrentStoresNeverFailAsDuplicates) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        OAuthCredential credential("token-" + std::to_string(t), "bearer");
        if (!storeCredential(credential, "user-" + std::to_string(t))) failures[t]++;
        if (!KLPushNotificationsKeychainAccess::saveAuthenticationCredentialForPushNotifications(credential)) failures[t]++;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  EXPECT_NE(retrieveCredential(), nullptr);
  EXPECT_TRUE(KLAuthenticationIdentifier::getAuthenticationIdentifier()->starts_with("user-"));
}

}  // namespace
}  // namespace dk

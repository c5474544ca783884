#include <gtest/gtest.h>

#include "platform/net/oauth_credential.h"
#include "support/manual_clock.h"

namespace dk::platform {
namespace {

TEST(OAuthCredential, ArchivesAndUnarchivesEveryField) {
  auto bare = OAuthCredential::credentialWithOAuthToken("token-1", "bearer");
  auto full = bare->withRefreshToken("refresh-1", 1700000500.5);
  for (const auto& credential : {bare, full}) {
    auto back = OAuthCredential::unarchive(credential->archivedData());
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*credential));
  }
  EXPECT_EQ(full->refreshToken(), "refresh-1");
  EXPECT_FALSE(bare->refreshToken().has_value());
  EXPECT_EQ(OAuthCredential::unarchive("garbage"), nullptr);
  EXPECT_EQ(OAuthCredential::unarchive(R"({"$class":"AFOAuthCredential","accessToken":5,"tokenType":"bearer"})"), nullptr);
  EXPECT_EQ(OAuthCredential::unarchive(R"({"accessToken":"a","tokenType":"bearer"})"), nullptr);
  // A class name that is not text is refused, not thrown out of the reader.
  for (const char* archive : {R"({"$class":1,"accessToken":"a","tokenType":"bearer"})",
                              R"({"$class":null,"accessToken":"a","tokenType":"bearer"})",
                              R"({"$class":["AFOAuthCredential"],"accessToken":"a","tokenType":"bearer"})"}) {
    EXPECT_EQ(OAuthCredential::unarchive(archive), nullptr) << archive;
  }
  EXPECT_EQ(full->description().find("token-1"), std::string::npos);
}

TEST(OAuthCredential, ExpiresOnTheCurrentClock) {
  test::ManualClockScope clock(1000);
  auto credential = OAuthCredential("a", "bearer").withRefreshToken("r", 1060);
  EXPECT_FALSE(credential->isExpired());
  clock.advance(60);
  EXPECT_TRUE(credential->isExpired());
  EXPECT_FALSE(OAuthCredential("a", "bearer").isExpired());
}

TEST(OAuthCredential, StoreReplacesRetrieveAndDeleteByIdentifier) {
  auto store = InMemorySecureStore::create();
  EXPECT_EQ(OAuthCredential::retrieveCredentialWithIdentifier("Credential", store), nullptr);
  EXPECT_TRUE(OAuthCredential::storeCredential(OAuthCredential("first", "bearer"), "Credential", store));
  EXPECT_TRUE(OAuthCredential::storeCredential(OAuthCredential("second", "bearer"), "Credential", store));
  EXPECT_TRUE(OAuthCredential::storeCredential(OAuthCredential("other", "bearer"), "alice", store));
  EXPECT_EQ(OAuthCredential::retrieveCredentialWithIdentifier("Credential", store)->accessToken(), "second");
  EXPECT_EQ(OAuthCredential::retrieveCredentialWithIdentifier("alice", store)->accessToken(), "other");

  EXPECT_TRUE(OAuthCredential::deleteCredentialWithIdentifier("Credential", store));
  EXPECT_FALSE(OAuthCredential::deleteCredentialWithIdentifier("Credential", store));
  EXPECT_EQ(OAuthCredential::retrieveCredentialWithIdentifier("Credential", store), nullptr);
  EXPECT_NE(OAuthCredential::retrieveCredentialWithIdentifier("alice", store), nullptr);
}

TEST(OAuthCredential, AnUnreadableStoredCopyIsReplacedNotReportedAsDuplicate) {
  auto store = InMemorySecureStore::create();
  ASSERT_EQ(store->add({std::string(OAuthCredential::kKeychainService), "Credential", "not an archive"}), errSecSuccess);
  EXPECT_EQ(OAuthCredential::retrieveCredentialWithIdentifier("Credential", store), nullptr);
  EXPECT_TRUE(OAuthCredential::storeCredential(OAuthCredential("fresh", "bearer"), "Credential", store));
  EXPECT_EQ(OAuthCredential::retrieveCredentialWithIdentifier("Credential", store)->accessToken(), "fresh");
}

}  // namespace
}  // namespace dk::platform

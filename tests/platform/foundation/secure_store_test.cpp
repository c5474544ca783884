#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/foundation/file_io.h"
#include "platform/foundation/secure_store.h"
#include "support/temp_directory.h"

namespace dk::platform {
namespace {

// Every case runs against the in-memory store and the file-backed one.
class SecureStoreTest : public ::testing::TestWithParam<bool> {
 protected:
  SecureStoreTest()
      : store_(GetParam() ? SecureStore::createFileBacked(dir_.path() / "keychain.json")
                          : std::static_pointer_cast<SecureStore>(InMemorySecureStore::create())) {}
  test::TemporaryDirectory dir_;
  std::shared_ptr<SecureStore> store_;
};

TEST_P(SecureStoreTest, AddReadUpdateDeleteAnswerKeychainStatuses) {
  SecureStoreQuery query{"kAuthenticationIdentifierKeychainService", "kAuthenticationIdentifierKeychainAccount"};
  std::string data;
  EXPECT_EQ(store_->copyData(query, &data), errSecItemNotFound);
  EXPECT_EQ(store_->update(query, "x"), errSecItemNotFound);
  EXPECT_EQ(store_->remove(query), errSecItemNotFound);

  EXPECT_EQ(store_->add({query.service, *query.account, "client-1", kSecAttrAccessibleAlways}), errSecSuccess);
  EXPECT_EQ(store_->add({query.service, *query.account, "client-2"}), errSecDuplicateItem);
  ASSERT_EQ(store_->copyData(query, &data), errSecSuccess);
  EXPECT_EQ(data, "client-1");

  EXPECT_EQ(store_->update(query, std::string("bin\0ary", 7)), errSecSuccess);
  ASSERT_EQ(store_->copyData(query, &data), errSecSuccess);
  EXPECT_EQ(data, std::string("bin\0ary", 7));

  EXPECT_EQ(store_->remove(query), errSecSuccess);
  EXPECT_EQ(store_->copyData(query, nullptr), errSecItemNotFound);
}

TEST_P(SecureStoreTest, AQueryWithoutAccountMatchesEveryAccountOfItsService) {
  ASSERT_EQ(store_->add({"service", "", "plain"}), errSecSuccess);
  ASSERT_EQ(store_->add({"service", "alice", "a"}), errSecSuccess);
  ASSERT_EQ(store_->add({"other", "", "o"}), errSecSuccess);
  EXPECT_EQ(store_->copyData({"service", std::nullopt}, nullptr), errSecSuccess);
  EXPECT_EQ(store_->remove({"service", std::nullopt}), errSecSuccess);
  EXPECT_EQ(store_->copyData({"service", "alice"}, nullptr), errSecItemNotFound);
  EXPECT_EQ(store_->copyData({"other", std::nullopt}, nullptr), errSecSuccess);
}

TEST_P(SecureStoreTest, ReadCheckWriteUnderTheLockIsAtomicAcrossThreads) {
  ASSERT_EQ(store_->add({"counter", "", "0"}), errSecSuccess);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this] {
      for (int i = 0; i < 10; ++i)
        store_->withLock([&] {
          std::string value;
          store_->copyData({"counter", ""}, &value);
          store_->update({"counter", ""}, std::to_string(std::stoi(value) + 1));
        });
    });
  for (auto& thread : threads) thread.join();
  std::string value;
  ASSERT_EQ(store_->copyData({"counter", ""}, &value), errSecSuccess);
  EXPECT_EQ(value, "40");
}

INSTANTIATE_TEST_SUITE_P(Backends, SecureStoreTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });

TEST(FileSecureStore, ItemsPersistInAPrivateFile) {
  test::TemporaryDirectory dir;
  const auto path = dir.path() / "Keychains" / "keychain.json";
  ASSERT_EQ(SecureStore::createFileBacked(path)->add({"s", "a", "secret"}), errSecSuccess);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(readWholeFile(path)->find("secret"), std::string::npos);  // not stored as plain text

  std::string data;
  EXPECT_EQ(SecureStore::createFileBacked(path)->copyData({"s", "a"}, &data), errSecSuccess);
  EXPECT_EQ(data, "secret");
}

TEST(FileSecureStore, SeesChangesMadeThroughAnotherInstance) {
  test::TemporaryDirectory dir;
  auto first = SecureStore::createFileBacked(dir.path() / "k.json");
  auto second = SecureStore::createFileBacked(dir.path() / "k.json");
  ASSERT_EQ(first->add({"s", "", "1"}), errSecSuccess);
  EXPECT_EQ(second->add({"s", "", "2"}), errSecDuplicateItem);
  EXPECT_EQ(second->remove({"s", std::nullopt}), errSecSuccess);
  EXPECT_EQ(first->copyData({"s", ""}, nullptr), errSecItemNotFound);
}

TEST(FileSecureStore, DamagedFileIsKeptAsideAndTheStoreStartsEmpty) {
  test::TemporaryDirectory dir;
  const auto path = dir.path() / "k.json";
  ASSERT_TRUE(writeFileAtomically(path, "not json", 0600));
  auto store = SecureStore::createFileBacked(path);
  EXPECT_EQ(store->copyData({"s", ""}, nullptr), errSecItemNotFound);
  EXPECT_EQ(store->add({"s", "", "v"}), errSecSuccess);
  auto kept = path;
  kept += ".corrupt-1";
  EXPECT_EQ(readWholeFile(kept), "not json");
}

TEST(FileSecureStore, AFileThatCannotBeReadAnswersErrSecIOAndIsNeverReplaced) {
  test::TemporaryDirectory dir;
  const auto path = dir.path() / "k.json";
  // A directory where the file should be: it exists, and reading it fails (whoever runs the test).
  std::filesystem::create_directories(path / "inside");
  auto store = SecureStore::createFileBacked(path);
  EXPECT_EQ(store->copyData({"s", ""}, nullptr), errSecIO);
  EXPECT_EQ(store->add({"s", "", "v"}), errSecIO);
  EXPECT_EQ(store->remove({"s", std::nullopt}), errSecIO);
  EXPECT_TRUE(std::filesystem::is_directory(path / "inside"));
  auto kept = path;
  kept += ".corrupt-1";
  EXPECT_FALSE(std::filesystem::exists(kept)) << "an unreadable file is not a damaged one";
}

TEST(FileSecureStore, OneDamagedItemIsDroppedAlone) {
  test::TemporaryDirectory dir;
  const auto path = dir.path() / "k.json";
  ASSERT_TRUE(writeFileAtomically(path, R"({"version": 1, "items": [
      {"service": "s", "account": "good", "data": "c2VjcmV0"},
      {"service": "s", "account": "bad", "data": "***not base64***"},
      {"service": "s", "data": "c2VjcmV0"}, 7,
      {"service": "t", "account": "", "data": "b3RoZXI="}]})", 0600));
  auto store = SecureStore::createFileBacked(path);
  std::string data;
  EXPECT_EQ(store->copyData({"s", "good"}, &data), errSecSuccess);
  EXPECT_EQ(data, "secret");
  EXPECT_EQ(store->copyData({"t", ""}, &data), errSecSuccess);
  EXPECT_EQ(data, "other");
  EXPECT_EQ(store->copyData({"s", "bad"}, nullptr), errSecItemNotFound);
}

TEST(FileSecureStore, TemporariesOfAKilledWriterAreRemovedAtTheNextOpen) {
  test::TemporaryDirectory dir;
  const auto path = dir.path() / "k.json";
  ASSERT_EQ(SecureStore::createFileBacked(path)->add({"s", "", "v"}), errSecSuccess);
  // What a writer leaves when it dies between writing its temporary file and renaming it.
  const auto leftover = dir.path() / ".k.json.Ab12Cd";
  ASSERT_TRUE(writeFileAtomically(leftover, "half a secret", 0600));
  const auto unrelated = dir.path() / ".other.json.Ab12Cd";
  ASSERT_TRUE(writeFileAtomically(unrelated, "not ours", 0600));
  auto reopened = SecureStore::createFileBacked(path);
  EXPECT_EQ(reopened->copyData({"s", ""}, nullptr), errSecSuccess);
  EXPECT_FALSE(std::filesystem::exists(leftover));
  EXPECT_TRUE(std::filesystem::exists(unrelated));
}

TEST(InMemorySecureStore, FailedReadsStillShowTheItemExists) {
  auto store = InMemorySecureStore::create();
  ASSERT_EQ(store->add({"s", "", "v"}), errSecSuccess);
  store->failDataReadsWith(errSecInteractionNotAllowed);
  std::string data;
  EXPECT_EQ(store->copyData({"s", ""}, &data), errSecInteractionNotAllowed);
  EXPECT_EQ(store->copyData({"s", ""}, nullptr), errSecSuccess);
}

TEST(SecureStoreShared, TestsCanInstallTheirOwnStore) {
  test::TemporaryHome home;
  auto mine = InMemorySecureStore::create();
  SecureStore::setShared(mine);
  EXPECT_EQ(SecureStore::shared(), mine);
  SecureStore::setShared(nullptr);
  EXPECT_NE(SecureStore::shared(), mine);
}

}  // namespace
}  // namespace dk::platform

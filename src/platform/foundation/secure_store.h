// SecureStore: generic-password items kept apart from ordinary settings (the keychain).
//
// An item is identified by service and account (an empty account when none is given) and holds
// opaque bytes. The operations answer keychain status codes: add refuses an existing item with
// errSecDuplicateItem; update, copy and remove answer errSecItemNotFound when nothing matches. A
// query without account matches every account of its service.
//
// SecureStore::shared() is the process's store: a file in AppDirectories::keychains() (mode 0600,
// replaced atomically and flushed on every change, guarded by one lock per process and an flock
// between processes). A file that exists but cannot be read makes every call answer errSecIO
// (and is never overwritten); an item that does not read is left out alone; temporary files of a
// writer killed mid-write are removed at the first use. Tests install an InMemorySecureStore with
// setShared().
// Thread-safe. Lock (or withLock) makes a read-check-write atomic: the store's own calls made by
// the locking thread join the lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace dk::platform {

using OSStatus = int32_t;
inline constexpr OSStatus errSecSuccess = 0;
inline constexpr OSStatus errSecIO = -36;
inline constexpr OSStatus errSecParam = -50;
inline constexpr OSStatus errSecDuplicateItem = -25299;
inline constexpr OSStatus errSecItemNotFound = -25300;
inline constexpr OSStatus errSecInteractionNotAllowed = -25308;
inline constexpr OSStatus errSecDecode = -26275;

// Accessibility classes (kept with the item; this store is always accessible).
inline constexpr const char* kSecAttrAccessibleAlways = "always";
inline constexpr const char* kSecAttrAccessibleWhenUnlocked = "when-unlocked";

struct SecureStoreQuery {
  std::string service;
  std::optional<std::string> account;  // nullopt: any account
};

struct SecureStoreItem {
  std::string service;
  std::string account;
  std::string data;
  std::string accessible = kSecAttrAccessibleWhenUnlocked;
};

class SecureStore {
 public:
  virtual ~SecureStore() = default;

  static std::shared_ptr<SecureStore> shared();
  // Installs the process's store (nullptr: back to the file-backed default).
  static void setShared(std::shared_ptr<SecureStore> store);
  static std::shared_ptr<SecureStore> createFileBacked(std::filesystem::path path);

  OSStatus add(const SecureStoreItem& item);
  // Replaces the data of every matching item.
  OSStatus update(const SecureStoreQuery& query, const std::string& data);
  // The data of the first matching item into *data (may be null: an existence check).
  OSStatus copyData(const SecureStoreQuery& query, std::string* data);
  // Removes every matching item.
  OSStatus remove(const SecureStoreQuery& query);

  // Holds the store exclusively for a read-check-write. Re-entrant on one thread.
  class Lock {
   public:
    explicit Lock(SecureStore& store);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    // Status of loading the store when the lock was taken (errSecSuccess, or an I/O failure).
    OSStatus status() const { return status_; }

   private:
    SecureStore& store_;
    OSStatus status_;
  };
  template <typename F>
  decltype(auto) withLock(F&& fn) {
    Lock lock(*this);
    return fn();
  }

 protected:
  SecureStore() = default;
  // Called on the outermost lock: load the items (a file store re-reads its file).
  virtual OSStatus beginExclusive(std::vector<SecureStoreItem>& items) = 0;
  virtual void endExclusive() = 0;
  // Called after a change, with the lock held.
  virtual OSStatus persist(const std::vector<SecureStoreItem>& items) = 0;
  // Lets a test store refuse to hand out data (as a locked keychain would).
  virtual OSStatus readFailure() const { return errSecSuccess; }

 private:
  OSStatus enter();
  void leave();
  static bool matches(const SecureStoreItem& item, const SecureStoreQuery& query);

  std::recursive_mutex mutex_;
  int depth_ = 0;           // guarded by mutex_
  OSStatus loadStatus_ = errSecSuccess;
  std::vector<SecureStoreItem> items_;
};

// A store that lives only as long as the object: for tests. It can be told to fail data reads.
class InMemorySecureStore final : public SecureStore {
 public:
  static std::shared_ptr<InMemorySecureStore> create() { return std::shared_ptr<InMemorySecureStore>(new InMemorySecureStore); }
  // Every copyData that asks for data answers `status` (errSecSuccess restores reads).
  void failDataReadsWith(OSStatus status);

 protected:
  OSStatus beginExclusive(std::vector<SecureStoreItem>&) override { return errSecSuccess; }
  void endExclusive() override {}
  OSStatus persist(const std::vector<SecureStoreItem>&) override { return errSecSuccess; }
  OSStatus readFailure() const override;

 private:
  InMemorySecureStore() = default;
  mutable std::mutex failureMutex_;
  OSStatus readFailure_ = errSecSuccess;
};

}  // namespace dk::platform

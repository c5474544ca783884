#include "platform/foundation/secure_store.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <unistd.h>

#include "platform/foundation/app_directories.h"
#include "platform/foundation/base64.h"
#include "platform/foundation/file_io.h"

namespace dk::platform {

// ---- locking and the four operations ----

OSStatus SecureStore::enter() {
  mutex_.lock();
  if (depth_++ == 0) loadStatus_ = beginExclusive(items_);
  return loadStatus_;
}

void SecureStore::leave() {
  if (--depth_ == 0) endExclusive();
  mutex_.unlock();
}

SecureStore::Lock::Lock(SecureStore& store) : store_(store), status_(store.enter()) {}
SecureStore::Lock::~Lock() { store_.leave(); }

bool SecureStore::matches(const SecureStoreItem& item, const SecureStoreQuery& query) {
  return item.service == query.service && (!query.account || item.account == *query.account);
}

OSStatus SecureStore::add(const SecureStoreItem& item) {
  Lock lock(*this);
  if (lock.status() != errSecSuccess) return lock.status();
  SecureStoreQuery key{item.service, item.account};
  if (std::any_of(items_.begin(), items_.end(), [&](const SecureStoreItem& i) { return matches(i, key); }))
    return errSecDuplicateItem;
  items_.push_back(item);
  OSStatus status = persist(items_);
  if (status != errSecSuccess) items_.pop_back();
  return status;
}

OSStatus SecureStore::update(const SecureStoreQuery& query, const std::string& data) {
  Lock lock(*this);
  if (lock.status() != errSecSuccess) return lock.status();
  auto before = items_;
  bool found = false;
  for (auto& item : items_)
    if (matches(item, query)) {
      item.data = data;
      found = true;
    }
  if (!found) return errSecItemNotFound;
  OSStatus status = persist(items_);
  if (status != errSecSuccess) items_ = std::move(before);
  return status;
}

OSStatus SecureStore::copyData(const SecureStoreQuery& query, std::string* data) {
  Lock lock(*this);
  if (lock.status() != errSecSuccess) return lock.status();
  auto it = std::find_if(items_.begin(), items_.end(), [&](const SecureStoreItem& i) { return matches(i, query); });
  if (it == items_.end()) return errSecItemNotFound;
  if (data) {
    if (OSStatus failure = readFailure(); failure != errSecSuccess) return failure;
    *data = it->data;
  }
  return errSecSuccess;
}

OSStatus SecureStore::remove(const SecureStoreQuery& query) {
  Lock lock(*this);
  if (lock.status() != errSecSuccess) return lock.status();
  auto before = items_;
  if (std::erase_if(items_, [&](const SecureStoreItem& i) { return matches(i, query); }) == 0) return errSecItemNotFound;
  OSStatus status = persist(items_);
  if (status != errSecSuccess) items_ = std::move(before);
  return status;
}

// ---- the in-memory store ----

void InMemorySecureStore::failDataReadsWith(OSStatus status) {
  std::lock_guard<std::mutex> lock(failureMutex_);
  readFailure_ = status;
}

OSStatus InMemorySecureStore::readFailure() const {
  std::lock_guard<std::mutex> lock(failureMutex_);
  return readFailure_;
}

// ---- the file-backed store ----

namespace {

class FileSecureStore final : public SecureStore {
 public:
  explicit FileSecureStore(std::filesystem::path path) : path_(std::move(path)) {}

 protected:
  OSStatus beginExclusive(std::vector<SecureStoreItem>& items) override {
    std::filesystem::path lockPath = path_;
    lockPath += ".lock";
    std::error_code ec;
    std::filesystem::create_directories(path_.parent_path(), ec);
    lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) return errSecIO;
    while (::flock(lockFd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(lockFd_);
        lockFd_ = -1;
        return errSecIO;
      }
    }
    // Under the lock no writer of this store is running: a temporary file beside it is what a
    // writer left when it was killed between writing and renaming.
    if (!cleanedTemporaries_) {
      removeLeftoverTemporaries();
      cleanedTemporaries_ = true;
    }
    // Another process may have changed the file since we last looked: read it anew.
    items.clear();
    const bool exists = std::filesystem::exists(path_, ec);
    if (ec) return errSecIO;
    if (!exists) return errSecSuccess;
    // A file that is there but cannot be read answers errSecIO to every call, and is therefore
    // never replaced by a write that would lose what it holds.
    auto text = readWholeFile(path_);
    if (!text) {
      std::fprintf(stderr, "SecureStore: cannot read %s\n", path_.c_str());
      return errSecIO;
    }
    size_t dropped = 0;
    if (!parse(*text, items, dropped)) {
      items.clear();
      auto moved = quarantineFile(path_);
      std::fprintf(stderr, "SecureStore: %s is damaged; moved to %s, starting empty\n", path_.c_str(), moved.c_str());
    } else if (dropped > 0) {
      std::fprintf(stderr, "SecureStore: %zu damaged item(s) in %s ignored\n", dropped, path_.c_str());
    }
    return errSecSuccess;
  }

  void endExclusive() override {
    if (lockFd_ >= 0) {
      ::flock(lockFd_, LOCK_UN);
      ::close(lockFd_);
      lockFd_ = -1;
    }
  }

  OSStatus persist(const std::vector<SecureStoreItem>& items) override {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& item : items)
      list.push_back({{"service", item.service},
                      {"account", item.account},
                      {"accessible", item.accessible},
                      {"data", base64Encode(item.data)}});
    nlohmann::json root = {{"version", 1}, {"items", std::move(list)}};
    std::string error;
    if (!writeFileAtomically(path_, root.dump(2), 0600, true, &error)) {
      std::fprintf(stderr, "SecureStore: %s\n", error.c_str());
      return errSecIO;
    }
    return errSecSuccess;
  }

 private:
  void removeLeftoverTemporaries() const {
    // writeFileAtomically's temporaries: "." + the file name + "." + six characters.
    const std::string prefix = "." + path_.filename().string() + ".";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_.parent_path(), ec)) {
      const std::string name = entry.path().filename().string();
      if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
        std::error_code ignored;
        std::filesystem::remove(entry.path(), ignored);
      }
    }
  }

  // False when the file as a whole is not a store; an item that does not read is left out alone
  // and counted in `dropped`.
  static bool parse(const std::string& text, std::vector<SecureStoreItem>& items, size_t& dropped) {
    auto root = nlohmann::json::parse(text, nullptr, false);
    if (!root.is_object() || !root.contains("items") || !root["items"].is_array()) return false;
    for (const auto& entry : root["items"]) {
      if (!entry.is_object()) {
        dropped++;
        continue;
      }
      auto field = [&](const char* name) -> std::optional<std::string> {
        auto it = entry.find(name);
        if (it == entry.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
      };
      auto service = field("service"), account = field("account"), data = field("data");
      auto bytes = data ? base64Decode(*data) : std::nullopt;
      if (!service || !account || !bytes) {
        dropped++;
        continue;
      }
      items.push_back({*service, *account, std::move(*bytes), field("accessible").value_or(kSecAttrAccessibleWhenUnlocked)});
    }
    return true;
  }

  const std::filesystem::path path_;
  int lockFd_ = -1;                  // guarded by the base's lock
  bool cleanedTemporaries_ = false;  // guarded by the base's lock
};

struct SharedStore {
  std::mutex mutex;
  std::shared_ptr<SecureStore> store;
};

SharedStore& sharedStore() {
  static SharedStore* s = new SharedStore;
  return *s;
}

}  // namespace

std::shared_ptr<SecureStore> SecureStore::createFileBacked(std::filesystem::path path) {
  return std::make_shared<FileSecureStore>(std::move(path));
}

std::shared_ptr<SecureStore> SecureStore::shared() {
  auto& s = sharedStore();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.store) s.store = createFileBacked(AppDirectories::keychains() / "keychain.json");
  return s.store;
}

void SecureStore::setShared(std::shared_ptr<SecureStore> store) {
  auto& s = sharedStore();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.store = std::move(store);
}

}  // namespace dk::platform

#include "foundation/kl_authentication_identifier.h"

#include <cstdint>

namespace dk {

using platform::SecureStore;

bool isValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    size_t length;
    uint32_t code;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xe0) == 0xc0) {
      length = 2, code = c & 0x1f;
    } else if ((c & 0xf0) == 0xe0) {
      length = 3, code = c & 0x0f;
    } else if ((c & 0xf8) == 0xf0) {
      length = 4, code = c & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xc0) != 0x80) return false;
      code = (code << 6) | (next & 0x3f);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
    i += length;
  }
  return true;
}

const platform::SecureStoreQuery& KLAuthenticationIdentifier::keychainQuery() {
  static const auto* query = new platform::SecureStoreQuery{std::string(kAuthenticationIdentifierKeychainService),
                                                            std::string(kAuthenticationIdentifierKeychainAccount)};
  return *query;
}

std::optional<std::string> KLAuthenticationIdentifier::getAuthenticationIdentifier() {
  std::string data;
  if (SecureStore::shared()->copyData(keychainQuery(), &data) != platform::errSecSuccess) return std::nullopt;
  if (!isValidUtf8(data)) return std::nullopt;
  return data;
}

bool KLAuthenticationIdentifier::saveAuthenticationIdentifier(std::string_view identifier) {
  auto store = SecureStore::shared();
  const auto& query = keychainQuery();
  return store->withLock([&] {
    std::string stored;
    const platform::OSStatus read = store->copyData(query, &stored);
    if (read == platform::errSecSuccess) {
      if (isValidUtf8(stored)) return true;
      // A stored value that is not text identifies nobody: put the new identifier in its place.
      return store->update(query, std::string(identifier)) == platform::errSecSuccess;
    }
    if (read != platform::errSecItemNotFound) return false;
    return store->add({query.service, *query.account, std::string(identifier), platform::kSecAttrAccessibleAlways}) ==
           platform::errSecSuccess;
  });
}

bool KLAuthenticationIdentifier::deleteAuthenticationIdentifier() {
  return SecureStore::shared()->remove(keychainQuery()) == platform::errSecSuccess;
}

}  // namespace dk

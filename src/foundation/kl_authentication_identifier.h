// KLAuthenticationIdentifier: the OAuth client identifier kept in the secure store across
// launches (service "kAuthenticationIdentifierKeychainService", account
// "kAuthenticationIdentifierKeychainAccount", UTF-8 text, always accessible).
//
// A stored identifier is never replaced by a save. Class functions over SecureStore::shared();
// thread-safe, each save one read-check-write under the store's lock.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/secure_store.h"

namespace dk {

inline constexpr std::string_view kAuthenticationIdentifierKeychainService = "kAuthenticationIdentifierKeychainService";
inline constexpr std::string_view kAuthenticationIdentifierKeychainAccount = "kAuthenticationIdentifierKeychainAccount";

class KLAuthenticationIdentifier {
 public:
  KLAuthenticationIdentifier() = delete;

  static const platform::SecureStoreQuery& keychainQuery();
  // The stored identifier; nullopt when there is none or it is not valid UTF-8 text.
  static std::optional<std::string> getAuthenticationIdentifier();
  // Keeps a readable stored identifier and answers true. Otherwise writes `identifier`: added
  // when no item exists, put in place of a stored value that is not text. When the store refuses
  // to hand out the stored value, it is left alone and the answer is false.
  static bool saveAuthenticationIdentifier(std::string_view identifier);
  // True when an item was deleted.
  static bool deleteAuthenticationIdentifier();
};

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace dk

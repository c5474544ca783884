#include "token_store.h"

#include <cstdio>

namespace dk::cloudsim::detail {

std::string TokenStore::newToken() {
  char text[40];
  std::snprintf(text, sizeof text, "%016llx%016llx",
                static_cast<unsigned long long>(random_()),
                static_cast<unsigned long long>(random_()));
  // UUID layout, as the cloud's tokens look.
  std::string t(text);
  return t.substr(0, 8) + "-" + t.substr(8, 4) + "-" + t.substr(12, 4) + "-" + t.substr(16, 4) +
         "-" + t.substr(20, 12);
}

TokenGrant TokenStore::issue(bool withRefreshToken) {
  std::lock_guard lock(mutex_);
  TokenGrant grant;
  grant.accessToken = newToken();
  access_[grant.accessToken] = Access{};
  if (withRefreshToken) {
    grant.refreshToken = newToken();
    refresh_[grant.refreshToken] = true;
  }
  return grant;
}

bool TokenStore::use(const std::string& accessToken) {
  std::lock_guard lock(mutex_);
  auto it = access_.find(accessToken);
  if (it == access_.end() || it->second.revoked) return false;
  if (it->second.usesLeft == 0) return false;
  if (it->second.usesLeft > 0) --it->second.usesLeft;
  return true;
}

bool TokenStore::isValid(const std::string& accessToken) const {
  std::lock_guard lock(mutex_);
  auto it = access_.find(accessToken);
  return it != access_.end() && !it->second.revoked && it->second.usesLeft != 0;
}

void TokenStore::revoke(const std::string& accessToken) {
  std::lock_guard lock(mutex_);
  auto it = access_.find(accessToken);
  if (it != access_.end()) it->second.revoked = true;
}

void TokenStore::expireAfter(const std::string& accessToken, int requests) {
  std::lock_guard lock(mutex_);
  auto it = access_.find(accessToken);
  if (it != access_.end()) it->second.usesLeft = requests < 0 ? 0 : requests;
}

std::optional<TokenGrant> TokenStore::refresh(const std::string& refreshToken) {
  {
    std::lock_guard lock(mutex_);
    auto it = refresh_.find(refreshToken);
    if (it == refresh_.end() || !it->second) return std::nullopt;
    it->second = false;
  }
  return issue(true);
}

}  // namespace dk::cloudsim::detail

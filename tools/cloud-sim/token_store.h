// The OAuth2 tokens the simulated cloud has issued, with scripted expiry and rotation.
//
// Thread-safe.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>

#include "cloud-sim/cloud_sim.h"

namespace dk::cloudsim::detail {

class TokenStore {
 public:
  TokenGrant issue(bool withRefreshToken);
  // Checks a bearer token and counts one use against a scripted expiry.
  bool use(const std::string& accessToken);
  bool isValid(const std::string& accessToken) const;
  void revoke(const std::string& accessToken);
  void expireAfter(const std::string& accessToken, int requests);
  // A refresh grant: the refresh token is spent and a new pair issued. Nothing when the
  // refresh token is unknown or spent.
  std::optional<TokenGrant> refresh(const std::string& refreshToken);

 private:
  struct Access {
    bool revoked = false;
    int usesLeft = -1;  // -1: unlimited
  };
  std::string newToken();

  mutable std::mutex mutex_;
  std::mt19937_64 random_{std::random_device{}()};
  std::map<std::string, Access> access_;
  std::map<std::string, bool> refresh_;  // token -> still usable
};

}  // namespace dk::cloudsim::detail

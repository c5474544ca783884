// The archived credential kept in the secure store: any bytes unarchive without fault, and a
// credential that unarchives archives back to one with the same fields.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/net/oauth_credential.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using dk::platform::OAuthCredential;
  auto credential = OAuthCredential::unarchive(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!credential) return 0;
  (void)credential->isExpired();
  auto again = OAuthCredential::unarchive(credential->archivedData());
  if (!again || again->accessToken() != credential->accessToken() || again->tokenType() != credential->tokenType() ||
      again->refreshToken() != credential->refreshToken() || again->expiration() != credential->expiration()) {
    std::abort();
  }
  return 0;
}

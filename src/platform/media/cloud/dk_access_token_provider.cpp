#include "platform/media/cloud/dk_access_token_provider.h"

#include <mutex>

namespace dk::platform {
namespace {
std::mutex& providerMutex() {
  static std::mutex mutex;
  return mutex;
}
std::weak_ptr<DKAccessTokenProviderDelegate>& providerDelegate() {
  static std::weak_ptr<DKAccessTokenProviderDelegate> delegate;
  return delegate;
}
}  // namespace

void DKAccessTokenProvider::setDelegate(std::weak_ptr<DKAccessTokenProviderDelegate> delegate) {
  std::lock_guard lock(providerMutex());
  providerDelegate() = std::move(delegate);
}

std::shared_ptr<DKAccessTokenProviderDelegate> DKAccessTokenProvider::delegate() {
  std::lock_guard lock(providerMutex());
  return providerDelegate().lock();
}

std::string DKAccessTokenProvider::accessToken() {
  auto current = delegate();  // asked outside the lock: the delegate may read the keychain
  return current ? current->accessToken() : "undefined";
}

}  // namespace dk::platform

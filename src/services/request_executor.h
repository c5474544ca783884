// RequestExecutor: what the service managers need of the request executor — send a request,
// refresh the OAuth token, ask whether a call is running. The process-wide executor is the
// shared KLRequestManager; tests install their own through KLServicesManager::setRequestExecutor.
//
// Implementations are called from any thread and must be thread-safe. requestWithRequest calls its
// completion exactly once; the refresh calls exactly one of its two callbacks.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "network/kl_request.h"
#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/net/oauth_credential.h"

namespace dk {

class RequestExecutor {
 public:
  using CredentialBlock = std::function<void(const platform::OAuthCredentialPtr& credential)>;
  using ErrorBlock = std::function<void(const platform::ErrorPtr& error)>;

  virtual ~RequestExecutor() = default;

  virtual void requestWithRequest(const std::shared_ptr<KLRequest>& request, RequestCompletion completion) = 0;
  virtual void refreshTokenWithSuccessBlock(CredentialBlock success, ErrorBlock error) = 0;
  virtual void isMethodInProgress(const std::string& pathFragment, std::function<void(bool)> completion) = 0;
};

class KLRequestManager;

// The shared request manager seen as an executor (the shared instance is looked up at each call).
std::shared_ptr<RequestExecutor> sharedRequestManagerExecutor();
// One given request manager seen as an executor (a host or test that runs its own).
std::shared_ptr<RequestExecutor> executorForRequestManager(std::shared_ptr<KLRequestManager> manager);

}  // namespace dk

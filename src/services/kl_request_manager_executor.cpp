// The shared request manager as the service managers' executor.
#include "network/kl_request_manager.h"
#include "services/kl_request_executor.h"

namespace dk {
namespace {

class SharedRequestManagerExecutor final : public KLRequestExecutor {
 public:
  // The shared instance is looked up at each call: a reset (logout) takes effect at once.
  void requestWithRequest(const std::shared_ptr<KLRequest>& request, KLRequestCompletion completion) override {
    KLRequestManager::sharedInstance()->requestWithRequest(request, std::move(completion));
  }
  void refreshTokenWithSuccessBlock(CredentialBlock success, ErrorBlock error) override {
    KLRequestManager::sharedInstance()->refreshTokenWithSuccessBlock(std::move(success), std::move(error));
  }
  void isMethodInProgress(const std::string& pathFragment, std::function<void(bool)> completion) override {
    KLRequestManager::sharedInstance()->isMethodInProgress(pathFragment, std::move(completion));
  }
};

}  // namespace

std::shared_ptr<KLRequestExecutor> sharedRequestManagerExecutor() {
  static const auto executor = std::make_shared<SharedRequestManagerExecutor>();
  return executor;
}

}  // namespace dk

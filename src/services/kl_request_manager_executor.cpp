// Request managers as the service managers' executor.
#include "network/kl_request_manager.h"
#include "services/request_executor.h"

namespace dk {
namespace {

class RequestManagerExecutor final : public RequestExecutor {
 public:
  // Without a manager of its own, the shared instance is looked up at each call, so a reset
  // (logout) takes effect at once.
  explicit RequestManagerExecutor(std::shared_ptr<KLRequestManager> manager) : manager_(std::move(manager)) {}

  void requestWithRequest(const std::shared_ptr<KLRequest>& request, RequestCompletion completion) override {
    manager()->requestWithRequest(request, std::move(completion));
  }
  void refreshTokenWithSuccessBlock(CredentialBlock success, ErrorBlock error) override {
    manager()->refreshTokenWithSuccessBlock(std::move(success), std::move(error));
  }
  void isMethodInProgress(const std::string& pathFragment, std::function<void(bool)> completion) override {
    manager()->isMethodInProgress(pathFragment, std::move(completion));
  }

 private:
  std::shared_ptr<KLRequestManager> manager() const {
    return manager_ ? manager_ : KLRequestManager::sharedInstance();
  }
  const std::shared_ptr<KLRequestManager> manager_;
};

}  // namespace

std::shared_ptr<RequestExecutor> sharedRequestManagerExecutor() {
  static const auto executor = std::make_shared<RequestManagerExecutor>(nullptr);
  return executor;
}

std::shared_ptr<RequestExecutor> executorForRequestManager(std::shared_ptr<KLRequestManager> manager) {
  return std::make_shared<RequestManagerExecutor>(std::move(manager));
}

}  // namespace dk

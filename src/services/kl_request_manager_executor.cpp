// The process-wide executor of the service managers until the shared request manager is wired in:
// every call fails at once with a clear error instead of hanging.
#include "services/kl_services_manager.h"

namespace dk {
namespace {

class UnavailableExecutor final : public KLRequestExecutor {
 public:
  void requestWithRequest(const std::shared_ptr<KLRequest>&, KLRequestCompletion completion) override {
    if (completion) platform::runOnMain([completion] { completion(Value(), unavailable()); });
  }
  void refreshTokenWithSuccessBlock(CredentialBlock, ErrorBlock error) override {
    if (error) platform::runOnMain([error] { error(unavailable()); });
  }
  void isMethodInProgress(const std::string&, std::function<void(bool)> completion) override {
    if (completion) completion(false);
  }

 private:
  using Value = platform::Value;
  static platform::ErrorPtr unavailable() {
    return platform::Error::make(std::string(platform::kURLErrorDomain), platform::kURLErrorUnknown,
                                 "No request executor is available.");
  }
};

}  // namespace

std::shared_ptr<KLRequestExecutor> sharedRequestManagerExecutor() {
  static const auto executor = std::make_shared<UnavailableExecutor>();
  return executor;
}

}  // namespace dk

#include "services/kl_services_manager.h"

#include <atomic>

#include "network/kl_single_requests.h"
#include "platform/dispatch/guarded.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/notification_center.h"

namespace dk {

using platform::ErrorPtr;
using platform::Value;

namespace {

platform::Guarded<std::shared_ptr<RequestExecutor>>& installedExecutor() {
  static auto* executor = new platform::Guarded<std::shared_ptr<RequestExecutor>>();
  return *executor;
}

// The executor's completion, called at most once: a second report of the same call is dropped so
// that the caller's callbacks still run exactly once.
RequestCompletion onlyOnce(RequestCompletion completion) {
  auto called = std::make_shared<std::atomic<bool>>(false);
  return [called, completion = std::move(completion)](const Value& result, const ErrorPtr& error) {
    if (called->exchange(true)) return;
    completion(result, error);
  };
}

}  // namespace

KLServicesManager::KLServicesManager(std::string className)
    : className_(std::move(className)),
      serviceQueue_(platform::DispatchQueue::createSerial("com.kelo.service." + className_)),
      parserQueue_(platform::DispatchQueue::createConcurrent("com.kelo.parser")) {}

KLServicesManager::~KLServicesManager() {
  platform::NotificationCenter::defaultCenter().removeObserver(static_cast<const platform::Object*>(this));
}

void KLServicesManager::requestWithRequestObject(std::shared_ptr<KLRequest> request, platform::ModelPtr mergeResponse,
                                                 RequestCompletion block) {
  if (!request) {
    if (block) {
      parserQueue_->async([block = std::move(block)] {
        auto error = platform::Error::make(std::string(platform::kURLErrorDomain), platform::kURLErrorBadURL,
                                           "unsupported URL");
        block(resultFromError(error), error);
      });
    }
    return;
  }
  // Posted work holds the queues and the request, not the manager: a reply that arrives after the
  // manager is gone is still merged and reported to the caller's block.
  platform::QueuePtr parser = parserQueue_;
  serviceQueue_->async([request = std::move(request), mergeResponse = std::move(mergeResponse),
                        block = std::move(block), parser]() mutable {
    auto completion = [request, mergeResponse, block, parser](const Value& response, const ErrorPtr& error) {
      parser->async([request, mergeResponse, block, response, error] {
        if (!block) return;
        Value result = request->block()(response, error, mergeResponse);
        block(result, error);
      });
    };
    requestExecutor()->requestWithRequest(request, onlyOnce(std::move(completion)));
  });
}

KLServicesManager::GenericBlock KLServicesManager::defaultGenericBlock() {
  return [](const Value& result, const ErrorPtr& error, const SuccessBlock& successBlock,
            const ErrorBlock& errorBlock) {
    platform::runOnMain([result, error, successBlock, errorBlock] {
      ErrorPtr failure = error ? error : errorFromResult(result);
      if (failure) {
        if (errorBlock) errorBlock(failure);
      } else if (successBlock) {
        successBlock(result);
      }
    });
  };
}

KLServicesManager::GenericBlock KLServicesManager::genericBlock() const {
  std::lock_guard<std::mutex> lock(genericBlockMutex_);
  if (!genericBlock_) genericBlock_ = defaultGenericBlock();
  return genericBlock_;
}

void KLServicesManager::setGenericBlock(GenericBlock block) {
  std::lock_guard<std::mutex> lock(genericBlockMutex_);
  genericBlock_ = std::move(block);
}

void KLServicesManager::isMethodInProgress(const std::string& pathFragment, std::function<void(bool)> completion) {
  requestExecutor()->isMethodInProgress(pathFragment, std::move(completion));
}

void KLServicesManager::refreshTokenSuccessBlock(RequestExecutor::CredentialBlock success, ErrorBlock error) {
  requestExecutor()->refreshTokenWithSuccessBlock(
      [success = std::move(success)](const platform::OAuthCredentialPtr& credential) {
        platform::runOnMain([success, credential] {
          platform::NotificationCenter::defaultCenter().post(kGetUserNotification);
          if (success) success(credential);
        });
      },
      [error = std::move(error)](const ErrorPtr& failure) {
        platform::runOnMain([error, failure] {
          if (error) error(failure);
        });
      });
}

void KLServicesManager::pingRequestWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  auto report = defaultGenericBlock();
  requestExecutor()->requestWithRequest(
      std::make_shared<KLPingRequest>(),
      onlyOnce([report, success = std::move(success), error = std::move(error)](const Value& result,
                                                                                 const ErrorPtr& failure) {
        report(result, failure, success, error);
      }));
}

std::shared_ptr<RequestExecutor> KLServicesManager::requestExecutor() {
  auto installed = installedExecutor().get();
  return installed ? installed : sharedRequestManagerExecutor();
}

void KLServicesManager::setRequestExecutor(std::shared_ptr<RequestExecutor> executor) {
  installedExecutor().set(std::move(executor));
}

}  // namespace dk

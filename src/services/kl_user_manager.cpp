#include "services/kl_user_manager.h"

#include "network/kl_single_requests.h"

namespace dk {

using platform::ErrorPtr;
using platform::Value;

namespace {

// The rights reply has no model class of its own, so the executor hands on the raw dictionary,
// which a model merge ignores. It is mapped with the rights model's key map first, then merged.
class KLMappedUserRightsRequest : public KLUserRightsRequest {
 public:
  RequestMergeBlock block() const override {
    return [](const Value& response, const ErrorPtr& error, const platform::ModelPtr& target) -> Value {
      if (error) return resultFromError(error);
      auto reply = response.objectAs<KLUserRightsResponse>();
      if (!reply && response.isDictionary()) {
        platform::ErrorPtr mappingError;
        reply = platform::modelFromJSON<KLUserRightsResponse>(response, &mappingError);
        if (!reply) return resultFromError(mappingError);
      }
      if (!reply) {
        return resultFromError(platform::Error::make(std::string(platform::kURLErrorDomain),
                                                     platform::kURLErrorCannotParseResponse,
                                                     "The rights reply is not a dictionary."));
      }
      if (!target) return Value(reply);
      // Reading the reply's bit set first makes it carry the reply's flags when copied over.
      reply->rights();
      target->mergeValuesForKeysFromModel(Value(reply));
      return Value(target);
    };
  }
};

}  // namespace

KLUserManager::KLUserManager(std::string className) : KLServicesManager(std::move(className)) {}

void KLUserManager::getUserBasicInfoWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  auto report = genericBlock();
  requestWithRequestObject(std::make_shared<KLUserRequest>(), user_,
                           [report, success = std::move(success), error = std::move(error)](
                               const Value& result, const ErrorPtr& failure) {
                             // The reply is merged into the held model by now; only the report is left.
                             report(result, failure, success, error);
                           });
}

void KLUserManager::getUserDetailedInfoWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  auto report = genericBlock();
  requestWithRequestObject(std::make_shared<KLUserDetailsRequest>(), user_,
                           [report, success = std::move(success), error = std::move(error)](
                               const Value& result, const ErrorPtr& failure) {
                             // The reply is merged into the held model by now; only the report is left.
                             report(result, failure, success, error);
                           });
}

void KLUserManager::getUserRightsWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  auto report = genericBlock();
  requestWithRequestObject(std::make_shared<KLMappedUserRightsRequest>(), userRights_,
                           [report, success = std::move(success), error = std::move(error)](
                               const Value& result, const ErrorPtr& failure) {
                             // The reply is merged into the held model by now; only the report is left.
                             report(result, failure, success, error);
                           });
}

void KLUserManager::getCurrentlyLoggedInUserWithSuccessBlock(SuccessBlock success, ErrorBlock) {
  // The details follow whatever the basic request did; the caller hears the second outcome, an
  // error object included, through its success block.
  std::weak_ptr<KLUserManager> weak = std::static_pointer_cast<KLUserManager>(shared_from_this());
  auto details = [weak, success](auto&&...) {
    auto self = weak.lock();
    if (!self) return;
    self->getUserDetailedInfoWithSuccessBlock(
        [success](const Value& user) {
          if (success) success(user);
        },
        [success](const ErrorPtr& failure) {
          if (success) success(resultFromError(failure));
        });
  };
  getUserBasicInfoWithSuccessBlock([details](const Value&) { details(); }, [details](const ErrorPtr&) { details(); });
}

}  // namespace dk

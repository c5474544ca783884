// KLServicesManager: the base of the domain managers (cameras, events, recordings, users, live
// feed). Each manager starts its calls on its own serial queue "com.kelo.service.<class name>",
// merges replies on its own concurrent parser queue, and reports to its callers through a pair of
// callbacks of which exactly one runs, on the main thread.
//
// Owned by the data manager (shared_ptr); subclasses pass their class name to the constructor so
// that each has a distinct queue label. Every operation may be called from any thread; callbacks
// handed to callers run on the main thread, merge callbacks on the parser queue.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "network/kl_request.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/object.h"
#include "services/request_executor.h"

namespace dk {

// Posted when a token refresh succeeded (the user is to be reloaded).
inline constexpr char kGetUserNotification[] = "kGetUserNotification";

class KLServicesManager : public platform::Object {
 public:
  using SuccessBlock = std::function<void(const platform::Value& result)>;
  using ErrorBlock = std::function<void(const platform::ErrorPtr& error)>;
  // (result, error, successBlock, errorBlock): reports one outcome to one of the two callbacks.
  using GenericBlock = std::function<void(const platform::Value& result, const platform::ErrorPtr& error,
                                          const SuccessBlock& successBlock, const ErrorBlock& errorBlock)>;

  KLServicesManager() : KLServicesManager("KLServicesManager") {}
  ~KLServicesManager() override;

  std::string className() const override { return className_; }
  const platform::QueuePtr& serviceQueue() const { return serviceQueue_; }
  const platform::QueuePtr& parserQueue() const { return parserQueue_; }

  // Sends `request` from the service queue and, on the parser queue, merges the reply with the
  // request's merge callback into `mergeResponse` (a cached model, or nil for a new one), then
  // calls `block` with (merged result, error) on the parser queue. Returns at once. A nil block
  // still sends the request; the reply is dropped. A nil request reports a bad-URL error.
  void requestWithRequestObject(std::shared_ptr<KLRequest> request, platform::ModelPtr mergeResponse,
                                RequestCompletion block);

  // Runs `block` at once on the calling thread (managers wrap their cache updates in it); an empty
  // block does nothing.
  void runCompletionBlock(const std::function<void()>& block) {
    if (block) block();
  }

  // The reporting function: on the main thread (synchronously when already there), an error goes
  // to errorBlock, a result that is itself an error object goes to errorBlock, anything else (nil
  // included) to successBlock. Missing callbacks are skipped.
  GenericBlock genericBlock() const;
  void setGenericBlock(GenericBlock block);
  static GenericBlock defaultGenericBlock();

  // Whether a call whose URL contains `pathFragment` is running (forwarded to the executor).
  void isMethodInProgress(const std::string& pathFragment, std::function<void(bool)> completion);

  // Refreshes the OAuth token; on success posts kGetUserNotification, then calls success with the
  // new credential. Both callbacks run on the main thread.
  void refreshTokenSuccessBlock(RequestExecutor::CredentialBlock success, ErrorBlock error);

  // Pings the cloud straight through the executor (no service queue, no merge), reported as
  // genericBlock reports.
  static void pingRequestWithSuccessBlock(SuccessBlock success, ErrorBlock error);

  // The executor every manager sends through: the one installed, else the shared request manager.
  static std::shared_ptr<RequestExecutor> requestExecutor();
  // Installs an executor for the whole process (tests); nullptr restores the shared one.
  static void setRequestExecutor(std::shared_ptr<RequestExecutor> executor);

 protected:
  explicit KLServicesManager(std::string className);

 private:
  std::string className_;
  platform::QueuePtr serviceQueue_;
  platform::QueuePtr parserQueue_;
  mutable std::mutex genericBlockMutex_;
  mutable GenericBlock genericBlock_;
};

}  // namespace dk

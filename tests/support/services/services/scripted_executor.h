// A request executor for the managers' unit tests: it records every request and answers each
// from a script (a JSON body mapped as the real executor maps it, with optional reply headers, or
// an error), or parks it until the test answers by hand. Answers arrive from a worker thread, as
// the real executor's do. Thread-safe.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "network/kl_request.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/model.h"
#include "services/request_executor.h"

namespace dk::test {

struct ScriptedReply {
  std::string json;                 // the body; empty with `error` set
  std::string link;                 // a "Link" reply header, when not empty
  platform::ErrorPtr error;         // a failed call
  bool park = false;                // keep the call until answerParked()

  static ScriptedReply body(std::string json, std::string link = {}) { return {std::move(json), std::move(link), nullptr}; }
  static ScriptedReply failure(int64_t status) {
    return {{}, {}, platform::Error::make("NSURLErrorDomain", -1011, "Request failed: " + std::to_string(status))};
  }
  static ScriptedReply parked() { return {{}, {}, nullptr, true}; }
};

class ScriptedExecutor : public RequestExecutor {
 public:
  using Script = std::function<ScriptedReply(const KLRequest& request, size_t index)>;

  explicit ScriptedExecutor(Script script = {}) : script_(std::move(script)) {}

  void setScript(Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(script);
  }

  void requestWithRequest(const std::shared_ptr<KLRequest>& request, RequestCompletion completion) override {
    ScriptedReply reply;
    size_t index = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = requests_.size();
      requests_.push_back(request);
      reply = script_ ? script_(*request, index) : ScriptedReply::parked();
      if (reply.park) {
        parked_.push_back({request, std::move(completion)});
        return;
      }
    }
    answer(request, std::move(completion), reply);
  }
  void refreshTokenWithSuccessBlock(CredentialBlock, ErrorBlock error) override {
    error(platform::Error::make("DKErrorDomain", 101002, "Request failed: unable to retrieve refresh token (101002)"));
  }
  void isMethodInProgress(const std::string&, std::function<void(bool)> completion) override { completion(false); }

  std::vector<std::shared_ptr<KLRequest>> requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  size_t count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
  }
  // The query or body parameter `name` of request i, as text ("" when absent).
  std::string parameter(size_t i, const std::string& name) const {
    platform::Value value = requests().at(i)->parameters()[name];
    return value.isString() ? value.stringValue() : value.isNil() ? std::string() : value.description();
  }
  // Answers the calls parked so far with `reply`; returns how many.
  size_t answerParked(const ScriptedReply& reply) {
    std::vector<Parked> parked;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      parked.swap(parked_);
    }
    for (auto& p : parked) answer(p.request, std::move(p.completion), reply);
    return parked.size();
  }

  // Answers the call parked `i`-th among those still parked, with the reply `script` gives for
  // it; false when there is none.
  bool answerParked(size_t i, const std::function<ScriptedReply(const KLRequest&)>& script) {
    Parked parked;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (i >= parked_.size()) return false;
      parked = std::move(parked_[i]);
      parked_.erase(parked_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    answer(parked.request, std::move(parked.completion), script(*parked.request));
    return true;
  }

  // The reply mapped as the executor maps it: the body under the request's root key, the reply
  // headers under "responseHeader" when the request asks for them, then the model class.
  static platform::Value mapped(const KLRequest& request, const ScriptedReply& reply) {
    platform::Value body = platform::Value::parseJSON(reply.json, true);
    const platform::ClassInfo* cls = request.modelClass();
    if (!cls) return body;
    platform::ValueDictionary wrapped;
    if (!request.rootKey().empty()) {
      wrapped.emplace(std::string(request.rootKey()), body);
    } else if (body.isDictionary()) {
      wrapped = body.dictionaryValue();
    }
    if (request.shouldAppendResponseHeader()) {
      platform::ValueDictionary headers;
      if (!reply.link.empty()) headers.emplace("Link", platform::Value(reply.link));
      wrapped.insert_or_assign("responseHeader", platform::Value(std::move(headers)));
    }
    return platform::Value(platform::modelFromJSON(*cls, platform::Value(std::move(wrapped))));
  }

 private:
  struct Parked {
    std::shared_ptr<KLRequest> request;
    RequestCompletion completion;
  };

  static void answer(const std::shared_ptr<KLRequest>& request, RequestCompletion completion,
                     const ScriptedReply& reply) {
    platform::DispatchQueue::global()->async([request, completion = std::move(completion), reply] {
      if (reply.error) {
        completion(platform::Value(), reply.error);
      } else {
        completion(mapped(*request, reply), nullptr);
      }
    });
  }

  mutable std::mutex mutex_;
  Script script_;
  std::vector<std::shared_ptr<KLRequest>> requests_;
  std::vector<Parked> parked_;
};

}  // namespace dk::test

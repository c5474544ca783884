// Shared set-up of the request executor's tests: a local cloud on loopback, an in-memory keychain,
// an executor pointed at the cloud, and a recorder for completions.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cloud-sim/cloud_sim.h"
#include "network/kl_oauth2_manager.h"
#include "network/kl_request_manager.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/model.h"
#include "platform/foundation/secure_store.h"
#include "platform/net/oauth_credential.h"

namespace dk::test {

// What one call reported. Written on the completing thread, read on the main thread after the
// run loop went idle.
struct Outcome {
  mutable std::mutex mutex;
  int calls = 0;
  bool onMain = false;
  std::string queueLabel;
  platform::Value result;
  platform::ErrorPtr error;

  RequestCompletion recorder() {
    return [this](const platform::Value& result, const platform::ErrorPtr& error) {
      std::lock_guard<std::mutex> lock(mutex);
      calls++;
      onMain = platform::isMainThread();
      auto* queue = platform::DispatchQueue::current();
      queueLabel = queue ? queue->label() : "";
      this->result = result;
      this->error = error;
    };
  }
  int count() const {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
  }
  int64_t errorCode() const {
    std::lock_guard<std::mutex> lock(mutex);
    return error ? error->code() : 0;
  }
};

// A model that keeps whatever its JSON holds under a few keys, to see how replies are wrapped.
class WrappedReply final : public platform::Model {
 public:
  static const platform::ClassInfo& staticClassInfo() {
    static const platform::ClassInfo info(
        "WrappedReply", nullptr, [] { return std::make_shared<WrappedReply>(); },
        {platform::property("cameraMode", &WrappedReply::cameraMode, {"cameraMode"}),
         platform::property("recordings", &WrappedReply::recordings, {"recordings"}),
         platform::property("unnamed", &WrappedReply::unnamed, {""}),
         platform::property("status", &WrappedReply::status, {"status"}),
         platform::property("responseHeader", &WrappedReply::responseHeader, {"responseHeader"})});
    return info;
  }
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  platform::Value cameraMode, recordings, unnamed, status, responseHeader;
};

// A request of a given name and URL whose reply maps to WrappedReply.
class MappedRequest : public KLRequest {
 public:
  MappedRequest(int32_t name, std::string url) : KLRequest(name), url_(std::move(url)) {}
  std::string requestURL() const override { return url_; }
  const platform::ClassInfo* modelClass() const override { return &WrappedReply::staticClassInfo(); }

 private:
  std::string url_;
};

class ExecutorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store = platform::InMemorySecureStore::create();
    platform::SecureStore::setShared(store);
    ASSERT_NE(sim.start(), 0) << sim.lastError();
    manager = std::make_shared<KLRequestManager>(sim.baseUrl());
  }

  void TearDown() override {
    sim.release();
    for (const auto& m : {manager->httpSessionManager(), manager->jsonSessionManager(),
                          manager->jsonUpdateSessionManager(), manager->imageSessionManager()}) {
      m->session->invalidateAndCancel();
    }
    platform::MainRunLoop::runUntilIdle();
    platform::SecureStore::setShared(nullptr);
  }

  static void storeCredential(const std::string& accessToken, std::optional<std::string> refreshToken = std::nullopt) {
    platform::OAuthCredential credential(accessToken, "bearer", std::move(refreshToken));
    ASSERT_TRUE(platform::OAuthCredential::storeCredential(credential, kCredentialIdentifier));
  }
  static std::string storedAccessToken() {
    auto credential = KLOAuth2Manager::retrieveCredential();
    return credential ? credential->accessToken() : std::string();
  }

  std::shared_ptr<platform::InMemorySecureStore> store;
  cloudsim::CloudSim sim;
  std::shared_ptr<KLRequestManager> manager;
};

}  // namespace dk::test

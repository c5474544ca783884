#include "services/kl_services_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "model/kl_response.h"
#include "network/kl_camera_requests.h"
#include "network/kl_single_requests.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/notification_center.h"
#include "services/manager_report.h"

namespace dk {
namespace {

using platform::DispatchQueue;
using platform::ErrorPtr;
using platform::MainRunLoop;
using platform::ModelPtr;
using platform::Value;

// Records what the managers send; the test decides when and from where each call completes.
class FakeExecutor : public RequestExecutor {
 public:
  struct Call {
    std::shared_ptr<KLRequest> request;
    RequestCompletion completion;
    std::string startQueue;
  };

  void requestWithRequest(const std::shared_ptr<KLRequest>& request, RequestCompletion completion) override {
    DispatchQueue* queue = DispatchQueue::current();
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({request, std::move(completion), queue ? queue->label() : std::string("(none)")});
  }
  void refreshTokenWithSuccessBlock(CredentialBlock success, ErrorBlock error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    refreshSuccess_ = std::move(success);
    refreshError_ = std::move(error);
  }
  void isMethodInProgress(const std::string& path, std::function<void(bool)> completion) override {
    completion(path == "/rest/v2.0/ping");
  }

  size_t callCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.size();
  }
  Call call(size_t i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.at(i);
  }
  // Completes call i from a worker thread, as the executor does after a successful mapping.
  void completeOnWorker(size_t i, Value result, ErrorPtr error) {
    auto completion = call(i).completion;
    DispatchQueue::global()->async([completion, result, error] { completion(result, error); });
  }
  std::pair<CredentialBlock, ErrorBlock> refreshCallbacks() {
    std::lock_guard<std::mutex> lock(mutex_);
    return {refreshSuccess_, refreshError_};
  }

 private:
  std::mutex mutex_;
  std::vector<Call> calls_;
  CredentialBlock refreshSuccess_;
  ErrorBlock refreshError_;
};

// A record whose merge copies every key.
class Record : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo() {
    static const platform::ClassInfo info("TestRecord", &KLResponse::staticClassInfo(),
                                          [] { return std::make_shared<Record>(); },
                                          {platform::property("title", &Record::title_, {"title"})});
    return info;
  }
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, title, setTitle);
};

// A domain manager written as the real ones are: request, update the cache, report.
class KLTestManager : public KLServicesManager {
 public:
  KLTestManager() : KLServicesManager("KLTestManager") {}

  void load(std::shared_ptr<KLRequest> request, ModelPtr cached, SuccessBlock success, ErrorBlock error) {
    requestWithRequestObject(std::move(request), std::move(cached),
                             [this, success, error](const Value& result, const ErrorPtr& failure) {
                               mergedOnParserQueue = parserQueue()->isCurrent();
                               runCompletionBlock([&] { genericBlock()(result, failure, success, error); });
                             });
  }
  std::atomic<bool> mergedOnParserQueue{false};
};

class OtherManager : public KLServicesManager {
 public:
  OtherManager() : KLServicesManager("KLOtherManager") {}
};

using Outcome = test::ManagerReport;

ErrorPtr timeout() { return platform::Error::make("NSURLErrorDomain", -1001, "The request timed out."); }

class KLServicesManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { KLServicesManager::setRequestExecutor(executor); }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
  }
  // Waits until the manager has handed `n` calls to the executor.
  void waitForCalls(size_t n) { ASSERT_TRUE(MainRunLoop::runUntil([&] { return executor->callCount() >= n; })); }

  std::shared_ptr<FakeExecutor> executor = std::make_shared<FakeExecutor>();
  std::shared_ptr<KLTestManager> manager = std::make_shared<KLTestManager>();
};

TEST_F(KLServicesManagerTest, QueuesCarryTheConcreteManagersName) {
  EXPECT_EQ(manager->serviceQueue()->label(), "com.kelo.service.KLTestManager");
  EXPECT_EQ(manager->serviceQueue()->kind(), DispatchQueue::Kind::Serial);
  EXPECT_EQ(manager->parserQueue()->label(), "com.kelo.parser");
  EXPECT_EQ(manager->parserQueue()->kind(), DispatchQueue::Kind::Concurrent);
  OtherManager other;
  EXPECT_EQ(other.serviceQueue()->label(), "com.kelo.service.KLOtherManager");
  EXPECT_NE(other.serviceQueue(), manager->serviceQueue());
  EXPECT_NE(other.parserQueue(), manager->parserQueue());
  EXPECT_EQ(KLServicesManager().serviceQueue()->label(), "com.kelo.service.KLServicesManager");
}

TEST_F(KLServicesManagerTest, SuccessIsMergedIntoTheCacheAndReportedOnTheMainThread) {
  auto cached = std::make_shared<Record>();
  auto request = std::make_shared<KLGetCameraRequest>();
  request->cameraID = "7";
  Outcome outcome;
  manager->load(request, cached, outcome.success(), outcome.failure());
  waitForCalls(1);
  EXPECT_EQ(executor->call(0).request, request);
  EXPECT_EQ(executor->call(0).startQueue, "com.kelo.service.KLTestManager");
  EXPECT_EQ(outcome.total(), 0);  // nothing before the reply

  auto reply = std::make_shared<Record>();
  reply->setTitle("Porch");
  executor->completeOnWorker(0, Value(reply), nullptr);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return outcome.total() > 0; }));
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(outcome.successes, 1);
  EXPECT_EQ(outcome.errors, 0);
  EXPECT_TRUE(outcome.onMain);
  EXPECT_TRUE(manager->mergedOnParserQueue);
  EXPECT_EQ(outcome.result.objectAs<Record>(), cached);
  EXPECT_EQ(cached->title(), "Porch");
}

TEST_F(KLServicesManagerTest, AnErrorReachesOnlyTheErrorBlock) {
  Outcome outcome;
  manager->load(std::make_shared<KLGetCameraRequest>(), std::make_shared<Record>(), outcome.success(),
                outcome.failure());
  waitForCalls(1);
  ErrorPtr error = timeout();
  executor->call(0).completion(Value(), error);  // failures arrive on the main thread
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(outcome.errors, 1);
  EXPECT_EQ(outcome.successes, 0);
  EXPECT_EQ(outcome.error, error);
  EXPECT_TRUE(outcome.onMain);
}

TEST_F(KLServicesManagerTest, AResultThatIsAnErrorObjectGoesToTheErrorBlock) {
  // A merge callback may hand back an error object as its result without the call failing.
  class ErrorResultRequest : public KLGetCameraRequest {
   public:
    RequestMergeBlock block() const override {
      return [](const Value&, const ErrorPtr&, const ModelPtr&) { return resultFromError(timeout()); };
    }
  };
  Outcome outcome;
  manager->load(std::make_shared<ErrorResultRequest>(), nullptr, outcome.success(), outcome.failure());
  waitForCalls(1);
  executor->completeOnWorker(0, Value(std::make_shared<Record>()), nullptr);
  MainRunLoop::runUntil([&] { return outcome.total() > 0; });
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(outcome.errors, 1);
  EXPECT_EQ(outcome.successes, 0);
  ASSERT_NE(outcome.error, nullptr);
  EXPECT_EQ(outcome.error->code(), -1001);
}

TEST_F(KLServicesManagerTest, NoModelClassAndNoErrorIsASuccessWithNil) {
  Outcome outcome;
  manager->load(std::make_shared<KLDeleteCameraRequest>(), nullptr, outcome.success(), outcome.failure());
  waitForCalls(1);
  executor->completeOnWorker(0, Value::parseJSON(R"({"ok":true})"), nullptr);
  MainRunLoop::runUntil([&] { return outcome.total() > 0; });
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(outcome.successes, 1);
  EXPECT_EQ(outcome.errors, 0);
  EXPECT_TRUE(outcome.result.isNil());
}

TEST_F(KLServicesManagerTest, AReportedTwiceCallStillCallsBackOnce) {
  Outcome outcome;
  manager->load(std::make_shared<KLGetCameraRequest>(), std::make_shared<Record>(), outcome.success(),
                outcome.failure());
  waitForCalls(1);
  auto completion = executor->call(0).completion;
  completion(Value(std::make_shared<Record>()), nullptr);
  completion(Value(), timeout());
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(outcome.total(), 1);
  EXPECT_EQ(outcome.successes, 1);
}

TEST_F(KLServicesManagerTest, ANilBlockStillSendsAndDropsTheReply) {
  std::atomic<int> merges{0};
  class CountingRequest : public KLGetCameraRequest {
   public:
    explicit CountingRequest(std::atomic<int>* n) : n_(n) {}
    RequestMergeBlock block() const override {
      return [n = n_](const Value&, const ErrorPtr&, const ModelPtr&) {
        (*n)++;
        return Value();
      };
    }
    std::atomic<int>* n_;
  };
  manager->requestWithRequestObject(std::make_shared<CountingRequest>(&merges), nullptr, nullptr);
  waitForCalls(1);
  executor->completeOnWorker(0, Value(std::make_shared<Record>()), nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(executor->callCount(), 1u);
  EXPECT_EQ(merges, 0);  // dropped before the merge
}

TEST_F(KLServicesManagerTest, AMissingRequestIsReportedAsAnError) {
  Outcome outcome;
  manager->load(nullptr, nullptr, outcome.success(), outcome.failure());
  MainRunLoop::runUntil([&] { return outcome.total() > 0; });
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(executor->callCount(), 0u);
  EXPECT_EQ(outcome.errors, 1);
  ASSERT_NE(outcome.error, nullptr);
  EXPECT_EQ(outcome.error->code(), platform::kURLErrorBadURL);
  manager->runCompletionBlock(nullptr);  // an empty block is skipped, not a crash
}

TEST_F(KLServicesManagerTest, ConcurrentCallsEachReportExactlyOnce) {
  constexpr int kCalls = 64;
  std::vector<Outcome> outcomes(kCalls);
  for (int i = 0; i < kCalls; ++i) {
    DispatchQueue::global()->async([this, &outcomes, i] {
      manager->load(std::make_shared<KLGetCameraRequest>(), nullptr, outcomes[i].success(), outcomes[i].failure());
    });
  }
  waitForCalls(kCalls);
  for (int i = 0; i < kCalls; ++i) {
    if (i % 3 == 0) {
      executor->call(i).completion(Value(), timeout());
    } else {
      executor->completeOnWorker(i, Value(std::make_shared<Record>()), nullptr);
    }
  }
  MainRunLoop::runUntil([&] {
    int done = 0;
    for (const auto& o : outcomes) done += o.total();
    return done == kCalls;
  });
  MainRunLoop::runUntilIdle();
  int errors = 0;
  for (const auto& o : outcomes) {
    EXPECT_EQ(o.total(), 1);
    EXPECT_TRUE(o.onMain);
    errors += o.errors;
  }
  EXPECT_EQ(errors, (kCalls + 2) / 3);
}

TEST_F(KLServicesManagerTest, GenericBlockIsSynchronousOnMainAndDeferredElsewhere) {
  Outcome outcome;
  manager->genericBlock()(Value("x"), nullptr, outcome.success(), outcome.failure());
  EXPECT_EQ(outcome.successes, 1);  // before it returned

  // From another thread (while the main thread waits) nothing is reported until the main
  // thread runs again.
  Outcome later;
  DispatchQueue::createSerial("test.elsewhere")->sync(
      [&] { manager->genericBlock()(Value(), timeout(), later.success(), later.failure()); });
  EXPECT_EQ(later.total(), 0);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(later.errors, 1);
  EXPECT_TRUE(later.onMain);

  // Missing callbacks are skipped.
  manager->genericBlock()(Value(), timeout(), nullptr, nullptr);
  manager->genericBlock()(Value(1), nullptr, nullptr, nullptr);
}

TEST_F(KLServicesManagerTest, GenericBlockCanBeReplaced) {
  int custom = 0;
  manager->setGenericBlock([&](const Value&, const ErrorPtr&, const KLServicesManager::SuccessBlock&,
                               const KLServicesManager::ErrorBlock&) { custom++; });
  Outcome outcome;
  manager->genericBlock()(Value(), nullptr, outcome.success(), outcome.failure());
  EXPECT_EQ(custom, 1);
  EXPECT_EQ(outcome.total(), 0);
}

TEST_F(KLServicesManagerTest, PingGoesStraightToTheExecutorAndIsReported) {
  Outcome outcome;
  KLServicesManager::pingRequestWithSuccessBlock(outcome.success(), outcome.failure());
  ASSERT_EQ(executor->callCount(), 1u);  // synchronously: no service queue
  EXPECT_EQ(executor->call(0).request->requestName(), PING_REQUEST_CLOUD);
  executor->completeOnWorker(0, Value::parseJSON(R"({"pong":1})"), nullptr);
  MainRunLoop::runUntil([&] { return outcome.total() > 0; });
  EXPECT_EQ(outcome.successes, 1);
  EXPECT_TRUE(outcome.onMain);
  EXPECT_EQ(outcome.result["pong"], Value(1));

  Outcome failed;
  KLServicesManager::pingRequestWithSuccessBlock(failed.success(), failed.failure());
  executor->call(1).completion(Value(), timeout());
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(failed.errors, 1);
  EXPECT_EQ(failed.successes, 0);
}

TEST_F(KLServicesManagerTest, RefreshAnnouncesTheNewUserBeforeHandingOverTheCredential) {
  std::vector<std::string> order;
  auto token = platform::NotificationCenter::defaultCenter().addObserver(
      kGetUserNotification, [&](const platform::Notification&) { order.push_back("notification"); });
  platform::OAuthCredentialPtr received;
  manager->refreshTokenSuccessBlock(
      [&](const platform::OAuthCredentialPtr& credential) {
        EXPECT_TRUE(platform::isMainThread());
        order.push_back("success");
        received = credential;
      },
      [&](const ErrorPtr&) { order.push_back("error"); });
  auto credential = platform::OAuthCredential::credentialWithOAuthToken("T2", "Bearer");
  auto callbacks = executor->refreshCallbacks();
  DispatchQueue::global()->async([callbacks, credential] { callbacks.first(credential); });
  MainRunLoop::runUntil([&] { return order.size() >= 2; });
  EXPECT_EQ(order, (std::vector<std::string>{"notification", "success"}));
  EXPECT_EQ(received, credential);

  order.clear();
  ErrorPtr refused;
  manager->refreshTokenSuccessBlock([&](const platform::OAuthCredentialPtr&) { order.push_back("success"); },
                                    [&](const ErrorPtr& e) {
                                      order.push_back("error");
                                      refused = e;
                                    });
  auto error = platform::Error::make("DKErrorDomain", 101002, "Request failed: unable to retrieve refresh token (101002)");
  executor->refreshCallbacks().second(error);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(order, (std::vector<std::string>{"error"}));
  EXPECT_EQ(refused, error);
}

TEST_F(KLServicesManagerTest, MethodInProgressIsForwarded) {
  std::optional<bool> answer;
  manager->isMethodInProgress("/rest/v2.0/ping", [&](bool running) { answer = running; });
  EXPECT_EQ(answer, true);
  manager->isMethodInProgress("/rest/v2.4/events", [&](bool running) { answer = running; });
  EXPECT_EQ(answer, false);
}

}  // namespace
}  // namespace dk

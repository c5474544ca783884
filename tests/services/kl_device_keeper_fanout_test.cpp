// The camera service's fan-outs over all cameras, with an executor whose replies the test hands
// back in the order it chooses: the error that arrived last wins, whatever the list order.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "network/kl_camera_requests.h"
#include "platform/dispatch/run_loop.h"
#include "services/kl_device_keeper.h"
#include "services/manager_report.h"

namespace dk {
namespace {

using platform::ErrorPtr;
using platform::MainRunLoop;
using platform::Value;

class ScriptedExecutor : public RequestExecutor {
 public:
  void requestWithRequest(const std::shared_ptr<KLRequest>& request, RequestCompletion completion) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({request, std::move(completion)});
  }
  void refreshTokenWithSuccessBlock(CredentialBlock, ErrorBlock) override {}
  void isMethodInProgress(const std::string&, std::function<void(bool)> completion) override { completion(false); }

  size_t count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.size();
  }
  // The calls from `first` on.
  std::vector<std::pair<std::shared_ptr<KLRequest>, RequestCompletion>> callsFrom(size_t first) {
    std::lock_guard<std::mutex> lock(mutex_);
    return {calls_.begin() + static_cast<std::ptrdiff_t>(std::min(first, calls_.size())), calls_.end()};
  }
  // The call whose URL is `url`.
  RequestCompletion completionFor(const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& call : calls_) {
      if (call.first->requestURL() == url) return call.second;
    }
    ADD_FAILURE() << "no call to " << url;
    return [](const Value&, const ErrorPtr&) {};
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::shared_ptr<KLRequest>, RequestCompletion>> calls_;
};

ErrorPtr failure(int64_t code) { return platform::Error::make("NSURLErrorDomain", code, "failed"); }

class DeviceKeeperFanOutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KLServicesManager::setRequestExecutor(executor);
    for (int64_t id : {1, 2, 3}) {
      auto camera = std::make_shared<KLCameraResponse>();
      camera->setCameraID(id);
      camera->setState(true);
      camera->setName("Camera " + std::to_string(id));
      values.emplace_back(camera);
    }
    list->setValues(Value(values));
  }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
  }
  void waitForCalls(size_t n) { ASSERT_TRUE(MainRunLoop::runUntil([&] { return executor->count() >= n; })); }
  static std::string modePath(int id) { return "/rest/v2.2/cameras/" + std::to_string(id) + "/mode"; }
  // A mode reply for one camera, delivered on the main thread as a failure would be.
  void reply(int id, ErrorPtr error) {
    auto completion = executor->completionFor(modePath(id));
    if (error) {
      completion(Value(), error);
    } else {
      completion(Value(std::make_shared<KLCameraResponse>()), nullptr);
    }
    MainRunLoop::runUntilIdle();
  }

  std::shared_ptr<ScriptedExecutor> executor = std::make_shared<ScriptedExecutor>();
  KLDeviceKeeperPtr keeper = std::make_shared<KLDeviceKeeper>();
  std::shared_ptr<KLCameraListResponse> list = std::make_shared<KLCameraListResponse>();
  platform::ValueArray values;
};

TEST_F(DeviceKeeperFanOutTest, TwoFailuresOfThreeReportOnceWithTheErrorThatArrivedLast) {
  test::ManagerReport report;
  keeper->getAllCameraModesForCameras(list, report.success(), report.failure());
  waitForCalls(3);
  reply(3, failure(-1003));
  EXPECT_EQ(report.total(), 0);  // nothing until every camera answered
  reply(2, nullptr);
  reply(1, failure(-1001));
  EXPECT_EQ(report.errors, 1);
  EXPECT_EQ(report.successes, 0);
  EXPECT_TRUE(report.onMain);
  ASSERT_NE(report.error, nullptr);
  EXPECT_EQ(report.error->code(), -1001);  // camera 1 comes first in the list but answered last
}

TEST_F(DeviceKeeperFanOutTest, TheOrderOfArrivalDecidesNotTheOrderOfTheList) {
  test::ManagerReport report;
  keeper->getAllCameraModesForCameras(list, report.success(), report.failure());
  waitForCalls(3);
  reply(1, failure(-1001));
  reply(3, failure(-1003));
  reply(2, nullptr);
  ASSERT_EQ(report.errors, 1);
  EXPECT_EQ(report.error->code(), -1003);
}

TEST_F(DeviceKeeperFanOutTest, AllSucceedingReportsTheListAndAnEmptyListSucceedsAtOnce) {
  test::ManagerReport report;
  keeper->getAllCameraModesForCameras(list, report.success(), report.failure());
  waitForCalls(3);
  for (int id : {2, 1, 3}) reply(id, nullptr);
  EXPECT_EQ(report.successes, 1);
  EXPECT_EQ(report.errors, 0);
  EXPECT_EQ(report.result.objectAs<KLCameraListResponse>(), list);

  test::ManagerReport empty;
  keeper->getAllCapabilitiesForCameras(std::make_shared<KLCameraListResponse>(), empty.success(), empty.failure());
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(empty.successes, 1);
  EXPECT_EQ(executor->count(), 3u);  // nothing sent
  test::ManagerReport missing;
  keeper->getAllDetectionsCapabilitiesForCameras(nullptr, missing.success(), missing.failure());
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(missing.successes, 1);
}

// Refreshing the cameras goes step by step: the list, its zones, the status, then the detection
// capabilities, the capabilities and the modes of every camera; a step starts only once every
// call of the one before has answered, and a failing step does not stop the chain.
TEST_F(DeviceKeeperFanOutTest, UpdatingTheMetadataGoesStatusDetectionsCapabilitiesThenModes) {
  test::ManagerReport report;
  keeper->updateCamerasWithSuccessBlock(report.success(), report.failure());
  std::vector<std::vector<int32_t>> steps;
  size_t answered = 0;
  while (report.total() == 0 && steps.size() < 10) {
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    auto calls = executor->callsFrom(answered);
    if (calls.empty()) break;
    answered += calls.size();
    std::vector<int32_t> names;
    for (const auto& [request, completion] : calls) names.push_back(request->requestName());
    steps.push_back(names);
    for (const auto& [request, completion] : calls) {
      if (request->requestName() == CAMERAS_GET_REQUEST_CLOUD) {
        completion(Value(list), nullptr);
      } else if (request->requestName() == CAMERA_CAPABILITIES_GET_REQUEST_CLOUD) {
        completion(Value(), failure(-1001));
      } else {
        completion(Value(), nullptr);
      }
    }
  }
  MainRunLoop::runUntilIdle();
  auto three = [](int32_t name) { return std::vector<int32_t>(3, name); };
  EXPECT_EQ(steps, (std::vector<std::vector<int32_t>>{{CAMERAS_GET_REQUEST_CLOUD},
                                                      {ZONES_GET_REQUEST_CLOUD},
                                                      {CAMERAS_STATUS_GET_REQUEST_CLOUD},
                                                      three(DETECTIONS_CAPABILITIES_GET_REQUEST_CLOUD),
                                                      three(CAMERA_CAPABILITIES_GET_REQUEST_CLOUD),
                                                      three(CAMERA_MODE_GET_REQUEST_CLOUD)}));
  EXPECT_EQ(report.successes, 1);
  EXPECT_EQ(report.errors, 0);
}

}  // namespace
}  // namespace dk

// The service-manager base over the real executor and the local cloud: replies merged into the
// caller's cache and every outcome reported once, on the main thread.
#include <gtest/gtest.h>

#include "model/kl_camera_list_response.h"
#include "model/kl_recording_response.h"
#include "network/executor_fixture.h"
#include "network/kl_camera_requests.h"
#include "network/kl_recording_requests.h"
#include "network/kl_single_requests.h"
#include "services/kl_services_manager.h"
#include "services/manager_report.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using platform::ErrorPtr;
using platform::MainRunLoop;
using platform::Value;

class KLCloudTestManager : public KLServicesManager {
 public:
  KLCloudTestManager() : KLServicesManager("KLCloudTestManager") {}
  void load(std::shared_ptr<KLRequest> request, platform::ModelPtr cached, SuccessBlock success, ErrorBlock error) {
    requestWithRequestObject(std::move(request), std::move(cached),
                             [this, success, error](const Value& result, const ErrorPtr& failure) {
                               genericBlock()(result, failure, success, error);
                             });
  }
};

using Report = ManagerReport;

class ServicesCloudTest : public ExecutorTest {
 protected:
  void SetUp() override {
    ExecutorTest::SetUp();
    storeCredential(sim.accessToken());
    KLServicesManager::setRequestExecutor(executorForRequestManager(manager));
  }
  void TearDown() override {
    KLServicesManager::setRequestExecutor(nullptr);
    ExecutorTest::TearDown();
  }
  std::string cameraId() const { return std::to_string(sim.world().cameras[0].cameraId); }

  std::shared_ptr<KLCloudTestManager> services = std::make_shared<KLCloudTestManager>();
};

TEST_F(ServicesCloudTest, ARecordingsPageIsMergedIntoTheCachedListAndReportedOnce) {
  auto cached = std::make_shared<KLRecordingListResponse>();
  auto request = std::make_shared<KLCameraRecordingsRequest>();
  request->cameraID = cameraId();
  request->limit = 100;
  request->reverse = true;
  Report report;
  services->load(request, cached, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.successes, 1);
  EXPECT_EQ(report.errors, 0);
  EXPECT_TRUE(report.onMain);
  EXPECT_EQ(report.result.objectAs<KLRecordingListResponse>(), cached);
  EXPECT_FALSE(cached->recordings().empty());
  EXPECT_LE(cached->recordings().size(), 100u);
}

TEST_F(ServicesCloudTest, AServerRefusalReachesOnlyTheErrorBlock) {
  sim.addFault(FaultRule::failWith("/rest/v2.0/cameras/", 404, R"({"message":"not here"})"));
  auto cached = std::make_shared<KLCameraListResponse>();
  Report report;
  services->load(std::make_shared<KLCamerasRequest>(), cached, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.errors, 1);
  EXPECT_EQ(report.successes, 0);
  EXPECT_TRUE(report.onMain);
  ASSERT_NE(report.error, nullptr);
  ASSERT_NE(report.error->response(), nullptr);
  EXPECT_EQ(report.error->response()->statusCode, 404);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 1u);  // 404 is fatal: no retries
}

TEST_F(ServicesCloudTest, AWriteWithoutModelReportsSuccessWithTheRawReply) {
  auto request = std::make_shared<KLUpdateCameraNameRequest>();
  request->cameraID = cameraId();
  request->name = "Porch";
  Report report;
  services->load(request, nullptr, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.successes, 1);
  EXPECT_EQ(report.errors, 0);
  EXPECT_TRUE(report.result.isNil());  // the base merge hands nil on for requests without model
  EXPECT_EQ(sim.world().cameras[0].name, "Porch");
}

TEST_F(ServicesCloudTest, ARequestThatCannotBeFormedFailsWithoutReachingTheServer) {
  auto request = std::make_shared<KLGetCameraRequest>();  // no camera identifier
  Report report;
  services->load(request, nullptr, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.errors, 1);
  EXPECT_EQ(report.successes, 0);
  EXPECT_TRUE(sim.requests().empty());
}

TEST_F(ServicesCloudTest, ThePingIsReportedOnTheMainThread) {
  Report report;
  KLServicesManager::pingRequestWithSuccessBlock(report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.successes + report.errors, 1);
  EXPECT_EQ(report.successes, 1);
  EXPECT_TRUE(report.onMain);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/ping").size(), 1u);
}

}  // namespace
}  // namespace dk::test

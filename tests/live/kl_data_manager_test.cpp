// The data manager: one shared registry whose creation starts the user chain once, wires the
// camera look-ups into the event and recording managers, and whose start-up chain reports every
// outcome as a status.
#include "live/kl_data_manager.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/dispatch/run_loop.h"
#include "services/scripted_executor.h"

namespace dk::test {
namespace {

using platform::MainRunLoop;

platform::ErrorPtr transportError(int64_t code) { return platform::Error::make("NSURLErrorDomain", code, "transport"); }

platform::ErrorPtr httpError(int status) {
  auto response = std::make_shared<platform::HttpResponseInfo>();
  response->statusCode = status;
  return std::make_shared<const platform::Error>("com.alamofire.error.serialization.response", -1011,
                                                 "Request failed: " + std::to_string(status), response);
}

// A scripted executor whose token refresh answers as the test says.
class RefreshScriptedExecutor : public ScriptedExecutor {
 public:
  using ScriptedExecutor::ScriptedExecutor;
  platform::ErrorPtr refreshError;
  int refreshes = 0;
  void refreshTokenWithSuccessBlock(CredentialBlock success, ErrorBlock error) override {
    ++refreshes;
    if (refreshError) return error(refreshError);
    success(std::make_shared<platform::OAuthCredential>("fresh", "bearer", std::nullopt));
  }
};

size_t countOf(const ScriptedExecutor& executor, int name) {
  size_t n = 0;
  for (const auto& request : executor.requests()) n += request->requestName() == name;
  return n;
}

class KLDataManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Users answer; the ping fails, so the live feed never tries to connect from a unit test.
    executor->setScript([](const KLRequest& request, size_t) {
      switch (request.requestName()) {
        case USER_GET_REQUEST_CLOUD:
          return ScriptedReply::body(R"({"userId":42,"accountId":777,"firstName":"Alex"})");
        case USER_DETAILS_GET_REQUEST_CLOUD:
          return ScriptedReply::body(R"({"companyName":"Example Ltd"})");
        default:
          return ScriptedReply::failure(500);
      }
    });
    KLServicesManager::setRequestExecutor(executor);
  }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    KLDataManager::resetSharedInstance();
    MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
  }

  std::shared_ptr<RefreshScriptedExecutor> executor = std::make_shared<RefreshScriptedExecutor>();
};

TEST_F(KLDataManagerTest, ConcurrentFirstUsesShareOneInstanceAndStartTheUserChainOnce) {
  std::shared_ptr<KLDataManager> a, b;
  std::thread other([&] { b = KLDataManager::sharedInstance(); });
  a = KLDataManager::sharedInstance();
  other.join();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());

  ASSERT_TRUE(a);
  EXPECT_EQ(a, b);
  EXPECT_EQ(countOf(*executor, USER_GET_REQUEST_CLOUD), 1u);
  EXPECT_EQ(countOf(*executor, USER_DETAILS_GET_REQUEST_CLOUD), 1u);
  // The chain ran basic then details, then asked for the live feed (the ping).
  EXPECT_EQ(countOf(*executor, PING_REQUEST_CLOUD), 1u);
  EXPECT_EQ(a->userManager()->getUser()->accountID(), 777);
}

TEST_F(KLDataManagerTest, CreatesEveryManagerAndWiresTheCameraLookUps) {
  auto manager = KLDataManager::sharedInstance();
  ASSERT_TRUE(manager->deviceKeeper());
  ASSERT_TRUE(manager->userManager());
  ASSERT_TRUE(manager->servicesManager());
  ASSERT_TRUE(manager->webSocketsManager());
  ASSERT_TRUE(manager->eventManager());
  ASSERT_TRUE(manager->recordingManager());

  EXPECT_EQ(manager->eventManager()->cameraDelegate(),
            std::static_pointer_cast<KLEventManagerDelegate>(manager->deviceKeeper()));
  EXPECT_EQ(manager->recordingManager()->cameraDelegate(),
            std::static_pointer_cast<KLRecordingManagerDelegate>(manager->deviceKeeper()));
  EXPECT_EQ(manager->deviceKeeper()->className(), "KLDeviceKeeper");
}

TEST_F(KLDataManagerTest, ConfiguringAgainLeavesExistingManagersAndTheirWiring) {
  auto manager = KLDataManager::sharedInstance();
  auto events = manager->eventManager();
  auto keeper = manager->deviceKeeper();
  KLDataManager::configureManager(*manager);
  EXPECT_EQ(manager->eventManager(), events);
  EXPECT_EQ(manager->deviceKeeper(), keeper);
}

TEST_F(KLDataManagerTest, AResetBuildsNewManagersAndAsksForTheUserAgain) {
  auto first = KLDataManager::sharedInstance();
  auto firstEvents = first->eventManager();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  std::weak_ptr<KLWebSocketsManager> oldFeed = first->webSocketsManager();
  std::weak_ptr<KLEventManager> oldEvents = firstEvents;
  KLDataManager::resetSharedInstance();
  EXPECT_FALSE(first->eventManager());  // the old registry let go of its managers
  firstEvents.reset();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(oldFeed.expired());  // an old feed left alive would answer later turn-ons
  EXPECT_TRUE(oldEvents.expired());

  auto second = KLDataManager::sharedInstance();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_NE(second, first);
  EXPECT_NE(second->eventManager(), firstEvents);
  EXPECT_EQ(countOf(*executor, USER_GET_REQUEST_CLOUD), 2u);
}

TEST_F(KLDataManagerTest, AUserChainThatFailsStillTurnsTheFeedOnWithoutAnAccount) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::failure(500); });
  auto manager = KLDataManager::sharedInstance();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(countOf(*executor, USER_DETAILS_GET_REQUEST_CLOUD), 1u);
  EXPECT_EQ(countOf(*executor, PING_REQUEST_CLOUD), 1u);
  EXPECT_FALSE(manager->userManager()->getUser()->accountID());
}

TEST_F(KLDataManagerTest, TheUserChainAsksForTheRightsAfterTheUserAndTellsWhenTheyArrive) {
  executor->setScript([](const KLRequest& request, size_t) {
    switch (request.requestName()) {
      case USER_GET_REQUEST_CLOUD:
        return ScriptedReply::body(R"({"userId":42,"accountId":777})");
      case USER_RIGHTS_GET_REQUEST_CLOUD:
        return ScriptedReply::body(R"({"deleteRecording":true,"playback":true})");
      default:
        return ScriptedReply::failure(500);
    }
  });
  int told = 0;
  auto token = platform::NotificationCenter::defaultCenter().addObserver(
      kUserRightsLoadedNotification, [&told](const platform::Notification&) { ++told; });
  auto manager = KLDataManager::sharedInstance();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  auto order = executor->requests();
  size_t user = order.size(), rights = order.size();
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i]->requestName() == USER_GET_REQUEST_CLOUD && user == order.size()) user = i;
    if (order[i]->requestName() == USER_RIGHTS_GET_REQUEST_CLOUD && rights == order.size()) rights = i;
  }
  ASSERT_LT(rights, order.size());
  EXPECT_LT(user, rights);
  EXPECT_EQ(told, 1);
  EXPECT_TRUE(manager->userManager()->userRights()->deleteRecording().value_or(false));
}

// ---- the start-up chain ----

class StartUpChainTest : public KLDataManagerTest {
 protected:
  int64_t run() {
    auto manager = KLDataManager::sharedInstance();
    EXPECT_TRUE(MainRunLoop::runUntilIdle());
    // The user chain asks for the rights once on its own; the counts below are the start-up chain's.
    if (!userChainRights_) userChainRights_ = countOf(*executor, USER_RIGHTS_GET_REQUEST_CLOUD);
    int64_t status = -1;
    int reports = 0;
    chainStart_ = executor->count();
    manager->performInitialRequestsWithSuccessBlock(
        [&](int64_t s) {
          status = s;
          ++reports;
        },
        [&](const platform::ErrorPtr&) { ADD_FAILURE() << "the error block is never called"; });
    EXPECT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_EQ(reports, 1);
    return status;
  }
  size_t startUpRights() const { return countOf(*executor, USER_RIGHTS_GET_REQUEST_CLOUD) - userChainRights_.value_or(0); }
  std::optional<size_t> userChainRights_;
  size_t chainStart_ = 0;  // the first request of the last start-up chain

  void answerRightsAndCameras(std::function<ScriptedReply(const KLRequest&)> cameras) {
    executor->setScript([cameras](const KLRequest& request, size_t) {
      switch (request.requestName()) {
        case USER_RIGHTS_GET_REQUEST_CLOUD:
          return ScriptedReply::body(R"({"playback":true})");
        case PING_REQUEST_CLOUD:
          return ScriptedReply::failure(500);
        default:
          return cameras(request);
      }
    });
  }
};

TEST_F(StartUpChainTest, AnOfflineRefreshReportsThreeAndAsksNothingElse) {
  executor->refreshError = transportError(-1009);
  EXPECT_EQ(run(), KLDataManager::kInitialRequestsOffline);
  EXPECT_EQ(executor->refreshes, 1);
  EXPECT_EQ(startUpRights(), 0u);
}

TEST_F(StartUpChainTest, ATimeOutReportsFourAndAFatalStatusTwo) {
  executor->refreshError = transportError(-1001);
  EXPECT_EQ(run(), KLDataManager::kInitialRequestsRetryable);

  executor->refreshError = nullptr;
  answerRightsAndCameras([](const KLRequest&) {
    ScriptedReply reply;
    reply.error = httpError(404);
    return reply;
  });
  EXPECT_EQ(run(), KLDataManager::kInitialRequestsFatalError);
  EXPECT_EQ(startUpRights(), 1u);
  EXPECT_EQ(countOf(*executor, CAMERAS_GET_REQUEST_CLOUD), 1u);
}

TEST_F(StartUpChainTest, ANonFatalFailureReportsFour) {
  answerRightsAndCameras([](const KLRequest&) {
    ScriptedReply reply;
    reply.error = httpError(503);
    return reply;
  });
  EXPECT_EQ(run(), KLDataManager::kInitialRequestsRetryable);
}

// Every step answers: the status says whether the account has zones, after the refresh, the
// rights and the cameras (list, zones, status, modes) were asked for in that order.
TEST_F(StartUpChainTest, AllStepsSucceedingReportZeroWithoutZonesAndOneWithThem) {
  for (const bool withZones : {false, true}) {
    SCOPED_TRACE(withZones);
    KLDataManager::resetSharedInstance();
    const std::string zones = withZones ? R"([{"zoneId":5,"name":"Home","cameraIds":[31]}])" : "[]";
    answerRightsAndCameras([zones](const KLRequest& request) {
      switch (request.requestName()) {
        case CAMERAS_GET_REQUEST_CLOUD:
          return ScriptedReply::body(R"([{"cameraId":31,"name":"Porch","online":true}])");
        case ZONES_GET_REQUEST_CLOUD:
          return ScriptedReply::body(zones);
        case CAMERAS_STATUS_GET_REQUEST_CLOUD:
          return ScriptedReply::body(R"([{"cameraId":31,"online":true}])");
        default:
          return ScriptedReply::body("{}");
      }
    });
    const int refreshesBefore = executor->refreshes;
    userChainRights_.reset();
    const int64_t status = run();
    EXPECT_EQ(status, withZones ? KLDataManager::kInitialRequestsWithZones : KLDataManager::kInitialRequestsNoZones);
    EXPECT_EQ(status, withZones ? 1 : 0);
    EXPECT_EQ(executor->refreshes, refreshesBefore + 1);
    EXPECT_EQ(startUpRights(), 1u);
    std::vector<int32_t> order;
    auto requests = executor->requests();
    for (size_t i = chainStart_; i < requests.size(); ++i) order.push_back(requests[i]->requestName());
    EXPECT_EQ(order, (std::vector<int32_t>{USER_RIGHTS_GET_REQUEST_CLOUD, CAMERAS_GET_REQUEST_CLOUD,
                                           ZONES_GET_REQUEST_CLOUD, CAMERAS_STATUS_GET_REQUEST_CLOUD,
                                           CAMERA_MODE_GET_REQUEST_CLOUD}));
  }
}

TEST(KLDataManagerStatus, ClassifiesInTheStatedOrder) {
  EXPECT_EQ(KLDataManager::statusForError(transportError(-1009)), 3);
  EXPECT_EQ(KLDataManager::statusForError(transportError(-1005)), 3);
  EXPECT_EQ(KLDataManager::statusForError(httpError(500)), 4);
  EXPECT_EQ(KLDataManager::statusForError(transportError(-1001)), 4);
  EXPECT_EQ(KLDataManager::statusForError(httpError(401)), 2);
  EXPECT_EQ(KLDataManager::statusForError(httpError(404)), 2);
  EXPECT_EQ(KLDataManager::statusForError(platform::Error::make("DKErrorDomain", 101002, "x")), 2);
}

}  // namespace
}  // namespace dk::test

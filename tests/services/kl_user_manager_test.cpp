// The user manager: replies merged into the one user and one rights object it holds, and the
// start-up chain that always runs both user requests.
#include "services/kl_user_manager.h"

#include <gtest/gtest.h>

#include "platform/dispatch/run_loop.h"
#include "services/manager_report.h"
#include "services/scripted_executor.h"

namespace dk::test {
namespace {

using platform::MainRunLoop;

constexpr char kBasic[] = R"({"userId":42,"accountId":7,"firstName":"Alex","lastName":"Example","email":"a@example.com"})";
constexpr char kDetails[] = R"({"companyName":"Example Ltd","phone":"+3120","country":"NL"})";

bool isDetails(const KLRequest& request) { return request.requestName() == USER_DETAILS_GET_REQUEST_CLOUD; }

class KLUserManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { KLServicesManager::setRequestExecutor(executor); }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
  }

  std::shared_ptr<ScriptedExecutor> executor = std::make_shared<ScriptedExecutor>();
  std::shared_ptr<KLUserManager> manager = std::make_shared<KLUserManager>();
};

TEST_F(KLUserManagerTest, RightsRepliesAreMappedAndMergedIntoTheOneRightsObject) {
  auto rights = manager->userRights();
  executor->setScript([](const KLRequest&, size_t index) {
    if (index == 0) return ScriptedReply::body(R"({"playback":true,"export":true,"ptz":false})");
    return ScriptedReply::body(R"({"playback":true,"export":true,"ptz":true,"addCameraManually":true})");
  });
  ManagerReport first;
  manager->getUserRightsWithSuccessBlock(first.success(), first.failure());
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(first.successes, 1);
  EXPECT_EQ(first.result.objectAs<KLUserRightsResponse>(), rights);
  EXPECT_EQ(rights->playback(), true);
  EXPECT_EQ(rights->rights(), 24u);  // playback 8 + export 16

  ManagerReport second;
  manager->getUserRightsWithSuccessBlock(second.success(), second.failure());
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(second.successes, 1);
  EXPECT_EQ(manager->userRights(), rights);  // updated in place
  EXPECT_EQ(rights->addCameraManualy(), true);
  EXPECT_EQ(rights->rights(), 24u + 32768u + 64u);
  EXPECT_EQ(executor->requests()[0]->requestName(), USER_RIGHTS_GET_REQUEST_CLOUD);
}

TEST_F(KLUserManagerTest, ARightsReplyThatIsNoDictionaryIsAnErrorAndChangesNothing) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body(R"(["playback"])"); });
  ManagerReport report;
  manager->getUserRightsWithSuccessBlock(report.success(), report.failure());
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(report.errors, 1);
  EXPECT_EQ(report.successes, 0);
  EXPECT_EQ(manager->userRights()->rights(), 0u);
}

TEST_F(KLUserManagerTest, BasicThenDetailsFillTheSameUser) {
  executor->setScript([](const KLRequest& request, size_t) {
    return ScriptedReply::body(isDetails(request) ? kDetails : kBasic);
  });
  auto user = manager->getUser();
  ManagerReport report;
  manager->getCurrentlyLoggedInUserWithSuccessBlock(report.success(), report.failure());
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(report.successes, 1);
  EXPECT_EQ(report.errors, 0);
  EXPECT_TRUE(report.onMain);
  EXPECT_EQ(report.result.objectAs<KLUserResponse>(), user);
  EXPECT_EQ(user->accountID(), 7);
  EXPECT_EQ(user->firstName(), "Alex");
  EXPECT_EQ(user->company(), "Example Ltd");  // the details kept the basic fields
  ASSERT_EQ(executor->count(), 2u);
  EXPECT_EQ(executor->requests()[0]->requestName(), USER_GET_REQUEST_CLOUD);
  EXPECT_TRUE(isDetails(*executor->requests()[1]));
}

TEST_F(KLUserManagerTest, AFailedBasicRequestStillLoadsTheDetails) {
  executor->setScript([](const KLRequest& request, size_t) {
    return isDetails(request) ? ScriptedReply::body(kDetails) : ScriptedReply::failure(500);
  });
  ManagerReport report;
  manager->getCurrentlyLoggedInUserWithSuccessBlock(report.success(), report.failure());
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(report.successes, 1);
  EXPECT_EQ(report.result.objectAs<KLUserResponse>()->telephone(), "+3120");
  EXPECT_EQ(executor->count(), 2u);
}

TEST_F(KLUserManagerTest, WhenBothFailTheSuccessBlockGetsTheSecondErrorAndTheUserStays) {
  executor->setScript([](const KLRequest& request, size_t) {
    return isDetails(request) ? ScriptedReply::failure(502) : ScriptedReply::failure(500);
  });
  manager->getUser()->setFirstName("Kept");
  ManagerReport report;
  manager->getCurrentlyLoggedInUserWithSuccessBlock(report.success(), report.failure());
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(report.successes, 1);
  EXPECT_EQ(report.errors, 0);
  auto error = errorFromResult(report.result);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->localizedDescription(), "Request failed: 502");
  EXPECT_EQ(manager->getUser()->firstName(), "Kept");
}

}  // namespace
}  // namespace dk::test

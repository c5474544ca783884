// Permission bits from the signed-in user's rights, as screens see them once their view loaded.
#include "ui/kl_permissions_view_controller.h"

#include <gtest/gtest.h>

#include <atomic>

#include "model/kl_user_response.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_loop.h"
#include "ui/base_screen_services.h"

namespace dk {
namespace {

constexpr unsigned long kAllMissing = KLPermissionNoCameraAudio | KLPermissionNoEdgeStorageManagement |
                                      KLPermissionNoViewFootage | KLPermissionNoDeleteFootage |
                                      KLPermissionNoExportFootage;
constexpr uint64_t kCheckedRights = KLUserRightMicrophone | KLUserRightPlayback | KLUserRightExport |
                                    KLUserRightEdgeStorageManagement | KLUserRightDeleteRecording;

class Permissions : public ::testing::Test {
 protected:
  void TearDown() override { installBaseScreenServices({}); }

  // The rights the user manager would hold, with this bit set.
  void holdRights(uint64_t mask) {
    auto rights = std::make_shared<KLUserRightsResponse>();
    rights->setRights(mask);
    installBaseScreenServices({[rights] { return rights; }});
  }
  static unsigned long permissionsOfNewScreen() {
    auto screen = std::make_shared<KLPermissionsViewController>();
    screen->loadViewIfNeeded();
    return screen->permissions();
  }
};

TEST_F(Permissions, NoRightsLoadedForbidsEverythingChecked) {
  EXPECT_EQ(permissionsOfNewScreen(), 12316u);
  installBaseScreenServices({[] { return KLUserRightsPtr(); }});
  EXPECT_EQ(permissionsOfNewScreen(), 12316u) << "a source without a model";
  holdRights(0);
  EXPECT_EQ(permissionsOfNewScreen(), 12316u) << "an empty mask";
}

TEST_F(Permissions, ADemoAccountCarriesOnlyTheDemoBit) {
  holdRights(KLUserRightDemoUser);
  EXPECT_EQ(permissionsOfNewScreen(), 2u);
  holdRights(KLUserRightDemoUser | kCheckedRights);
  EXPECT_EQ(permissionsOfNewScreen(), 2u);
}

TEST_F(Permissions, EachMissingRightForbidsItsOwnAction) {
  holdRights(kCheckedRights);
  EXPECT_EQ(permissionsOfNewScreen(), 0u);
  const std::pair<uint64_t, unsigned long> cases[] = {
      {KLUserRightMicrophone, KLPermissionNoCameraAudio},
      {KLUserRightPlayback, KLPermissionNoViewFootage},
      {KLUserRightExport, KLPermissionNoExportFootage},
      {KLUserRightEdgeStorageManagement, 4096},  // right 8192, permission 4096
      {KLUserRightDeleteRecording, 8192},        // right 16384, permission 8192
  };
  for (const auto& [right, bit] : cases) {
    holdRights(kCheckedRights & ~right);
    EXPECT_EQ(permissionsOfNewScreen(), bit) << "without right " << right;
  }
  holdRights(KLUserRightPtz | KLUserRightAddZone);
  EXPECT_EQ(permissionsOfNewScreen(), kAllMissing) << "rights that are not checked change nothing";
}

TEST_F(Permissions, RightsFromTheServerFlagsCount) {
  auto rights = std::make_shared<KLUserRightsResponse>();
  rights->setPlayback(true);
  rights->setMicrophone(true);
  installBaseScreenServices({[rights] { return rights; }});
  EXPECT_EQ(permissionsOfNewScreen(),
            KLPermissionNoEdgeStorageManagement | KLPermissionNoDeleteFootage | KLPermissionNoExportFootage);
}

// Records the order of the six operations and the rights they are asked about.
class OrderScreen : public KLPermissionsViewController {
 public:
  std::vector<std::pair<std::string, unsigned long>> calls;
  void demoUserPermissionWithRigths(unsigned long r) override { note("demo", r); }
  void listenToAudioOfTheCameraPermissionWithRights(unsigned long r) override { note("audio", r); }
  void edgeStorageManagementPermissionWithRights(unsigned long r) override { note("edge", r); }
  void viewFootagePermissionWithRights(unsigned long r) override { note("view", r); }
  void deleteFootagePermissionWithRights(unsigned long r) override { note("delete", r); }
  void exportFootagePermissionWithRights(unsigned long r) override { note("export", r); }

 private:
  void note(const char* name, unsigned long right) { calls.emplace_back(name, right); }
};

TEST_F(Permissions, ComputedOnceWhenTheViewLoadsInAFixedOrder) {
  auto screen = std::make_shared<OrderScreen>();
  EXPECT_TRUE(screen->calls.empty());
  screen->loadViewIfNeeded();
  const std::vector<std::pair<std::string, unsigned long>> expected = {
      {"demo", 2}, {"audio", 4}, {"edge", 8192}, {"view", 8}, {"delete", 16384}, {"export", 16}};
  EXPECT_EQ(screen->calls, expected);
  EXPECT_TRUE(screen->respondsToSelector("demoUserPermissionWithRigths:"));
  EXPECT_FALSE(screen->respondsToSelector("demoUserPermissionWithRights:"));
}

TEST_F(Permissions, AScreenLoadedBeforeTheRightsArrivedKeepsItsBits) {
  auto early = std::make_shared<KLPermissionsViewController>();
  early->loadViewIfNeeded();
  holdRights(kCheckedRights);
  early->view();  // loaded already: nothing is recomputed
  EXPECT_EQ(early->permissions(), kAllMissing);
  EXPECT_EQ(permissionsOfNewScreen(), 0u);
}

// The user manager merges each rights reply into the model it holds on a parser queue while
// screens read the model's cached bit set on the main thread.
TEST_F(Permissions, RightsMergedOnAParserQueueWhileScreensReadThem) {
  auto held = std::make_shared<KLUserRightsResponse>();
  installBaseScreenServices({[held] { return held; }});
  std::atomic<bool> merged{false};
  auto parser = platform::DispatchQueue::createConcurrent("com.kelo.parser");
  parser->async([held, &merged] {
    for (int i = 0; i < 200; ++i) {
      auto reply = std::make_shared<KLUserRightsResponse>();
      reply->setPlayback(true);
      reply->setExporting(i % 2 == 0);
      reply->setMicrophone(true);
      reply->setEdgeStorageManagement(true);
      reply->setDeleteRecording(true);
      held->mergeValuesForKeysFromModel(reply);
    }
    merged = true;
  });
  unsigned long seen = 0;
  while (!merged) seen |= permissionsOfNewScreen();
  platform::MainRunLoop::runUntilIdle();
  EXPECT_EQ(seen & ~kAllMissing, 0u) << "only known bits appear";
  // The last reply (i = 199) lacks export.
  EXPECT_EQ(permissionsOfNewScreen(), KLPermissionNoExportFootage);
}

}  // namespace
}  // namespace dk

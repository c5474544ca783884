#include "services/kl_push_notifications_manager.h"

#include <gtest/gtest.h>

#include "foundation/credential_storage.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/secure_store.h"
#include "services/kl_notification_category_helper.h"
#include "support/manual_clock.h"

namespace dk {
namespace {

using platform::MainRunLoop;
using platform::NotificationRequest;
using platform::UserNotificationCenter;
using platform::Value;
using platform::ValueDictionary;

const std::string kTag = "dkchronokit";

NotificationRequest push(const std::string& id, const std::string& category, Value cameraId) {
  NotificationRequest r;
  r.identifier = id;
  r.content.categoryIdentifier = category;
  if (!cameraId.isNil()) r.content.userInfo["id"] = cameraId;
  return r;
}

class PushNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override { UserNotificationCenter::resetForTesting(); }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    UserNotificationCenter::resetForTesting();
  }
  std::vector<std::string> deliveredIdentifiers() {
    std::vector<std::string> ids;
    for (const auto& d : UserNotificationCenter::currentNotificationCenter()->deliveredNotifications()) {
      ids.push_back(d.request.identifier);
    }
    return ids;
  }
};

TEST(NotificationCategoryHelperTest, MasksSelectTheirNamesAndNamesTheirBits) {
  EXPECT_EQ(KLNotificationCategoryHelper::getNotificationNamesForCategoryTypeMask(3),
            (std::vector<std::string>{kTag + "_ALARM_PIR", kTag + "_ALARM_MOTION", kTag + "_ALARM_AUDIO",
                                      kTag + "_ALARM_SOUND"}));
  EXPECT_TRUE(KLNotificationCategoryHelper::getNotificationNamesForCategoryTypeMask(0).empty());
  EXPECT_TRUE(KLNotificationCategoryHelper::getNotificationNamesForCategoryTypeMask(64).empty());
  EXPECT_EQ(KLNotificationCategoryHelper::getNotificationNamesForCategoryTypeMask(48),
            (std::vector<std::string>{kTag + "_AnalyticsEvent", kTag + "_ALARM_DOORBELL"}));
  EXPECT_EQ(KLNotificationCategoryHelper::notificationNameToCategoryTypeMap().size(), 7u);

  EXPECT_TRUE(KLNotificationCategoryHelper::doNotificationName("GEOFENCING_ENTER_EXIT_REGION", 8));
  EXPECT_FALSE(KLNotificationCategoryHelper::doNotificationName("GEOFENCING_ENTER_EXIT_REGION", 16));
  EXPECT_TRUE(KLNotificationCategoryHelper::doNotificationName(kTag + "_ALARM_SOUND", 2 | 16));
  EXPECT_FALSE(KLNotificationCategoryHelper::doNotificationName("SOMETHING_ELSE", -1));
  // Every name maps back into the mask of its own bit.
  for (const auto& [name, bit] : KLNotificationCategoryHelper::notificationNameToCategoryTypeMap()) {
    auto names = KLNotificationCategoryHelper::getNotificationNamesForCategoryTypeMask(bit);
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
}

TEST_F(PushNotificationsTest, TheDoorbellCategoriesCarryAcceptThenDecline) {
  auto categories = KLPushNotificationsManager::pushNotificationsActionsForDoorbellCategory();
  ASSERT_EQ(categories.size(), 1u);
  EXPECT_EQ(categories[0].identifier, kTag + "_ALARM_DOORBELL");
  ASSERT_EQ(categories[0].actions.size(), 2u);
  EXPECT_EQ(categories[0].actions[0].identifier, "NOTIFICATION_BUTTON_ACCEPT_CALL");
  EXPECT_EQ(categories[0].actions[0].options, 4u);  // opens the application
  EXPECT_EQ(categories[0].actions[1].identifier, "NOTIFICATION_BUTTON_DECLINE_CALL");
  EXPECT_EQ(categories[0].actions[1].options, 2u);  // destructive
  EXPECT_FALSE(categories[0].actions[0].title.empty());
  EXPECT_TRUE(categories[0].intentIdentifiers.empty());
  EXPECT_EQ(categories[0].options, 0u);
}

TEST_F(PushNotificationsTest, OnlyTheCamerasNotificationsOfTheMaskAreRemoved) {
  auto center = UserNotificationCenter::currentNotificationCenter();
  center->deliver(push("ring-7", kTag + "_ALARM_DOORBELL", Value(7)));
  center->deliver(push("ring-8", kTag + "_ALARM_DOORBELL", Value(8)));
  center->deliver(push("ring-none", kTag + "_ALARM_DOORBELL", Value()));
  center->deliver(push("ring-text", kTag + "_ALARM_DOORBELL", Value("7")));
  center->deliver(push("motion-7", kTag + "_ALARM_MOTION", Value(7)));
  KLPushNotificationsManager::deleteDeliveredPushNotificationsWithCategory(16, std::nullopt);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(deliveredIdentifiers().size(), 5u);

  KLPushNotificationsManager::deleteDeliveredPushNotificationsWithCategory(16, 7);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(deliveredIdentifiers(), (std::vector<std::string>{"ring-8", "ring-none", "ring-text", "motion-7"}));
}

TEST_F(PushNotificationsTest, DeletingTheCredentialRemovesEveryDeliveredNotification) {
  platform::SecureStore::setShared(platform::InMemorySecureStore::create());
  KLPushNotificationsManager::installDeliveredNotificationsRemover();
  auto center = UserNotificationCenter::currentNotificationCenter();
  center->deliver(push("a", kTag + "_ALARM_PIR", Value(1)));
  center->deliver(push("b", "GEOFENCING_ENTER_EXIT_REGION", Value()));
  deleteCredential();
  MainRunLoop::runUntilIdle();
  EXPECT_TRUE(deliveredIdentifiers().empty());
  setDeleteAllDeliveredPushNotificationsHandler(nullptr);
  platform::SecureStore::setShared(nullptr);
}

TEST_F(PushNotificationsTest, LocalNotificationsAreDeliveredTwoSecondsLater) {
  test::ManualClockScope clock;
  KLPushNotificationsManager::sendLocalNotificationWithMessage("Doorbell pressed", kTag + "_ALARM_DOORBELL",
                                                               ValueDictionary{{"id", Value(7)}});
  MainRunLoop::runUntilIdle();
  auto center = UserNotificationCenter::currentNotificationCenter();
  auto pending = center->pendingNotificationRequests();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].content.body, "Doorbell pressed");
  EXPECT_EQ(pending[0].content.sound, "default");
  EXPECT_EQ(pending[0].content.userInfo.at("id"), Value(7));
  EXPECT_EQ(pending[0].timeInterval, 2.0);
  EXPECT_FALSE(pending[0].repeats);
  EXPECT_EQ(pending[0].identifier.size(), 36u);
  KLPushNotificationsManager::sendLocalNotificationWithMessage("Motion", kTag + "_ALARM_MOTION");
  clock.advance(2.0);
  EXPECT_EQ(center->deliveredNotifications().size(), 2u);
}

TEST_F(PushNotificationsTest, APayloadsNameIsItsLocalisationKey) {
  auto payload = Value::parseJSON(R"({"aps":{"alert":{"loc-key":"dkchronokit_ALARM_DOORBELL"}},"id":7})");
  EXPECT_EQ(KLPushNotificationsManager::pushNotificationNameWithUserInfo(payload), "dkchronokit_ALARM_DOORBELL");
  EXPECT_EQ(KLPushNotificationsManager::pushNotificationNameWithUserInfo(Value::parseJSON(R"({"aps":{"alert":{}}})")),
            std::nullopt);
  EXPECT_EQ(KLPushNotificationsManager::pushNotificationNameWithUserInfo(Value::parseJSON(R"({"aps":{}})")),
            std::nullopt);
  EXPECT_EQ(KLPushNotificationsManager::pushNotificationNameWithUserInfo(Value()), std::nullopt);
  int calls = 0;
  KLPushNotificationsManager::showTimelineForCameraID(7, 0, [&] { calls++; });
  KLPushNotificationsManager::showTimelineForCameraID(7, 0, nullptr);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace dk

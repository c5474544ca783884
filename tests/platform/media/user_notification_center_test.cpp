#include "platform/media/streamer/user_notification_center.h"

#include <gtest/gtest.h>

#include <atomic>

#include "support/manual_clock.h"

namespace dk::platform {
namespace {

NotificationRequest request(const std::string& id, std::optional<double> after, bool repeats = false) {
  NotificationRequest r;
  r.identifier = id;
  r.content.body = "body of " + id;
  r.timeInterval = after;
  r.repeats = repeats;
  return r;
}

class UserNotificationCenterTest : public ::testing::Test {
 protected:
  void SetUp() override { UserNotificationCenter::resetForTesting(); }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    UserNotificationCenter::resetForTesting();
  }
  dk::test::ManualClockScope clock;
  std::shared_ptr<UserNotificationCenter> center = UserNotificationCenter::currentNotificationCenter();
};

TEST_F(UserNotificationCenterTest, ARequestIsPendingUntilItsTriggerFiresThenDelivered) {
  std::atomic<bool> completed{false};
  std::atomic<bool> onCenterQueue{false};
  center->addNotificationRequest(request("a", 2.0), [&](const ErrorPtr& error) {
    EXPECT_EQ(error, nullptr);
    onCenterQueue = center->queue()->isCurrent();
    completed = true;
  });
  MainRunLoop::runUntilIdle();
  EXPECT_TRUE(completed);
  EXPECT_TRUE(onCenterQueue);
  ASSERT_EQ(center->pendingNotificationRequests().size(), 1u);
  EXPECT_TRUE(center->deliveredNotifications().empty());

  clock.advance(1.9);
  EXPECT_TRUE(center->deliveredNotifications().empty());
  clock.advance(0.2);
  auto delivered = center->deliveredNotifications();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].request.content.body, "body of a");
  EXPECT_DOUBLE_EQ(delivered[0].date, 1700000002.1);
  EXPECT_TRUE(center->pendingNotificationRequests().empty());
}

TEST_F(UserNotificationCenterTest, InvalidTriggersAreRefusedAndRemovedRequestsNeverFire) {
  std::vector<ErrorPtr> errors;
  std::mutex mutex;
  auto keep = [&](const ErrorPtr& e) {
    std::lock_guard<std::mutex> lock(mutex);
    errors.push_back(e);
  };
  center->addNotificationRequest(request("zero", 0.0), keep);
  center->addNotificationRequest(request("often", 30.0, true), keep);
  center->addNotificationRequest(request("later", 5.0), keep);
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_NE(errors[0], nullptr);
  EXPECT_NE(errors[1], nullptr);
  EXPECT_EQ(errors[2], nullptr);
  center->removePendingNotificationRequestsWithIdentifiers({"later"});
  clock.advance(10);
  EXPECT_TRUE(center->deliveredNotifications().empty());
  EXPECT_TRUE(center->pendingNotificationRequests().empty());
}

TEST_F(UserNotificationCenterTest, DeliveredNotificationsAreListedAndRemovedByIdentifier) {
  center->deliver(request("push-1", std::nullopt));
  center->deliver(request("push-2", std::nullopt));
  center->deliver(request("push-1", std::nullopt));  // the same identifier replaces
  std::vector<DeliveredNotification> seen;
  center->getDeliveredNotificationsWithCompletionHandler([&](std::vector<DeliveredNotification> all) { seen = all; });
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(seen.size(), 2u);
  center->removeDeliveredNotificationsWithIdentifiers({"push-1"});
  ASSERT_EQ(center->deliveredNotifications().size(), 1u);
  EXPECT_EQ(center->deliveredNotifications()[0].request.identifier, "push-2");
  center->removeAllDeliveredNotifications();
  EXPECT_TRUE(center->deliveredNotifications().empty());

  center->setNotificationCategories({{"doorbell", {{"ACCEPT", "Accept", NotificationActionOptionForeground}}, {}, 0}});
  std::vector<NotificationCategory> categories;
  center->getNotificationCategoriesWithCompletionHandler([&](std::vector<NotificationCategory> c) { categories = c; });
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(categories.size(), 1u);
  EXPECT_EQ(categories[0].actions.at(0).options, 4u);
}

}  // namespace
}  // namespace dk::platform

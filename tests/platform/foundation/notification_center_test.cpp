#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/foundation/notification_center.h"

namespace dk::platform {
namespace {

TEST(NotificationCenter, DeliversSynchronouslyToEachRegistrationIncludingDuplicates) {
  NotificationCenter center;
  auto observer = std::make_shared<int>(0);
  int calls = 0;
  std::string sawKey;
  center.addObserver(observer, "kCamerasUpdatedNotifiction", [&](const Notification& n) {
    calls++;
    sawKey = n.userInfo.count("cameraId") ? n.userInfo.at("cameraId").description() : "";
  });
  center.addObserver(observer, "kCamerasUpdatedNotifiction", [&](const Notification&) { calls++; });
  center.post("kCamerasUpdatedNotifiction", nullptr, {{"cameraId", Value(7)}});
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(sawKey, "7");
  center.post("other");
  EXPECT_EQ(calls, 2);
}

TEST(NotificationCenter, RemovalByNameKeepsOtherNamesAndDeadObserversStopReceiving) {
  NotificationCenter center;
  auto observer = std::make_shared<int>(0);
  int a = 0, b = 0;
  center.addObserver(observer, "a", [&](const Notification&) { a++; });
  center.addObserver(observer, "b", [&](const Notification&) { b++; });
  center.removeObserver(observer.get(), "a");
  center.post("a");
  center.post("b");
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  observer.reset();
  center.post("b");
  EXPECT_EQ(b, 1);
  EXPECT_EQ(center.observerCount("b"), 0u);
}

TEST(NotificationCenter, AnObserverMayRemoveItselfWhileBeingNotified) {
  NotificationCenter center;
  auto observer = std::make_shared<int>(0);
  int calls = 0;
  center.addObserver(observer, "x", [&](const Notification&) {
    calls++;
    center.removeObserver(observer.get());
  });
  center.post("x");
  center.post("x");
  EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, ConcurrentPostsAndRegistrationsAreSafe) {
  NotificationCenter center;
  std::atomic<int> delivered{0};
  std::vector<std::thread> threads;
  std::vector<std::shared_ptr<const void>> tokens(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      tokens[t] = center.addObserver("n", [&](const Notification&) { delivered++; });
      for (int i = 0; i < 200; ++i) center.post("n");
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_GE(delivered.load(), 200 * 4);
}

}  // namespace
}  // namespace dk::platform

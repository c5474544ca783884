#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/notification_center.h"
#include "platform/net/captive_network.h"
#include "platform/net/reachability.h"

namespace dk::platform {
namespace {

TEST(NetworkReachability, MonitoringReportsEachChangeOnTheMainThread) {
  auto& reachability = NetworkReachability::sharedManager();
  std::atomic<int> reported{static_cast<int>(NetworkReachabilityStatus::ReachableViaWiFi)};
  reachability.setProvider([&] { return static_cast<NetworkReachabilityStatus>(reported.load()); });

  std::vector<int> notified;
  std::vector<NetworkReachabilityStatus> blocks;
  auto token = NotificationCenter::defaultCenter().addObserver(
      kNetworkingReachabilityDidChangeNotification, [&](const Notification& n) {
        EXPECT_TRUE(isMainThread());
        notified.push_back(static_cast<int>(n.userInfo.at(kNetworkingReachabilityNotificationStatusItem).integerValue()));
      });
  reachability.setReachabilityStatusChangeBlock([&](NetworkReachabilityStatus s) { blocks.push_back(s); });

  reachability.startMonitoring();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(reachability.isReachableViaWiFi());
  reported = static_cast<int>(NetworkReachabilityStatus::ReachableViaWWAN);
  reachability.refresh();
  reachability.refresh();  // no change, no report
  reported = static_cast<int>(NetworkReachabilityStatus::NotReachable);
  reachability.setProvider([&] { return static_cast<NetworkReachabilityStatus>(reported.load()); });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_FALSE(reachability.isReachable());
  EXPECT_EQ(notified, (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(blocks.size(), 3u);

  reachability.stopMonitoring();
  reported = static_cast<int>(NetworkReachabilityStatus::ReachableViaWiFi);
  reachability.refresh();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(notified.size(), 3u);  // not monitoring: read, not reported
  reachability.setReachabilityStatusChangeBlock(nullptr);
  reachability.setProvider(nullptr);
}

TEST(NetworkReachability, SystemStatusIsAKnownValue) {
  const auto status = NetworkReachability::systemStatus();
  EXPECT_TRUE(status == NetworkReachabilityStatus::NotReachable || status == NetworkReachabilityStatus::ReachableViaWiFi ||
              status == NetworkReachabilityStatus::ReachableViaWWAN || status == NetworkReachabilityStatus::Unknown);
}

TEST(CaptiveNetwork, AnInstalledProviderAnswersUntilRemoved) {
  CaptiveNetwork::setProvider({[] { return std::vector<std::string>{"wlan0", "wlan1"}; },
                               [](const std::string& name) {
                                 return name == "wlan1" ? ValueDictionary{{kCaptiveNetworkInfoKeySSID, Value("KELO-CAM-1")}}
                                                        : ValueDictionary{};
                               }});
  EXPECT_EQ(CaptiveNetwork::copySupportedInterfaces(), (std::vector<std::string>{"wlan0", "wlan1"}));
  EXPECT_TRUE(CaptiveNetwork::copyCurrentNetworkInfo("wlan0").empty());
  EXPECT_EQ(CaptiveNetwork::copyCurrentNetworkInfo("wlan1").at("SSID").stringValue(), "KELO-CAM-1");
  CaptiveNetwork::setProvider({});
  // The system's answer for a name that is no interface is empty, not an error.
  EXPECT_TRUE(CaptiveNetwork::copyCurrentNetworkInfo("no-such-if0").empty());
}

}  // namespace
}  // namespace dk::platform

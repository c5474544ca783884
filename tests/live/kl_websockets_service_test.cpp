// The on/off switch following reachability: losing the network turns the feed off, getting it
// back (mobile data or Wi-Fi) turns it on again for the remembered account.
#include "live/live_feed_fixture.h"

namespace dk::test {
namespace {

using platform::NetworkReachabilityStatus;
using platform::Value;

class WebsocketsServiceTest : public LiveFeedTest {
 protected:
  void reachability(NetworkReachabilityStatus status) {
    platform::NetworkReachability::sharedManager().setProvider([status] { return status; });
    platform::NetworkReachability::sharedManager().refresh();
    KLWebsocketsService::handle_AFNetworkingReachabilityDidChangeNotification();
  }
};

TEST_F(WebsocketsServiceTest, LosingAndRegainingTheNetworkTurnsTheFeedOffAndOn) {
  connectFor(Value(777));
  reachability(NetworkReachabilityStatus::NotReachable);
  ASSERT_TRUE(pumpUntil([&] { return live().openConnections() == 0; }));
  EXPECT_FALSE(feed->shouldConnect());

  reachability(NetworkReachabilityStatus::Unknown);
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_FALSE(feed->shouldConnect());
  EXPECT_EQ(live().upgradeRequests(), 1u);

  reachability(NetworkReachabilityStatus::ReachableViaWWAN);
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && live().subscriptions().size() == 1; }));
  EXPECT_EQ(live().subscriptions()[0], "/exchange/devicekeeper/777.cameras.#");
}

TEST_F(WebsocketsServiceTest, TheTurnOnPostsTheAccountOrNull) {
  std::vector<platform::ValueDictionary> posted;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      kReconnectWebSocketsNotification, [&](const platform::Notification& n) { posted.push_back(n.userInfo); });
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  KLWebsocketsService::websocketsTurnONWithAccountID(nullptr);
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  ASSERT_EQ(posted.size(), 2u);
  std::vector<Value> accounts = {posted[0].at(kWebSocketsAccountIdKey), posted[1].at(kWebSocketsAccountIdKey)};
  EXPECT_EQ(std::count(accounts.begin(), accounts.end(), Value(777)), 1);
  EXPECT_EQ(std::count_if(accounts.begin(), accounts.end(), [](const Value& v) { return v.isNull(); }), 1);
  EXPECT_EQ(KLWebsocketsService::sharedInstance(), KLWebsocketsService::sharedInstance());
  // The fixture's feed heard the turn-on too; let its attempt land rather than leave it in
  // flight for the next test (or the end of the process) to meet.
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && live().subscriptions().size() == 1; }));
}

}  // namespace
}  // namespace dk::test

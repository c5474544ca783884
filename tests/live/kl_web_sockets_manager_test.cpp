// The live feed against the local cloud's STOMP endpoint: connecting, turning off and on, and
// every way a bad or failing peer can end a connection, with reconnection paced on the manual
// clock.
#include <atomic>
#include <cmath>
#include <utility>

#include "live/live_feed_fixture.h"

namespace dk {

struct KLWebSocketsManagerTestAccess {
  // The first half of a turn-off: the feed is no longer wanted, the client not yet closed.
  static void storeTurnOff(KLWebSocketsManager& feed) { feed.shouldConnect_ = false; }
};

namespace test {
namespace {

using platform::Value;

TEST_F(LiveFeedTest, TurnOnConnectsOverWsWithTheBearerTokenAndSubscribesTheAccount) {
  connectFor(Value(777));
  EXPECT_EQ(live().subscriptions(), std::vector<std::string>{"/exchange/devicekeeper/777.cameras.#"});
  auto upgrades = sim.requestsTo("/stomp/v2.0");
  ASSERT_EQ(upgrades.size(), 1u);
  EXPECT_FALSE(upgrades[0].tls);  // the REST protocol is http, so the scheme is ws
  EXPECT_EQ(upgrades[0].header("Authorization"), "Bearer " + sim.accessToken());
  auto connects = live().connectFrames();
  ASSERT_EQ(connects.size(), 1u);
  EXPECT_EQ(connects[0]["accept-version"], "1.2");
  EXPECT_EQ(connects[0]["host"], "127.0.0.1");
  EXPECT_EQ(connects[0]["heart-beat"], "10000,10000");
  EXPECT_EQ(connects[0]["Authorization"], "Bearer " + sim.accessToken());
  EXPECT_EQ(loggedCount("WEBSOCKETS connected!!!!"), 1u);
  EXPECT_FALSE(feed->connecting());
  EXPECT_EQ(feed->accountID(), Value(777));
}

TEST_F(LiveFeedTest, NoPingAndNoConnectionWhileOnACameraAccessPoint) {
  onNetwork("KELO-CAM-4411");
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  // Even a turn-on posted directly does not connect there.
  platform::NotificationCenter::defaultCenter().post(kReconnectWebSocketsNotification, nullptr,
                                                     {{kWebSocketsAccountIdKey, Value(777)}});
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  clock.advance(120);
  EXPECT_TRUE(sim.requestsTo("/rest/v2.0/ping").empty());
  EXPECT_EQ(live().upgradeRequests(), 0u);
  EXPECT_FALSE(feed->connecting());

  onNetwork("Doorbell-22");
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_EQ(live().upgradeRequests(), 0u);
}

TEST_F(LiveFeedTest, ATurnOnWithoutAccountWaitsForOneAndThenReusesIt) {
  KLWebsocketsService::websocketsTurnONWithAccountID(nullptr);
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/ping").size(), 1u);
  EXPECT_EQ(live().upgradeRequests(), 0u);
  EXPECT_TRUE(feed->accountID().isNil());

  connectFor(Value(777));
  // Background: the facade turns the feed off; foreground: on again, without an account.
  KLWebsocketsService::websocketsTurnOFF();
  ASSERT_TRUE(pumpUntil([&] { return live().openConnections() == 0 && live().disconnectFrames() == 1; }));
  EXPECT_FALSE(feed->shouldConnect());
  EXPECT_FALSE(feed->isConnected());
  clock.advance(120);
  EXPECT_EQ(live().upgradeRequests(), 1u);  // a turn-off is not a drop: no reconnection

  connectFor(nullptr);
  EXPECT_EQ(live().subscriptions(), std::vector<std::string>{"/exchange/devicekeeper/777.cameras.#"});
  EXPECT_EQ(live().upgradeRequests(), 2u);
}

TEST_F(LiveFeedTest, AFailedPingTurnsNothingOn) {
  sim.addFault(cloudsim::FaultRule::failWith("/rest/v2.0/ping", 500));
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_EQ(live().upgradeRequests(), 0u);
  EXPECT_TRUE(feed->accountID().isNil());
}

TEST_F(LiveFeedTest, ARefusedUpgradeStopsReconnectingUntilTheNextTurnOn) {
  live().setBehaviour({.refuseUpgradeStatus = 401});
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  ASSERT_TRUE(pumpUntil([&] { return !feed->shouldConnect(); }));
  EXPECT_TRUE(logged("WEBSOCKETS disconnected!!!!"));
  EXPECT_TRUE(logged("Invalid HTTP upgrade"));
  for (int i = 0; i < 20; ++i) clock.advance(30);
  EXPECT_EQ(live().upgradeRequests(), 1u);

  live().setBehaviour({});
  connectFor(nullptr);
  EXPECT_EQ(live().upgradeRequests(), 2u);
}

TEST_F(LiveFeedTest, ARevokedTokenIsARefusedUpgrade) {
  sim.revokeToken(sim.accessToken());
  platform::NotificationCenter::defaultCenter().post(kReconnectWebSocketsNotification, nullptr,
                                                     {{kWebSocketsAccountIdKey, Value(777)}});
  ASSERT_TRUE(pumpUntil([&] { return !feed->shouldConnect(); }));
  EXPECT_TRUE(logged("Invalid HTTP upgrade"));
  EXPECT_EQ(sim.requestsTo("/stomp/v2.0").size(), 1u);
}

TEST_F(LiveFeedTest, AServerThatAlwaysRefusesGetsOnlyAHandfulOfAttemptsAMinute) {
  sim.stop();
  feed->setPacing({});  // the real jitter
  platform::NotificationCenter::defaultCenter().post(kReconnectWebSocketsNotification, nullptr,
                                                     {{kWebSocketsAccountIdKey, Value(777)}});
  ASSERT_TRUE(pumpUntil([&] { return feed->connectionAttempts() == 1 && !feed->connecting(); }));
  // An attempt's refusal comes back over a socket, after the step that started it; wait for it,
  // or the next delay would start late on the manual clock and the count would follow the machine.
  const auto step = [&](double seconds) {
    clock.advance(seconds);
    ASSERT_TRUE(pumpUntil([&] { return !feed->connecting(); }));
  };
  for (int i = 0; i < 120; ++i) step(0.5);
  EXPECT_GE(feed->connectionAttempts(), 4u);
  EXPECT_LE(feed->connectionAttempts(), 7u);
  EXPECT_TRUE(feed->shouldConnect());  // still wanted: it keeps trying, slowly

  // The delay is capped: the next ten minutes bring about one attempt a minute.
  const uint64_t before = feed->connectionAttempts();
  for (int i = 0; i < 120; ++i) step(5);  // fine steps: 30 s ones turned a 61 s delay into 90
  EXPECT_GE(feed->connectionAttempts() - before, 7u);  // 600 s at 45 to 75 s apart
  EXPECT_LE(feed->connectionAttempts() - before, 14u);
}

TEST_F(LiveFeedTest, BackOffStartsAgainAfterASuccessfulConnection) {
  sim.stop();
  platform::NotificationCenter::defaultCenter().post(kReconnectWebSocketsNotification, nullptr,
                                                     {{kWebSocketsAccountIdKey, Value(777)}});
  ASSERT_TRUE(pumpUntil([&] { return feed->connectionAttempts() == 1 && !feed->connecting(); }));
  for (int i = 0; i < 4; ++i) {  // attempts after 1, 2, 4 and 8 s
    const uint64_t n = feed->connectionAttempts();
    clock.advance(std::pow(2.0, i));
    ASSERT_TRUE(pumpUntil([&] { return feed->connectionAttempts() == n + 1 && !feed->connecting(); }));
  }
  ASSERT_NE(sim.start(), 0);
  clock.advance(16);
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected(); }));

  const size_t disconnections = loggedCount("WEBSOCKETS disconnected!!!!");
  live().dropConnections();
  ASSERT_TRUE(pumpUntil([&] { return loggedCount("WEBSOCKETS disconnected!!!!") == disconnections + 1; }));
  clock.advance(1);  // one second again, not the 32 the failures had reached
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && live().subscriptions().size() == 1; }));
}

TEST_F(LiveFeedTest, AnErrorFrameOnAnOpenSocketIsADisconnection) {
  connectFor(Value(777));
  live().sendError("internal broker failure");
  ASSERT_TRUE(pumpUntil([&] { return logged("internal broker failure"); }));
  EXPECT_FALSE(feed->isConnected());
  clock.advance(1);
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && live().subscriptions().size() == 1; }));
  EXPECT_EQ(live().upgradeRequests(), 2u);
}

TEST_F(LiveFeedTest, AMalformedFrameEndsTheConnectionWithALogLine) {
  connectFor(Value(777));
  live().sendRaw(std::string("MESSAGE\nsubscription sub-0\n\n{}") + '\0');
  ASSERT_TRUE(pumpUntil([&] { return logged("malformed header"); }));
  EXPECT_FALSE(feed->isConnected());
  EXPECT_EQ(events->count(), 0u);
}

TEST_F(LiveFeedTest, AnOversizeFrameEndsTheConnectionWithALogLine) {
  connectFor(Value(777));
  live().sendRaw("MESSAGE\nsubscription:sub-0\ndestination:/exchange/devicekeeper/777.cameras.1.events_v24\n\n" +
                 std::string(1536 * 1024, 'x') + '\0');
  ASSERT_TRUE(pumpUntil([&] { return logged("exceeds 1048576"); })) << logText();
  EXPECT_FALSE(feed->isConnected());
  EXPECT_EQ(events->count(), 0u);
}

TEST_F(LiveFeedTest, AServerThatFallsSilentIsLeftAndReconnected) {
  live().setBehaviour({.heartbeat = "10000,10000"});  // promises beats, sends none
  connectFor(Value(777));
  clock.advance(10);
  clock.advance(10);
  EXPECT_TRUE(feed->isConnected());
  clock.advance(10);
  ASSERT_TRUE(pumpUntil([&] { return logged("no heart-beat"); }));
  EXPECT_FALSE(feed->isConnected());
  live().setBehaviour({});
  clock.advance(1);
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && live().subscriptions().size() == 1; }));
}

TEST_F(LiveFeedTest, AnAttemptThatNeverCompletesTimesOutAndIsRetried) {
  live().setBehaviour({.answerConnect = false});
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  ASSERT_TRUE(pumpUntil([&] { return live().connectFrames().size() == 1; }));
  EXPECT_TRUE(feed->connecting());
  clock.advance(29);
  EXPECT_TRUE(feed->connecting());
  clock.advance(1);
  EXPECT_FALSE(feed->connecting());
  EXPECT_TRUE(logged("WEBSOCKETS connection attempt timed out"));
  live().setBehaviour({});
  clock.advance(1);
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && live().subscriptions().size() == 1; }));
  EXPECT_EQ(live().connectFrames().size(), 2u);
}

TEST_F(LiveFeedTest, ADroppedConnectionIsReconnected) {
  connectFor(Value(777));
  live().dropConnections();
  ASSERT_TRUE(pumpUntil([&] { return logged("WEBSOCKETS disconnected!!!!"); }));
  clock.advance(1);
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && live().subscriptions().size() == 1; }));
  EXPECT_EQ(loggedCount("WEBSOCKETS connected!!!!"), 2u);
}

// The cloud drops the connection while a frame it sends is still being written: the write's
// completion must not find the frame gone (the endpoint used to free it twice), and the feed
// comes back each time.
TEST_F(LiveFeedTest, ADropWhileTheCloudIsWritingIsReconnected) {
  connectFor(Value(777));
  for (size_t round = 1; round <= 3; ++round) {
    live().sendRaw("\n");  // a heart-beat: its write is in flight when the drop runs
    live().dropConnections();
    ASSERT_TRUE(pumpUntil([&] { return loggedCount("WEBSOCKETS disconnected!!!!") == round; }));
    clock.advance(1);
    ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && live().subscriptions().size() == 1; }));
  }
  EXPECT_EQ(loggedCount("WEBSOCKETS connected!!!!"), 4u);
}

TEST_F(LiveFeedTest, ATurnOffDuringAnAttemptLeavesTheFeedAbleToConnectLater) {
  live().setBehaviour({.answerConnect = false});
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  ASSERT_TRUE(pumpUntil([&] { return live().connectFrames().size() == 1; }));
  KLWebsocketsService::websocketsTurnOFF();
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_FALSE(feed->connecting());
  live().setBehaviour({});
  connectFor(nullptr);
}

// A socket the test plays the server of: silent until told to answer, it records whether the
// feed opened and closed it and the command of each frame the feed sent.
class ScriptedSocket final : public platform::WebSocket {
 public:
  void open(platform::WebSocketHandlers handlers) override {
    std::lock_guard lock(mutex_);
    handlers_ = std::move(handlers);
    opened_ = true;
  }
  void send(std::string message) override {
    std::lock_guard lock(mutex_);
    if (!closed_ && message != "\n") commands_.push_back(message.substr(0, message.find('\n')));
  }
  // As a real socket does: `closed` follows with nullptr, and the handlers are let go.
  void close() override {
    platform::WebSocketHandlers handlers;
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
      handlers = std::exchange(handlers_, {});
    }
    if (handlers.closed) handlers.closed(nullptr);
  }

  void accept() {
    if (auto h = handlers(); h.opened) h.opened();
  }
  void deliver(std::string frame) {
    if (auto h = handlers(); h.message) h.message(std::move(frame));
  }
  bool opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
  }
  bool closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
  }
  std::vector<std::string> commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }

 private:
  platform::WebSocketHandlers handlers() const {
    std::lock_guard lock(mutex_);
    return handlers_;
  }
  mutable std::mutex mutex_;
  platform::WebSocketHandlers handlers_;
  bool opened_ = false;
  bool closed_ = false;
  std::vector<std::string> commands_;
};

// The turn-off lands inside the connect step, after the step saw the feed wanted and before the
// client is kept: the step must not go on to connect and subscribe in the background.
TEST_F(LiveFeedTest, ATurnOffDuringTheConnectStepLeavesTheFeedOff) {
  auto socket = std::make_shared<ScriptedSocket>();
  std::atomic<int> built{0};
  feed->setSocketFactory([&](platform::WebSocketOptions) -> platform::WebSocketPtr {
    built++;
    KLWebsocketsService::websocketsTurnOFF();
    return socket;
  });
  platform::NotificationCenter::defaultCenter().post(kReconnectWebSocketsNotification, nullptr,
                                                     {{kWebSocketsAccountIdKey, Value(777)}});
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_EQ(built.load(), 1);
  EXPECT_FALSE(socket->opened());
  EXPECT_FALSE(feed->shouldConnect());
  EXPECT_FALSE(feed->connecting());
  EXPECT_FALSE(feed->isConnected());
  clock.advance(120);  // no attempt time-out, no reconnection either
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_EQ(built.load(), 1);
  EXPECT_EQ(feed->connectionAttempts(), 0u);

  // The next turn-on connects as usual.
  feed->setSocketFactory({});
  connectFor(nullptr);
}

// A turn-off stores its flag before it closes the client: a CONNECTED answered in between must
// find the feed off and leave the connection unsubscribed for the rest of the turn-off to close.
TEST_F(LiveFeedTest, AConnectionThatOpensAsTheFeedTurnsOffIsNeitherKeptNorSubscribed) {
  auto socket = std::make_shared<ScriptedSocket>();
  feed->setSocketFactory([&](platform::WebSocketOptions) -> platform::WebSocketPtr { return socket; });
  platform::NotificationCenter::defaultCenter().post(kReconnectWebSocketsNotification, nullptr,
                                                     {{kWebSocketsAccountIdKey, Value(777)}});
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  ASSERT_TRUE(socket->opened());
  socket->accept();
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  ASSERT_EQ(socket->commands(), std::vector<std::string>{"CONNECT"});
  ASSERT_TRUE(feed->connecting());

  KLWebSocketsManagerTestAccess::storeTurnOff(*feed);
  socket->deliver(std::string("CONNECTED\nversion:1.2\nheart-beat:0,0\n\n") + '\0');
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_FALSE(feed->connecting());
  EXPECT_FALSE(feed->isConnected());
  EXPECT_EQ(feed->subscribeToUpdatesOfJobWithId(Value(55)), std::nullopt);
  EXPECT_FALSE(logged("WEBSOCKETS connected!!!!")) << logText();
  EXPECT_EQ(socket->commands(), std::vector<std::string>{"CONNECT"});  // no SUBSCRIBE

  // The rest of the turn-off closes the connection; nothing reconnects.
  feed->handle_kDisconnectWebSocketsNotification();
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_TRUE(socket->closed());
  clock.advance(120);
  ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
  EXPECT_EQ(feed->connectionAttempts(), 1u);
  EXPECT_FALSE(feed->isConnected());
}

TEST_F(LiveFeedTest, AJobSubscriptionNeedsAConnection) {
  EXPECT_EQ(feed->subscribeToUpdatesOfJobWithId(Value(55)), std::nullopt);
  connectFor(Value(777));
  EXPECT_NE(feed->subscribeToUpdatesOfJobWithId(Value(55)), std::nullopt);
  ASSERT_TRUE(pumpUntil([&] { return live().subscriptions().size() == 2; }));
  auto subscriptions = live().subscriptions();
  EXPECT_NE(std::find(subscriptions.begin(), subscriptions.end(), "/exchange/devicekeeper/777.jobs.55.#"),
            subscriptions.end());
}

}  // namespace
}  // namespace test
}  // namespace dk

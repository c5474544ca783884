// The STOMP client over a scripted socket: what it sends, what it makes of what the server sends,
// heart-beats both ways on the manual clock, and every way the connection can end.
#include <gtest/gtest.h>

#include <mutex>

#include "platform/dispatch/run_loop.h"
#include "platform/net/stomp_client.h"
#include "support/manual_clock.h"

namespace dk::platform {
namespace {

using test::ManualClockScope;

// A socket the test plays the server of. Handlers are called from the test thread.
class ScriptedSocket final : public WebSocket {
 public:
  void open(WebSocketHandlers handlers) override {
    std::lock_guard lock(mutex_);
    handlers_ = std::move(handlers);
    opened_ = true;
  }
  void send(std::string message) override {
    std::lock_guard lock(mutex_);
    if (!closed_) sent_.push_back(std::move(message));
  }
  void close() override {
    std::lock_guard lock(mutex_);
    closeCalls_++;
    closed_ = true;
  }

  // Server side.
  void accept() { handlers().opened(); }
  void deliver(std::string bytes) { handlers().message(std::move(bytes)); }
  void drop(ErrorPtr error) { handlers().closed(std::move(error)); }
  std::vector<StompFrame> sentFrames() {
    std::lock_guard lock(mutex_);
    StompFrameParser parser;
    std::vector<StompFrame> frames;
    for (const auto& m : sent_) parser.feed(m, frames);
    return frames;
  }
  size_t heartbeatsSent() {
    std::lock_guard lock(mutex_);
    return std::count(sent_.begin(), sent_.end(), "\n");
  }
  int closeCalls() {
    std::lock_guard lock(mutex_);
    return closeCalls_;
  }

 private:
  WebSocketHandlers handlers() {
    std::lock_guard lock(mutex_);
    return handlers_;
  }
  std::mutex mutex_;
  WebSocketHandlers handlers_;
  std::vector<std::string> sent_;
  bool opened_ = false;
  bool closed_ = false;
  int closeCalls_ = 0;
};

std::string frame(std::string command, std::vector<std::pair<std::string, std::string>> headers, std::string body = {}) {
  return StompFrame{std::move(command), std::move(headers), std::move(body)}.serialize();
}

struct Recorder {
  std::mutex mutex;
  int connects = 0;
  ErrorPtr connectError;
  int disconnects = 0;
  ErrorPtr disconnectError;
  std::vector<StompFrame> messages;
};

class StompClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StompClient::Options options;
    options.host = "127.0.0.1";
    options.connectHeaders = {{"Authorization", "Bearer T0K"}};
    options.maxFrameSize = 4096;
    client = StompClient::create(socket, options);
    client->setDisconnectHandler([this](const ErrorPtr& error) {
      std::lock_guard lock(rec.mutex);
      rec.disconnects++;
      rec.disconnectError = error;
    });
    client->subscribe("/exchange/devicekeeper/777.cameras.#", [this](const StompFrame& message) {
      std::lock_guard lock(rec.mutex);
      rec.messages.push_back(message);
    });
  }
  void TearDown() override {
    client->disconnect();
    MainRunLoop::runUntilIdle();
  }

  void connect(const std::string& serverHeartbeat = "0,0") {
    client->connect([this](const ErrorPtr& error) {
      std::lock_guard lock(rec.mutex);
      rec.connects++;
      rec.connectError = error;
    });
    MainRunLoop::runUntilIdle();
    socket->accept();
    MainRunLoop::runUntilIdle();
    socket->deliver(frame("CONNECTED", {{"version", "1.2"}, {"heart-beat", serverHeartbeat}}));
    MainRunLoop::runUntilIdle();
  }

  ManualClockScope clock;
  std::shared_ptr<ScriptedSocket> socket = std::make_shared<ScriptedSocket>();
  std::shared_ptr<StompClient> client;
  Recorder rec;
};

TEST_F(StompClientTest, ConnectSendsTheStompHandshakeThenSubscribes) {
  connect();
  auto sent = socket->sentFrames();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].command, "CONNECT");
  EXPECT_EQ(sent[0].header("accept-version"), "1.2");
  EXPECT_EQ(sent[0].header("host"), "127.0.0.1");
  EXPECT_EQ(sent[0].header("heart-beat"), "10000,10000");
  EXPECT_EQ(sent[0].header("Authorization"), "Bearer T0K");
  EXPECT_EQ(sent[1].command, "SUBSCRIBE");
  EXPECT_EQ(sent[1].header("destination"), "/exchange/devicekeeper/777.cameras.#");
  EXPECT_EQ(sent[1].header("id"), "sub-0");
  EXPECT_EQ(rec.connects, 1);
  EXPECT_EQ(rec.connectError, nullptr);
  EXPECT_TRUE(client->connected());
}

TEST_F(StompClientTest, MessagesReachTheirSubscriptionWhetherSplitOrBatched) {
  connect();
  const std::string m1 = frame("MESSAGE", {{"subscription", "sub-0"}, {"destination", "a\nb"}}, R"({"n":1})");
  const std::string m2 = frame("MESSAGE", {{"subscription", "sub-0"}, {"destination", "d"}}, R"({"n":2})");
  const std::string other = frame("MESSAGE", {{"subscription", "sub-9"}, {"destination", "d"}}, R"({"n":3})");
  socket->deliver(m1 + "\n" + other + m2.substr(0, 10));
  socket->deliver(m2.substr(10) + "\n\n");
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(rec.messages.size(), 2u);
  EXPECT_EQ(rec.messages[0].header("destination"), "a\nb");
  EXPECT_EQ(rec.messages[0].body, R"({"n":1})");
  EXPECT_EQ(rec.messages[1].body, R"({"n":2})");
  EXPECT_EQ(rec.disconnects, 0);
}

TEST_F(StompClientTest, AnErrorFrameWhileTheSocketStaysOpenIsADisconnection) {
  connect();
  socket->deliver(frame("ERROR", {{"message", "access refused"}}, "details"));
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(rec.disconnects, 1);
  ASSERT_NE(rec.disconnectError, nullptr);
  EXPECT_EQ(rec.disconnectError->code(), kStompErrorFrame);
  EXPECT_EQ(rec.disconnectError->localizedDescription(), "access refused");
  EXPECT_GE(socket->closeCalls(), 1);
  EXPECT_FALSE(client->connected());
  // Nothing more is reported for what follows on the dying socket.
  socket->deliver(frame("MESSAGE", {{"subscription", "sub-0"}}, "{}"));
  socket->drop(nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(rec.disconnects, 1);
  EXPECT_TRUE(rec.messages.empty());
}

TEST_F(StompClientTest, AnErrorInsteadOfConnectedFailsTheConnect) {
  client->connect([this](const ErrorPtr& error) {
    std::lock_guard lock(rec.mutex);
    rec.connects++;
    rec.connectError = error;
  });
  MainRunLoop::runUntilIdle();
  socket->accept();
  socket->deliver(frame("ERROR", {{"message", "Bad CONNECT"}}));
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(rec.connects, 1);
  ASSERT_NE(rec.connectError, nullptr);
  EXPECT_EQ(rec.connectError->localizedDescription(), "Bad CONNECT");
  EXPECT_EQ(rec.disconnects, 0);  // a failed connect is reported once, to its completion
}

TEST_F(StompClientTest, ARefusedUpgradeReachesTheConnectCompletion) {
  client->connect([this](const ErrorPtr& error) {
    std::lock_guard lock(rec.mutex);
    rec.connects++;
    rec.connectError = error;
  });
  MainRunLoop::runUntilIdle();
  socket->drop(Error::make(std::string(kWebSocketErrorDomain), kWebSocketErrorInvalidUpgrade,
                           std::string(kInvalidHttpUpgrade)));
  MainRunLoop::runUntilIdle();
  ASSERT_NE(rec.connectError, nullptr);
  EXPECT_EQ(rec.connectError->localizedDescription(), "Invalid HTTP upgrade");
}

TEST_F(StompClientTest, AnOversizeOrMalformedFrameEndsTheConnection) {
  connect();
  socket->deliver("MESSAGE\nsubscription:sub-0\n\n" + std::string(5000, 'x'));
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(rec.disconnects, 1);
  EXPECT_EQ(rec.disconnectError->code(), kStompErrorProtocol);
  EXPECT_NE(rec.disconnectError->localizedDescription().find("exceeds 4096"), std::string::npos);
  EXPECT_TRUE(rec.messages.empty());
}

TEST_F(StompClientTest, AMalformedHeaderEndsTheConnection) {
  connect();
  socket->deliver(std::string("MESSAGE\nsubscription\n\n{}") + '\0');
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(rec.disconnects, 1);
  EXPECT_NE(rec.disconnectError->localizedDescription().find("malformed header"), std::string::npos);
}

TEST_F(StompClientTest, HeartBeatsGoOutAtTheNegotiatedPace) {
  connect("5000,20000");  // the server beats every 5 s and wants ours every 20 s
  EXPECT_EQ(client->outgoingHeartbeatMs(), 20000);
  EXPECT_EQ(client->incomingHeartbeatMs(), 10000);
  for (int i = 0; i < 6; ++i) {
    socket->deliver("\n");
    clock.advance(10);
  }
  EXPECT_EQ(socket->heartbeatsSent(), 3u);  // 60 s at one per 20 s
  EXPECT_EQ(rec.disconnects, 0);
}

TEST_F(StompClientTest, APeerSilentPastTwiceItsIntervalIsTakenForDead) {
  connect("10000,10000");
  clock.advance(10);
  clock.advance(10);
  EXPECT_EQ(rec.disconnects, 0);  // 20 s of silence is within the grace
  clock.advance(10);
  ASSERT_EQ(rec.disconnects, 1);
  EXPECT_EQ(rec.disconnectError->code(), kStompErrorHeartbeat);
}

TEST_F(StompClientTest, NoHeartBeatsWhenTheServerOffersNone) {
  connect("0,0");
  clock.advance(600);
  EXPECT_EQ(socket->heartbeatsSent(), 0u);
  EXPECT_EQ(rec.disconnects, 0);
}

TEST_F(StompClientTest, DisconnectSendsDisconnectAndReportsNothing) {
  connect();
  client->disconnect();
  MainRunLoop::runUntilIdle();
  auto sent = socket->sentFrames();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back().command, "DISCONNECT");
  EXPECT_EQ(socket->closeCalls(), 1);
  socket->drop(nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(rec.disconnects, 0);
  EXPECT_FALSE(client->connected());
}

TEST_F(StompClientTest, TheSocketClosingIsADisconnectionWithAnError) {
  connect();
  socket->drop(nullptr);
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(rec.disconnects, 1);
  EXPECT_EQ(rec.disconnectError->code(), kStompErrorClosed);
}

}  // namespace
}  // namespace dk::platform

// The live feed against a real broker: RabbitMQ's Web-STOMP behind nginx, which also routes the
// REST calls to the local cloud, so that REST and the WebSocket share one host and port as they
// do in the field. Messages are published through the broker's plain STOMP port.
//
// Runs under scripts/with-broker, which starts the broker and says where it is; without it the
// test fails (it is never skipped).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "live/live_feed_fixture.h"

namespace dk::test {
namespace {

using platform::Value;

std::optional<int> envPort(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::atoi(value);
}

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A blocking STOMP publisher over plain TCP, as a back end would publish.
class Publisher {
 public:
  ~Publisher() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool connect(int port, std::string* error) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{10, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      *error = "cannot reach the broker's STOMP port";
      return false;
    }
    platform::StompFrame connect{"CONNECT", {}, {}};
    connect.addHeader("accept-version", "1.2");
    connect.addHeader("host", env("DK_BROKER_VHOST"));
    connect.addHeader("login", env("DK_BROKER_USER"));
    connect.addHeader("passcode", env("DK_BROKER_PASS"));
    connect.addHeader("heart-beat", "0,0");
    send(connect.serialize());
    auto reply = next();
    if (!reply || reply->command != "CONNECTED") {
      *error = reply ? "broker answered " + reply->command + ": " + reply->header("message").value_or("") : "no reply";
      return false;
    }
    return true;
  }
  // Sends and waits for the broker's receipt, so the message is routed when this returns.
  bool publish(const std::string& destination, const std::string& body) {
    platform::StompFrame frame{"SEND", {}, body};
    frame.addHeader("destination", destination);
    frame.addHeader("content-type", "application/json");
    frame.addHeader("receipt", "r" + std::to_string(++receipts_));
    send(frame.serialize());
    auto reply = next();
    return reply && reply->command == "RECEIPT";
  }

 private:
  void send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }
  std::optional<platform::StompFrame> next() {
    while (pending_.empty()) {
      char buffer[4096];
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) return std::nullopt;
      if (!parser_.feed(std::string_view(buffer, static_cast<size_t>(n)), pending_)) return std::nullopt;
    }
    auto frame = pending_.front();
    pending_.erase(pending_.begin());
    return frame;
  }

  int fd_ = -1;
  int receipts_ = 0;
  platform::StompFrameParser parser_;
  std::vector<platform::StompFrame> pending_;
};

class LiveBrokerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto front = envPort("DK_BROKER_FRONT_PORT");
    const auto simPort = envPort("DK_BROKER_SIM_PORT");
    const auto stompPort = envPort("DK_BROKER_STOMP_PORT");
    ASSERT_TRUE(front && simPort && stompPort)
        << "No broker: run this test through scripts/with-broker (RabbitMQ and nginx from scripts/install-deps).";
    store = platform::InMemorySecureStore::create();
    platform::SecureStore::setShared(store);
    cloudsim::CloudSimOptions options;
    options.port = static_cast<uint16_t>(*simPort);
    sim = std::make_unique<cloudsim::CloudSim>(cloudsim::World::generate(cloudsim::GenerateOptions{}), options);
    ASSERT_NE(sim->start(), 0) << sim->lastError();
    platform::OAuthCredential credential(sim->accessToken(), "bearer");
    ASSERT_TRUE(platform::OAuthCredential::storeCredential(credential, kCredentialIdentifier));
    // The framework sees one host and port: nginx.
    KLServer::resetProcessValuesForTesting();
    KLServer::setProcessProtocol("http");
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort(std::to_string(*front));
    KLServer::resetSharedInstanceForTesting();
    requests = std::make_shared<KLRequestManager>(KLServer::sharedInstance()->baseURL());
    KLServicesManager::setRequestExecutor(executorForRequestManager(requests));
    std::string error;
    ASSERT_TRUE(publisher.connect(*stompPort, &error)) << error;
    feed = KLWebSocketsManager::create();
    feed->setEventsDelegate(events);
    feed->setRecordingsDelegate(recordings);
  }
  void TearDown() override {
    feed.reset();
    platform::MainRunLoop::runUntilIdle();
    if (requests) {
      for (const auto& m : {requests->httpSessionManager(), requests->jsonSessionManager(),
                            requests->jsonUpdateSessionManager(), requests->imageSessionManager()}) {
        m->session->invalidateAndCancel();
      }
    }
    platform::MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
    KLServer::resetProcessValuesForTesting();
    KLServer::resetSharedInstanceForTesting();
    platform::SecureStore::setShared(nullptr);
  }

  // The broker binds the subscription's queue a moment after CONNECTED; until a first message
  // comes through, publish again (each publish is confirmed by a receipt).
  void waitForTheFirstMessage() {
    for (int i = 0; i < 50 && events->count() == 0; ++i) {
      ASSERT_TRUE(publisher.publish("/exchange/devicekeeper/777.cameras.1.events_v24", R"({"cameraId":1,"probe":true})"));
      pumpUntil([&] { return events->count() > 0; }, 0.2);
    }
    ASSERT_GT(events->count(), 0u) << "no message came through the broker";
  }

  std::shared_ptr<platform::InMemorySecureStore> store;
  std::unique_ptr<cloudsim::CloudSim> sim;
  std::shared_ptr<KLRequestManager> requests;
  Publisher publisher;
  std::shared_ptr<ReceiverDouble> events = std::make_shared<ReceiverDouble>();
  std::shared_ptr<ReceiverDouble> recordings = std::make_shared<ReceiverDouble>();
  std::shared_ptr<KLWebSocketsManager> feed;
};

TEST_F(LiveBrokerTest, EventsAndRecordingsPublishedOnTheBrokerReachTheirReceivers) {
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected(); }, 30)) << "the feed did not connect through nginx";
  EXPECT_EQ(sim->requestsTo("/rest/v2.0/ping").size(), 1u);  // the ping went through nginx too
  waitForTheFirstMessage();
  const size_t before = events->count();

  ASSERT_TRUE(publisher.publish("/exchange/devicekeeper/778.cameras.123.events_v24", R"({"cameraId":999})"));
  ASSERT_TRUE(publisher.publish("/exchange/devicekeeper/777.cameras.123.events_v24",
                                R"({"cameraId":123,"type":"motion","timestamp":"2026-12-07T10:00:00.000Z"})"));
  ASSERT_TRUE(pumpUntil([&] { return events->count() == before + 1; }));
  auto call = events->calls().back();
  EXPECT_EQ(call.classType, 3);
  EXPECT_EQ(call.message["cameraId"], Value(123));  // not the other account's
  EXPECT_EQ(call.queueLabel, "com.kelo.service.KLWebSocketsManager");

  ASSERT_TRUE(publisher.publish("/exchange/devicekeeper/777.cameras.123.recordings",
                                R"({"cameraId":123,"recordingId":5,"startTime":"2026-12-07T10:00:00.000Z"})"));
  ASSERT_TRUE(pumpUntil([&] { return recordings->count() == 1; }));
  EXPECT_EQ(recordings->calls()[0].classType, 0);
  EXPECT_EQ(recordings->calls()[0].message["recordingId"], Value(5));
  EXPECT_EQ(events->count(), before + 1);
}

TEST_F(LiveBrokerTest, TurningTheFeedOffAndOnResubscribes) {
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected(); }, 30));
  KLWebsocketsService::websocketsTurnOFF();
  ASSERT_TRUE(pumpUntil([&] { return !feed->isConnected(); }));
  KLWebsocketsService::websocketsTurnONWithAccountID(nullptr);
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected(); }, 30));
  waitForTheFirstMessage();
}

}  // namespace
}  // namespace dk::test

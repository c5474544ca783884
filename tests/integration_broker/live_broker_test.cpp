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

#include "cloud-sim/live_changes.h"
#include "live/live_feed_fixture.h"
#include "services/kl_event_manager.h"
#include "services/manager_observers.h"

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
    cloudsim::GenerateOptions world;
    world.cameras = 2;
    world.days = 2;
    world.eventsPerCamera = 300;  // two pages
    sim = std::make_unique<cloudsim::CloudSim>(cloudsim::World::generate(world), options);
    ASSERT_NE(sim->start(), 0) << sim->lastError();
    platform::OAuthCredential credential(sim->accessToken(), "bearer");
    ASSERT_TRUE(platform::OAuthCredential::storeCredential(credential, kCredentialIdentifier));
    // The framework sees one host and port: nginx.
    KLServer::resetProcessValuesForTesting();
    KLServer::setProcessProtocol("http");
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort(std::to_string(*front));
    KLServer::resetForTesting();
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
    KLServer::resetForTesting();
    platform::SecureStore::setShared(nullptr);
  }

  // The broker binds the subscription's queue a moment after CONNECTED; until a first message
  // comes through, publish again (each publish is confirmed by a receipt). Probes sent while an
  // earlier one was still on its way may come after it: a last one, told apart by its number, is
  // waited for, so that none arrives later among the messages a test counts (the queue keeps
  // their order).
  void waitForTheFirstMessage(int64_t account = 777) {
    const size_t before = recordings->count();
    const std::string probe = "/exchange/devicekeeper/" + std::to_string(account) + ".cameras.1.recordings";
    for (int i = 0; i < 50 && recordings->count() == before; ++i) {
      ASSERT_TRUE(publisher.publish(probe, R"({"cameraId":1,"recordingId":1})"));
      pumpUntil([&] { return recordings->count() > before; }, 0.2);
    }
    ASSERT_GT(recordings->count(), before) << "no message came through the broker";
    ASSERT_TRUE(publisher.publish(probe, R"({"cameraId":1,"recordingId":2})"));
    ASSERT_TRUE(pumpUntil([&] { return recordings->calls().back().message["recordingId"] == platform::Value(2); }))
        << "the last probe did not come through";
  }

  std::shared_ptr<platform::InMemorySecureStore> store;
  std::unique_ptr<cloudsim::CloudSim> sim;
  std::shared_ptr<KLRequestManager> requests;
  Publisher publisher;
  std::shared_ptr<ReceiverDouble> events = std::make_shared<ReceiverDouble>();
  std::shared_ptr<ReceiverDouble> recordings = std::make_shared<ReceiverDouble>();
  std::shared_ptr<KLWebSocketsManager> feed;
};

TEST_F(LiveBrokerTest, MessagesPublishedOnTheBrokerReachTheirReceiversByDestination) {
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(777));
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected(); }, 30)) << "the feed did not connect through nginx";
  EXPECT_EQ(sim->requestsTo("/rest/v2.0/ping").size(), 1u);  // the ping went through nginx too
  waitForTheFirstMessage();
  const size_t probes = recordings->count();

  ASSERT_TRUE(publisher.publish("/exchange/devicekeeper/778.cameras.123.events_v24", R"({"cameraId":999})"));
  ASSERT_TRUE(publisher.publish("/exchange/devicekeeper/777.cameras.123.events_v24",
                                R"({"cameraId":123,"type":"motion","timestamp":"2026-12-07T10:00:00.000Z"})"));
  ASSERT_TRUE(pumpUntil([&] { return events->count() == 1; }));
  auto call = events->calls().back();
  EXPECT_EQ(call.classType, 3);
  EXPECT_EQ(call.message["cameraId"], Value(123));  // not the other account's
  EXPECT_EQ(call.queueLabel, "com.kelo.service.KLWebSocketsManager");

  ASSERT_TRUE(publisher.publish("/exchange/devicekeeper/777.cameras.123.recordings",
                                R"({"cameraId":123,"recordingId":5,"startTime":"2026-12-07T10:00:00.000Z"})"));
  ASSERT_TRUE(pumpUntil([&] { return recordings->count() == probes + 1; }));
  EXPECT_EQ(recordings->calls().back().classType, 0);
  EXPECT_EQ(recordings->calls().back().message["recordingId"], Value(5));
  EXPECT_EQ(events->count(), 1u);
}

TEST_F(LiveBrokerTest, ALiveEventMakesTheEventManagerFetchTheNewEvents) {
  const auto world = sim->world();
  const int64_t account = world.user.accountId;
  const int64_t camera = world.cameras[0].cameraId;
  auto eventManager = KLEventManager::create();
  auto observer = std::make_shared<EventsObserver>();
  eventManager->addObserverForEventsChanges(observer);
  bool loaded = false;
  eventManager->getOldEventsForCameraID(camera, nullptr, [&](const Value&) { loaded = true; });
  ASSERT_TRUE(pumpUntil([&] { return loaded; }, 30));
  const size_t cached = eventManager->numberOfEventsForCameraID(camera);
  ASSERT_EQ(cached, world.eventsOf(camera).size());
  const int callsBefore = observer->calls();

  feed->setEventsDelegate(eventManager);
  KLWebsocketsService::websocketsTurnONWithAccountID(Value(account));
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected(); }, 30));
  waitForTheFirstMessage(account);

  // The cloud records a new event and tells the broker, which tells us.
  const auto message = cloudsim::addLiveEvent(*sim, camera, world.now + 30, cloudsim::event_type::kDoorbell);
  sim->clearRequests();
  ASSERT_TRUE(publisher.publish(message.destination, message.body));
  ASSERT_TRUE(pumpUntil([&] { return eventManager->numberOfEventsForCameraID(camera) == cached + 1; }));
  ASSERT_TRUE(pumpUntil([&] { return observer->calls() > callsBefore; }));
  auto added = eventManager->eventsForCameraID(camera)->eventWithID(message.id);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->type(), "doorbellPressed");
  EXPECT_TRUE(observer->onMain);
  EXPECT_EQ(observer->cameras.back(), camera);
  // Fetched from the cloud through nginx, bounded by the cached newest event.
  const auto fetches = sim->requestsTo("/rest/v2.4/events");
  ASSERT_EQ(fetches.size(), 1u);
  EXPECT_TRUE(fetches[0].hasQuery("minTimestamp"));
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

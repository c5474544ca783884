// Shared set-up of the live-feed tests: the local cloud (REST and its STOMP endpoint), the
// stored token, KLServer pointed at the cloud, a live-feed manager on the manual clock with its
// receivers, and the feed's log lines captured.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/kl_server.h"
#include "live/kl_web_sockets_manager.h"
#include "live/kl_websockets_service.h"
#include "network/executor_fixture.h"
#include "platform/net/captive_network.h"
#include "platform/net/reachability.h"
#include "services/request_executor.h"
#include "support/manual_clock.h"

namespace dk::test {

// A receiver standing in for the event or recording manager.
class ReceiverDouble final : public KLWebSocketsDelegate {
 public:
  struct Call {
    platform::Value message;
    int32_t classType = -1;
    const platform::ClassInfo* modelClass = nullptr;
    const platform::ClassInfo* modelListClass = nullptr;
    std::string queueLabel;
  };
  bool respondsToSelector(std::string_view selector) const override {
    return selector == "handleMessageUpdate:forClassType:modelClass:modelListClass:";
  }
  void handleMessageUpdate(const platform::Value& message, int32_t classType, const platform::ClassInfo* modelClass,
                           const platform::ClassInfo* modelListClass) override {
    auto* queue = platform::DispatchQueue::current();
    std::lock_guard lock(mutex_);
    calls_.push_back({message, classType, modelClass, modelListClass, queue ? queue->label() : ""});
  }
  std::vector<Call> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  size_t count() const {
    std::lock_guard lock(mutex_);
    return calls_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

// Pumps the main run loop until `pred` holds, then until idle. Bytes on a loopback socket are in flight without
// any queued work, so an idle run loop is not yet an answer; the wall-clock bound only guards
// against a hung test.
inline bool pumpUntil(const std::function<bool()>& pred, double guardSeconds = 15) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(guardSeconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::MainRunLoop::runUntil(pred, guardSeconds);
    if (!pred()) std::this_thread::yield();
  }
  // Let the task that made it true finish (a reconnection it schedules, say).
  platform::MainRunLoop::runUntilIdle();
  return true;
}

class LiveFeedTest : public ExecutorTest {
 protected:
  void SetUp() override {
    ExecutorTest::SetUp();
    storeCredential(sim.accessToken());
    KLServicesManager::setRequestExecutor(executorForRequestManager(manager));
    KLServer::resetProcessValuesForTesting();
    KLServer::setProcessProtocol(sim.https() ? "https" : "http");
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort(std::to_string(sim.port()));
    KLServer::resetForTesting();
    onNetwork("HomeNet");
    KLWebSocketsManager::setLogHandler([this](const std::string& line) {
      std::lock_guard lock(logMutex);
      logLines.push_back(line);
    });
    feed = KLWebSocketsManager::create();
    KLWebSocketsManager::Pacing pacing;
    pacing.random = [] { return 0.5; };  // no jitter: delays of 1, 2, 4 ... seconds
    feed->setPacing(pacing);
    feed->setEventsDelegate(events);
    feed->setRecordingsDelegate(recordings);
  }

  void TearDown() override {
    feed.reset();
    platform::MainRunLoop::runUntilIdle();
    KLWebSocketsManager::setLogHandler(nullptr);
    KLServicesManager::setRequestExecutor(nullptr);
    platform::NetworkReachability::sharedManager().setProvider(nullptr);
    platform::NetworkReachability::sharedManager().refresh();
    platform::CaptiveNetwork::setProvider({});
    KLServer::resetProcessValuesForTesting();
    KLServer::resetForTesting();
    ExecutorTest::TearDown();
  }

  // The phone is on the Wi-Fi network `ssid`.
  static void onNetwork(const std::string& ssid) {
    platform::NetworkReachability::sharedManager().setProvider(
        [] { return platform::NetworkReachabilityStatus::ReachableViaWiFi; });
    platform::NetworkReachability::sharedManager().refresh();
    platform::CaptiveNetworkProvider provider;
    provider.supportedInterfaces = [] { return std::vector<std::string>{"wlan0"}; };
    provider.currentNetworkInfo = [ssid](const std::string&) {
      return platform::ValueDictionary{{platform::kCaptiveNetworkInfoKeySSID, ssid}};
    };
    platform::CaptiveNetwork::setProvider(provider);
  }

  cloudsim::LiveFeed& live() { return sim.liveFeed(); }

  // Turns the feed on for `account` and waits until the subscription is live.
  void connectFor(const platform::Value& account) {
    KLWebsocketsService::websocketsTurnONWithAccountID(account);
    ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && live().subscriptions().size() == 1; }));
  }

  bool logged(const std::string& fragment) const {
    std::lock_guard lock(logMutex);
    for (const auto& line : logLines) {
      if (line.find(fragment) != std::string::npos) return true;
    }
    return false;
  }
  std::string logText() const {
    std::lock_guard lock(logMutex);
    std::string text;
    for (const auto& line : logLines) text += line + "\n";
    return text;
  }
  size_t loggedCount(const std::string& line) const {
    std::lock_guard lock(logMutex);
    return std::count(logLines.begin(), logLines.end(), line);
  }

  ManualClockScope clock;
  std::shared_ptr<ReceiverDouble> events = std::make_shared<ReceiverDouble>();
  std::shared_ptr<ReceiverDouble> recordings = std::make_shared<ReceiverDouble>();
  std::shared_ptr<KLWebSocketsManager> feed;
  mutable std::mutex logMutex;
  std::vector<std::string> logLines;
};

}  // namespace dk::test

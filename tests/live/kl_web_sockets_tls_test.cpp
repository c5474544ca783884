// The live feed over wss: the same TLS policy as the HTTP layer - the simulator's CA trusted
// through a CA file, an untrusted certificate refused (and retried, since the server did not
// refuse us), and the permissive switch.
#include "live/live_feed_fixture.h"
#include "support/temp_directory.h"

namespace dk::test {
namespace {

using platform::Value;

class LiveFeedTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store = platform::InMemorySecureStore::create();
    platform::SecureStore::setShared(store);
    ASSERT_NE(sim.start(), 0) << sim.lastError();
    caFile = (directory.path() / "ca.pem").string();
    ASSERT_TRUE(sim.writeCaCertificate(caFile));
    platform::OAuthCredential credential(sim.accessToken(), "bearer");
    ASSERT_TRUE(platform::OAuthCredential::storeCredential(credential, kCredentialIdentifier));
    KLServer::resetProcessValuesForTesting();
    KLServer::setProcessProtocol("https");
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort(std::to_string(sim.port()));
    KLServer::resetForTesting();
    KLWebSocketsManager::setLogHandler([this](const std::string& line) {
      std::lock_guard lock(mutex);
      lines.push_back(line);
    });
    feed = KLWebSocketsManager::create();
  }
  void TearDown() override {
    feed.reset();
    platform::MainRunLoop::runUntilIdle();
    KLWebSocketsManager::setLogHandler(nullptr);
    KLServer::resetProcessValuesForTesting();
    KLServer::resetForTesting();
    platform::SecureStore::setShared(nullptr);
  }
  void turnOn() {
    platform::NotificationCenter::defaultCenter().post(kReconnectWebSocketsNotification, nullptr,
                                                       {{kWebSocketsAccountIdKey, Value(777)}});
  }
  bool logged(const std::string& fragment) {
    std::lock_guard lock(mutex);
    for (const auto& line : lines) {
      if (line.find(fragment) != std::string::npos) return true;
    }
    return false;
  }

  ManualClockScope clock;
  TemporaryDirectory directory;
  std::string caFile;
  std::shared_ptr<platform::InMemorySecureStore> store;
  cloudsim::CloudSim sim{cloudsim::World::generate(cloudsim::GenerateOptions{}), cloudsim::CloudSimOptions{.https = true}};
  std::shared_ptr<KLWebSocketsManager> feed;
  std::mutex mutex;
  std::vector<std::string> lines;
};

TEST_F(LiveFeedTlsTest, ConnectsOverWssWhenTheCaIsTrusted) {
  feed->setTlsPolicy(platform::TlsPolicy{false, caFile});
  turnOn();
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected() && sim.liveFeed().subscriptions().size() == 1; }));
  auto upgrades = sim.requestsTo("/stomp/v2.0");
  ASSERT_EQ(upgrades.size(), 1u);
  EXPECT_TRUE(upgrades[0].tls);
}

TEST_F(LiveFeedTlsTest, AnUntrustedCertificateIsRefusedAndRetriedLater) {
  feed->setTlsPolicy(platform::TlsPolicy::verifying());  // the system store, which lacks our CA
  turnOn();
  ASSERT_TRUE(pumpUntil([&] { return feed->connectionAttempts() == 1 && !feed->connecting(); }));
  EXPECT_FALSE(feed->isConnected());
  EXPECT_TRUE(logged("TLS handshake failed"));
  EXPECT_TRUE(feed->shouldConnect());  // not a refusal by the server: it tries again
  EXPECT_EQ(sim.liveFeed().upgradeRequests(), 0u);
  clock.advance(1.5);
  ASSERT_TRUE(pumpUntil([&] { return feed->connectionAttempts() == 2 && !feed->connecting(); }));
}

TEST_F(LiveFeedTlsTest, ThePermissiveSwitchAcceptsAnyCertificate) {
  feed->setTlsPolicy(platform::TlsPolicy::permissive());
  turnOn();
  ASSERT_TRUE(pumpUntil([&] { return feed->isConnected(); }));
}

}  // namespace
}  // namespace dk::test

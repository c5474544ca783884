#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "foundation/kl_server.h"

namespace dk {
namespace {

class ServerSettings : public ::testing::Test {
 protected:
  ServerSettings() { reset(); }
  ~ServerSettings() override { reset(); }
  static void reset() {
    KLServer::resetProcessValuesForTesting();
    KLServer::resetForTesting();
  }
};

TEST_F(ServerSettings, DefaultsFormAnHttpsUrlWithThePort) {
  auto server = KLServer::sharedInstance();
  EXPECT_EQ(server, KLServer::sharedInstance());
  EXPECT_EQ(server->baseURL(), "https://" + std::string(kDefaultServerHost) + ":443");
  EXPECT_EQ(server->protocol(), "https");
  EXPECT_EQ(server->httpPort(), "443");
  EXPECT_EQ(server->scope(), std::nullopt);
}

TEST_F(ServerSettings, AHostReplacedBeforeTheFirstReadIsUsed) {
  KLServer::setProcessIpAddress("127.0.0.1");
  KLServer::setProcessHttpPort("8443");
  EXPECT_EQ(KLServer::sharedInstance()->baseURL(), "https://127.0.0.1:8443");
}

TEST_F(ServerSettings, TheFirstReadFixesEachValue) {
  auto server = KLServer::sharedInstance();
  EXPECT_EQ(server->ipAddress(), kDefaultServerHost);
  KLServer::setProcessIpAddress("late.example");
  KLServer::setProcessProtocol("http");
  EXPECT_EQ(server->ipAddress(), kDefaultServerHost);
  // The protocol had not been read yet: it takes the new value, and then keeps it.
  EXPECT_EQ(server->protocol(), "http");
  KLServer::setProcessProtocol("https");
  EXPECT_EQ(server->baseURL(), "http://" + std::string(kDefaultServerHost) + ":443");

  // Only a new instance (a test reset) sees the later host.
  KLServer::resetForTesting();
  EXPECT_EQ(KLServer::sharedInstance()->ipAddress(), "late.example");
}

TEST_F(ServerSettings, SettersReplaceAndTheStoredBaseUrlIsNeverRead) {
  auto server = KLServer::sharedInstance();
  server->setBaseURL("ftp://ignored");
  server->setIpAddress("host.example");
  server->setHttpPort("80");
  server->setScope("write");
  EXPECT_EQ(server->baseURL(), "https://host.example:80");
  EXPECT_EQ(server->scope(), "write");
}

TEST_F(ServerSettings, ConcurrentFirstReadsAgree) {
  KLServer::setProcessIpAddress("first.example");
  std::vector<std::string> seen(8);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&, i] { seen[i] = KLServer::sharedInstance()->baseURL(); });
  KLServer::setProcessIpAddress("second.example");
  for (auto& thread : threads) thread.join();
  for (const auto& url : seen) EXPECT_EQ(url, seen.front());
}

}  // namespace
}  // namespace dk

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/run_loop.h"
#include "platform/net/http_session.h"
#include "platform/net/test_http_server.h"

namespace dk::platform {
namespace {

// The local cloud over HTTPS with a certificate signed by its own CA.
class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cloudsim::CloudSimOptions options;
    options.https = true;
    sim = std::make_unique<cloudsim::CloudSim>(cloudsim::World::generate(cloudsim::GenerateOptions{}), options);
    ASSERT_NE(sim->start(), 0) << sim->lastError();
    sim->setRequireAuth(false);
    caFile = (std::filesystem::temp_directory_path() / ("dk-tls-ca-" + std::to_string(::getpid()) + ".pem")).string();
    ASSERT_TRUE(sim->writeCaCertificate(caFile));
  }
  void TearDown() override {
    TlsPolicy::setDefaultCAFile("");
    std::filesystem::remove(caFile);
  }

  // The outcome of one ping with `policy`: nullptr on success.
  ErrorPtr ping(TlsPolicy policy, const std::string& base) {
    HttpSession::Options options;
    options.baseURL = base;
    options.tls = std::move(policy);
    auto session = HttpSession::create(options);
    auto configuration = std::make_shared<RequestConfiguration>();
    ErrorPtr error;
    bool done = false;
    session->dataTask(
        HttpMethod::Get, "/rest/v2.0/ping", Value(), configuration,
        [&](const std::shared_ptr<const HttpResponseInfo>&, const Value&) { done = true; },
        [&](const ErrorPtr& e) {
          done = true;
          error = e;
        });
    EXPECT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_TRUE(done);
    return error;
  }

  // One GET of `path` carrying a bearer token, trusting the cloud's CA; the task is kept in `task`.
  ErrorPtr get(const std::string& path, TlsPolicy policy, RetryPolicy retry = {}) {
    HttpSession::Options options;
    options.baseURL = sim->baseUrl();
    options.tls = std::move(policy);
    auto session = HttpSession::create(options);
    auto configuration = std::make_shared<RequestConfiguration>();
    configuration->headers["Authorization"] = "Bearer secret-token";
    configuration->retry = std::move(retry);
    ErrorPtr error;
    int outcomes = 0;
    task = session->dataTask(
        HttpMethod::Get, path, Value(), configuration,
        [&](const std::shared_ptr<const HttpResponseInfo>&, const Value&) { outcomes++; },
        [&](const ErrorPtr& e) {
          outcomes++;
          error = e;
        });
    EXPECT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_EQ(outcomes, 1);
    return error;
  }
  TlsPolicy trusting() const {
    TlsPolicy policy;
    policy.caFile = caFile;
    return policy;
  }
  void redirectPingTo(const std::string& location) {
    auto rule = cloudsim::FaultRule::failWith("/rest/v2.0/ping", 302);
    rule.headers = {{"Location", location}};
    sim->addFault(rule);
  }

  std::unique_ptr<cloudsim::CloudSim> sim;
  std::string caFile;
  HttpTaskPtr task;
};

TEST_F(TlsTest, AnUntrustedCertificateEndsTheCallAtOnceWhateverTheRetries) {
  auto error = get("/rest/v2.0/ping", TlsPolicy::verifying(), RetryPolicy{5, 0.0, false, {}});
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kURLErrorServerCertificateUntrusted);
  ASSERT_TRUE(task);
  EXPECT_EQ(task->retriesDone(), 0) << "the handshake is not tried again";
}

TEST_F(TlsTest, ARedirectToPlainHttpFailsEvenOnTheSameHost) {
  redirectPingTo("http://127.0.0.1:" + std::to_string(sim->port()) + "/rest/v2.0/ping");
  auto error = get("/rest/v2.0/ping", trusting(), RetryPolicy{3, 0.0, false, {}});
  ASSERT_TRUE(error) << "a downgrade to plaintext is never a success";
  EXPECT_EQ(error->code(), kURLErrorAppTransportSecurityRequiresSecureConnection);
  EXPECT_EQ(task->retriesDone(), 0);
  EXPECT_EQ(sim->requestsTo("/rest/v2.0/ping").size(), 1u);
}

TEST_F(TlsTest, ARedirectToAnotherHttpsHostIsFollowedWithoutTheBearerToken) {
  redirectPingTo("https://localhost:" + std::to_string(sim->port()) + "/rest/v2.0/ping");
  EXPECT_FALSE(get("/rest/v2.0/ping", trusting()));
  const auto pings = sim->requestsTo("/rest/v2.0/ping");
  ASSERT_EQ(pings.size(), 2u);
  EXPECT_EQ(pings[0].header("Authorization"), "Bearer secret-token");
  EXPECT_EQ(pings[0].header("Host"), "127.0.0.1:" + std::to_string(sim->port()));
  EXPECT_EQ(pings[1].header("Host"), "localhost:" + std::to_string(sim->port()));
  EXPECT_EQ(pings[1].header("Authorization"), "") << "the token stays with the host it was meant for";
}

// Each hop of a redirect chain is read against the URL it came from, and judged against the
// request's own origin: after a hop to https, a relative or scheme-relative Location stays on
// https; a plain-http hop off the request's origin is refused wherever it comes in the chain.
TEST_F(TlsTest, RedirectChainsAreReadHopByHop) {
  test::TestHttpServer plain;  // the request's origin: plain http on loopback
  const std::string port = std::to_string(sim->port());
  const std::string cameras = "/rest/v2.0/cameras/";
  const struct {
    const char* what;
    std::string secondHop;  // the https server's Location
    int64_t error;          // 0: followed to the ping
  } chains[] = {
      {"scheme-relative", "//127.0.0.1:" + port + "/rest/v2.0/ping", 0},
      {"relative", "/rest/v2.0/ping", 0},
      {"absolute https", "https://localhost:" + port + "/rest/v2.0/ping", 0},
      {"plain http off the origin", "http://127.0.0.1:" + port + "/rest/v2.0/ping",
       kURLErrorAppTransportSecurityRequiresSecureConnection},
  };
  test::CannedResponse toHttps;
  toHttps.status = 302;
  toHttps.headers = {{"Location", "https://localhost:" + port + cameras}};
  plain.route("/go", toHttps);
  for (const auto& chain : chains) {
    SCOPED_TRACE(chain.what);
    auto rule = cloudsim::FaultRule::failWith(cameras, 302);
    rule.headers = {{"Location", chain.secondHop}};
    sim->addFault(rule);
    const size_t pings = sim->requestsTo("/rest/v2.0/ping").size();
    HttpSession::Options options;
    options.baseURL = plain.baseURL();
    options.tls = trusting();
    auto session = HttpSession::create(options);
    ErrorPtr error;
    int outcomes = 0;
    session->dataTask(
        HttpMethod::Get, "/go", Value(), std::make_shared<RequestConfiguration>(),
        [&](const std::shared_ptr<const HttpResponseInfo>&, const Value&) { outcomes++; },
        [&](const ErrorPtr& e) {
          outcomes++;
          error = e;
        });
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(outcomes, 1);
    if (chain.error == 0) {
      EXPECT_FALSE(error) << error->description();
      EXPECT_EQ(sim->requestsTo("/rest/v2.0/ping").size(), pings + 1);
    } else {
      ASSERT_TRUE(error);
      EXPECT_EQ(error->code(), chain.error);
      EXPECT_EQ(sim->requestsTo("/rest/v2.0/ping").size(), pings);
    }
    sim->clearFaults();
  }
}

TEST_F(TlsTest, AnUnknownIssuerIsRefusedByDefault) {
  auto error = ping(TlsPolicy::verifying(), sim->baseUrl());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), "NSURLErrorDomain");
  EXPECT_EQ(error->code(), kURLErrorServerCertificateUntrusted);
  EXPECT_EQ(sim->requestCount(), 0u);  // nothing, the bearer token least of all, reached the server
}

TEST_F(TlsTest, TheHostsCaFileIsTrustedPerPolicyOrProcessWide) {
  TlsPolicy own;
  own.caFile = caFile;
  EXPECT_FALSE(ping(own, sim->baseUrl()));
  TlsPolicy::setDefaultCAFile(caFile);
  EXPECT_FALSE(ping(TlsPolicy::verifying(), sim->baseUrl()));
  // The certificate names the host: "localhost" passes as well as the address.
  EXPECT_FALSE(ping(TlsPolicy::verifying(), "https://localhost:" + std::to_string(sim->port())));
}

TEST_F(TlsTest, ThePermissiveSwitchAcceptsAnyCertificate) {
  EXPECT_FALSE(ping(TlsPolicy::permissive(), sim->baseUrl()));
  TlsPolicy broken;
  broken.caFile = "/nonexistent/ca.pem";
  auto error = ping(broken, sim->baseUrl());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kURLErrorServerCertificateUntrusted);
}

}  // namespace
}  // namespace dk::platform

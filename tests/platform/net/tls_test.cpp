#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/run_loop.h"
#include "platform/net/http_session.h"

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

  std::unique_ptr<cloudsim::CloudSim> sim;
  std::string caFile;
};

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

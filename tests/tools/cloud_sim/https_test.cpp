// HTTPS with the simulator's own CA: trusted by clients given the CA file, by name and address,
// refused by clients that do not trust it.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

struct CurlResult {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
};

size_t collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

CurlResult curlGet(const std::string& url, const std::string& caFile, const std::string& token,
                   const std::string& resolve = {}, const std::string* postBody = nullptr) {
  CurlResult result;
  CURL* curl = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, ("Authorization: Bearer " + token).c_str());
  curl_slist* resolves = resolve.empty() ? nullptr : curl_slist_append(nullptr, resolve.c_str());
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  if (!caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
  if (postBody) {
    headers = curl_slist_append(headers, "Content-Type: application/json");
    headers = curl_slist_append(headers, "Expect: 100-continue");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody->c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(postBody->size()));
    // Far beyond the time limit: only a server that answers "100 Continue" gets the body.
    curl_easy_setopt(curl, CURLOPT_EXPECT_100_TIMEOUT_MS, 600000L);
  }
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  if (resolves) curl_easy_setopt(curl, CURLOPT_RESOLVE, resolves);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
  result.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  curl_slist_free_all(headers);
  curl_slist_free_all(resolves);
  curl_easy_cleanup(curl);
  return result;
}

class Https : public ::testing::Test {
 protected:
  void SetUp() override {
    CloudSimOptions options;
    options.https = true;
    sim = std::make_unique<CloudSim>(World::generate(smallWorld()), options);
    EXPECT_TRUE(sim->caCertificatePem().empty()) << "made at the first start";
    ASSERT_NE(sim->start(), 0) << sim->lastError();
    caFile = ::testing::TempDir() + "cloud_sim_ca_" + std::to_string(::getpid()) + ".pem";
    ASSERT_TRUE(sim->writeCaCertificate(caFile));
  }
  void TearDown() override { std::remove(caFile.c_str()); }

  std::unique_ptr<CloudSim> sim;
  std::string caFile;
};

TEST_F(Https, ClientsTrustingTheWrittenCaGetThrough) {
  EXPECT_EQ(sim->baseUrl(), "https://127.0.0.1:" + std::to_string(sim->port()));
  std::ifstream in(caFile);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(pem, sim->caCertificatePem());
  EXPECT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----", 0), 0u);

  for (const char* name : {"127.0.0.1", "localhost"}) {
    SimClient client(sim->port(), {.tls = true, .caFile = caFile, .hostName = name});
    const ClientResponse first = client.get("/rest/v2.0/ping", sim->accessToken());
    EXPECT_EQ(first.status, 200) << name << ": " << first.error;
    EXPECT_EQ(client.get("/rest/v2.0/cameras/", sim->accessToken()).status, 200);
    EXPECT_EQ(client.connectionsOpened(), 1);
  }
  const auto log = sim->requests();
  ASSERT_FALSE(log.empty());
  for (const auto& r : log) EXPECT_TRUE(r.tls);

  // libcurl, as the framework's network layer uses it.
  const CurlResult byAddress = curlGet(sim->baseUrl() + "/rest/v2.0/ping", caFile, sim->accessToken());
  EXPECT_EQ(byAddress.code, CURLE_OK) << curl_easy_strerror(byAddress.code);
  EXPECT_EQ(byAddress.status, 200);
  const std::string port = std::to_string(sim->port());
  const CurlResult byName = curlGet("https://localhost:" + port + "/rest/v2.0/ping", caFile,
                                    sim->accessToken(), "localhost:" + port + ":127.0.0.1");
  EXPECT_EQ(byName.code, CURLE_OK) << curl_easy_strerror(byName.code);
  EXPECT_EQ(byName.status, 200);
}

TEST_F(Https, UntrustedOrMisnamedServerIsRefused) {
  SimClient untrusting(sim->port(), {.tls = true, .caFile = {}});
  const ClientResponse refused = untrusting.get("/rest/v2.0/ping", sim->accessToken());
  EXPECT_FALSE(refused.delivered);
  EXPECT_NE(refused.error.find("connect"), std::string::npos) << refused.error;

  SimClient misnamed(sim->port(), {.tls = true, .caFile = caFile, .hostName = "example.com"});
  EXPECT_FALSE(misnamed.get("/rest/v2.0/ping", sim->accessToken()).delivered);

  const std::string port = std::to_string(sim->port());
  const CurlResult other = curlGet("https://example.com:" + port + "/rest/v2.0/ping", caFile,
                                   sim->accessToken(), "example.com:" + port + ":127.0.0.1");
  EXPECT_NE(other.code, CURLE_OK);
  EXPECT_TRUE(sim->requests().empty()) << "nothing got past the handshake";
}

TEST_F(Https, RestartKeepsPortAndCertificate) {
  const uint16_t port = sim->port();
  const std::string ca = sim->caCertificatePem();
  sim->stop();
  EXPECT_FALSE(sim->running());
  EXPECT_EQ(sim->start(), port);
  EXPECT_EQ(sim->caCertificatePem(), ca);
  SimClient client(sim->port(), {.tls = true, .caFile = caFile});
  EXPECT_EQ(client.get("/rest/v2.0/ping", sim->accessToken()).status, 200);
}

TEST(PlainHttp, BodyAnnouncedWithExpectContinueIsRead) {
  CloudSim sim(World::generate(smallWorld()));
  ASSERT_NE(sim.start(), 0);
  const std::string body = R"({"email":")" + std::string(4000, 'a') + R"(@example.com"})";
  const CurlResult result =
      curlGet(sim.baseUrl() + "/rest/v2.0/passwordResets", "", sim.accessToken(), {}, &body);
  EXPECT_EQ(result.code, CURLE_OK) << curl_easy_strerror(result.code);
  EXPECT_EQ(result.status, 200);
  const auto log = sim.requestsTo("/rest/v2.0/passwordResets");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].body, body);
  EXPECT_EQ(log[0].header("Expect"), "100-continue");
}

TEST(PlainHttp, HasNoCertificate) {
  CloudSim sim(World::generate(smallWorld()));
  ASSERT_NE(sim.start(), 0);
  EXPECT_EQ(sim.baseUrl().rfind("http://127.0.0.1:", 0), 0u);
  EXPECT_FALSE(sim.writeCaCertificate(::testing::TempDir() + "unused.pem"));
  EXPECT_EQ(sim.start(), sim.port()) << "starting twice keeps the running server";
}

}  // namespace
}  // namespace dk::cloudsim::test

// The request log records what clients sent, in order, from any number of connections.
#include <set>
#include <thread>

#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

class RequestLog : public SimTest {
 protected:
  void SetUp() override { start(smallWorld(2, 1)); }
};

TEST_F(RequestLog, RecordsMethodPathQueryHeadersBodyAndStatus) {
  const std::string camera = std::to_string(firstCamera());
  const std::string query =
      "limit=100&sortByRecordingIdOrder=desc&maxTimestamp=2021-03-28T10%3A15%3A30.000%2B02%3A00"
      "&types=a%2Cb&note=two+words&flag";
  client->get("/rest/v2.2/cameras/" + camera + "/recordings?" + query, token());
  client->request("PATCH", "/rest/v2.0/cameras/" + camera,
                  {{"Authorization", "Bearer " + token()}, {"Content-Type", "application/json"}},
                  R"({"name":"Porch"})");

  const auto log = sim->requests();
  ASSERT_EQ(log.size(), 2u);
  const RecordedRequest& get = log[0];
  EXPECT_EQ(get.method, "GET");
  EXPECT_EQ(get.path, "/rest/v2.2/cameras/" + camera + "/recordings");
  EXPECT_EQ(get.query, query);
  EXPECT_EQ(get.target, get.path + "?" + get.query);
  EXPECT_EQ(get.queryParams.at("limit"), "100");
  EXPECT_EQ(get.queryParams.at("maxTimestamp"), "2021-03-28T10:15:30.000+02:00");
  EXPECT_EQ(get.queryParams.at("types"), "a,b");
  EXPECT_EQ(get.queryParams.at("note"), "two words");
  EXPECT_TRUE(get.hasQuery("flag"));
  EXPECT_EQ(get.header("authorization"), "Bearer " + token());
  EXPECT_EQ(get.status, 200);
  EXPECT_FALSE(get.tls);

  const RecordedRequest& patch = log[1];
  EXPECT_EQ(patch.method, "PATCH");
  EXPECT_EQ(patch.body, R"({"name":"Porch"})");
  EXPECT_EQ(patch.header("Content-Type"), "application/json");
  EXPECT_EQ(patch.status, 200);
  EXPECT_EQ(patch.sequence, get.sequence + 1);
  EXPECT_EQ(patch.connection, get.connection) << "both came over one kept-alive connection";
  EXPECT_EQ(sim->world().cameras[0].name, "Porch");

  EXPECT_EQ(sim->requestsTo(get.path).size(), 1u);
  sim->clearRequests();
  EXPECT_EQ(sim->requestCount(), 0u);
  client->get("/rest/v2.0/ping", "");
  const auto after = sim->requests();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].status, 401);
  EXPECT_GT(after[0].sequence, patch.sequence) << "sequence numbers are never reused";
}

TEST_F(RequestLog, ManyConnectionsAtOnceAreAllServedAndLogged) {
  constexpr int kThreads = 6, kEach = 12;
  const uint16_t port = sim->port();
  const std::string bearer = token();
  std::vector<std::thread> threads;
  std::vector<int> ok(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      SimClient own(port);
      for (int i = 0; i < kEach; ++i) {
        const auto response = own.get("/rest/v2.4/events?limit=5&tag=" + std::to_string(t), bearer);
        if (response.status == 200 && response.json().size() == 5) ++ok[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(ok[t], kEach);

  ASSERT_TRUE(sim->waitForRequests(kThreads * kEach));
  const auto log = sim->requests();
  ASSERT_EQ(log.size(), static_cast<size_t>(kThreads * kEach));
  std::set<uint64_t> sequences, connections;
  for (const auto& r : log) {
    sequences.insert(r.sequence);
    connections.insert(r.connection);
  }
  EXPECT_EQ(sequences.size(), log.size());
  EXPECT_EQ(connections.size(), static_cast<size_t>(kThreads));
}

}  // namespace
}  // namespace dk::cloudsim::test

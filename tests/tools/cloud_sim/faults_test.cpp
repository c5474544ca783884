// Scripted faults fire exactly as scripted: on the matching requests, as often as asked, and in
// the way asked.
#include <chrono>
#include <future>

#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

constexpr const char* kCamerasPath = "/rest/v2.0/cameras/";
constexpr const char* kUser = "/rest/v2.3/users/self";

class Faults : public SimTest {
 protected:
  void SetUp() override { start(smallWorld(2, 1)); }
};

TEST_F(Faults, StatusForTheNextRequestsThenTheRealReply) {
  FaultRule rule = FaultRule::failWith(kCamerasPath, 503, R"json({"message":"Request failed: service unavailable (503)"})json");
  rule.times = 2;
  const int id = sim->addFault(rule);
  // The trailing slash is part of the matched path: "/rest/v2.0/cameras" is another request.
  EXPECT_EQ(client->get("/rest/v2.0/cameras", token()).status, 200);
  for (int i = 0; i < 2; ++i) {
    const ClientResponse response = client->get(kCamerasPath, token());
    EXPECT_EQ(response.status, 503);
    EXPECT_EQ(response.json()["message"], "Request failed: service unavailable (503)");
    EXPECT_EQ(response.header("Content-Type"), "application/json");
  }
  EXPECT_EQ(client->get(kCamerasPath, token()).status, 200);
  EXPECT_EQ(sim->faultHits(id), 2);
  EXPECT_EQ(client->connectionsOpened(), 1) << "error replies keep the connection";
}

TEST_F(Faults, MethodAndPrefixMatchingAndAlways) {
  FaultRule onlyDelete = FaultRule::failWith("/rest/v2.3/events/", 500);
  onlyDelete.prefix = true;
  onlyDelete.method = "DELETE";
  onlyDelete.times = -1;
  const int id = sim->addFault(onlyDelete);
  const World world = sim->world();
  const std::string event = std::to_string(world.events.front().eventId);
  const SimClient::Headers auth = {{"Authorization", "Bearer " + token()}};

  EXPECT_EQ(client->get("/rest/v2.4/events/" + event, token()).status, 200);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(client->request("DELETE", "/rest/v2.3/events/" + event, auth).status, 500);
  }
  EXPECT_EQ(sim->faultHits(id), 3);
  EXPECT_NE(sim->world().event(world.events.front().eventId), nullptr) << "a failed delete deletes nothing";

  sim->removeFault(id);
  EXPECT_EQ(client->request("DELETE", "/rest/v2.3/events/" + event, auth).status, 204);
}

TEST_F(Faults, FirstMatchingRuleWinsAndExhaustedRulesStepAside) {
  const int first = sim->addFault(FaultRule::failWith(kUser, 500));
  const int second = sim->addFault(FaultRule::failWith(kUser, 502));
  EXPECT_EQ(client->get(kUser, token()).status, 500);
  EXPECT_EQ(client->get(kUser, token()).status, 502);
  EXPECT_EQ(client->get(kUser, token()).status, 200);
  EXPECT_EQ(sim->faultHits(first), 1);
  EXPECT_EQ(sim->faultHits(second), 1);
  sim->addFault(FaultRule::failWith(kUser, 500));
  sim->clearFaults();
  EXPECT_EQ(client->get(kUser, token()).status, 200);
}

TEST_F(Faults, DroppedConnectionGivesNoReply) {
  sim->addFault(FaultRule::drop(kUser));
  const ClientResponse dropped = client->get(kUser, token());
  EXPECT_FALSE(dropped.delivered);
  EXPECT_EQ(dropped.status, 0);
  const ClientResponse next = client->get(kUser, token());
  EXPECT_EQ(next.status, 200);
  EXPECT_EQ(client->connectionsOpened(), 2);
  const auto log = sim->requestsTo(kUser);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].status, 0);
  EXPECT_EQ(log[1].status, 200);
}

TEST_F(Faults, BrokenBodiesAndExtraHeaders) {
  FaultRule malformed;
  malformed.path = kUser;
  malformed.malformedJson = true;
  sim->addFault(malformed);
  ClientResponse response = client->get(kUser, token());
  EXPECT_EQ(response.status, 200);
  EXPECT_FALSE(response.body.empty());
  EXPECT_TRUE(response.json().is_discarded()) << response.body;

  FaultRule empty;
  empty.path = kUser;
  empty.emptyBody = true;
  empty.headers = {{"Retry-After", "3"}, {"X-Sim", "yes"}};
  sim->addFault(empty);
  response = client->get(kUser, token());
  EXPECT_EQ(response.status, 200);
  EXPECT_TRUE(response.body.empty());
  EXPECT_EQ(response.header("Content-Length"), "0");
  EXPECT_EQ(response.header("Retry-After"), "3");
  EXPECT_EQ(response.header("X-Sim"), "yes");

  EXPECT_EQ(client->get(kUser, token()).json()["userId"], 42);
}

TEST_F(Faults, HeldReplyWaitsForReleaseWhileOtherConnectionsAreServed) {
  const int id = sim->addFault(FaultRule::hold(kUser));
  const uint16_t port = sim->port();
  const std::string bearer = token();
  auto held = std::async(std::launch::async, [port, bearer] {
    SimClient other(port);
    return other.get(kUser, bearer);
  });
  ASSERT_TRUE(sim->waitForHeld(1));
  EXPECT_EQ(sim->heldCount(), 1u);
  // The parked request is already in the log, its reply not yet sent.
  ASSERT_EQ(sim->requestsTo(kUser).size(), 1u);
  EXPECT_EQ(held.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

  EXPECT_EQ(client->get(kCamerasPath, token()).status, 200) << "another connection is not held up";
  EXPECT_EQ(client->get(kUser, token()).status, 200) << "the rule held only the next request";

  EXPECT_EQ(sim->release(id + 100), 0u) << "another rule's replies stay parked";
  EXPECT_EQ(sim->release(id), 1u);
  const ClientResponse response = held.get();
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.json()["userId"], 42);
  EXPECT_EQ(sim->heldCount(), 0u);
}

TEST_F(Faults, HeldDropAndStopWhileHeld) {
  FaultRule rule = FaultRule::hold(kUser);
  rule.dropConnection = true;
  sim->addFault(rule);
  auto dropped = std::async(std::launch::async, [port = sim->port(), bearer = token()] {
    SimClient other(port);
    return other.get(kUser, bearer);
  });
  ASSERT_TRUE(sim->waitForHeld(1));
  sim->release();
  EXPECT_FALSE(dropped.get().delivered);

  sim->addFault(FaultRule::hold(kUser));
  auto abandoned = std::async(std::launch::async, [port = sim->port(), bearer = token()] {
    SimClient other(port);
    return other.get(kUser, bearer);
  });
  ASSERT_TRUE(sim->waitForHeld(1));
  sim->stop();
  EXPECT_FALSE(abandoned.get().delivered) << "stopping closes parked connections";
  EXPECT_EQ(sim->heldCount(), 0u);
}

TEST_F(Faults, DelayedReplyArrivesNoEarlierThanScripted) {
  FaultRule rule;
  rule.path = kUser;
  rule.delaySeconds = 0.05;
  sim->addFault(rule);
  const auto before = std::chrono::steady_clock::now();
  const ClientResponse response = client->get(kUser, token());
  const auto elapsed = std::chrono::steady_clock::now() - before;
  EXPECT_EQ(response.status, 200);
  EXPECT_GE(elapsed, std::chrono::milliseconds(50));
}

TEST_F(Faults, FaultsApplyBeforeAuthorisation) {
  sim->addFault(FaultRule::failWith(kUser, 429, R"({"message":"slow down"})"));
  const ClientResponse response = client->get(kUser, "");
  EXPECT_EQ(response.status, 429);
  EXPECT_EQ(client->get(kUser, "").status, 401);
}

}  // namespace
}  // namespace dk::cloudsim::test

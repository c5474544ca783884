// The simulator's live-feed endpoint: topic routing, the upgrade's gate, and what a plain GET of
// the WebSocket path answers.
#include <gtest/gtest.h>

#include "cloud-sim/live_feed.h"
#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

TEST(TopicMatchesTest, HashMatchesAnyNumberOfWordsAndStarExactlyOne) {
  EXPECT_TRUE(topicMatches("/exchange/devicekeeper/777.cameras.#", "/exchange/devicekeeper/777.cameras.123.events_v24"));
  EXPECT_TRUE(topicMatches("/exchange/devicekeeper/777.cameras.#", "/exchange/devicekeeper/777.cameras"));
  EXPECT_FALSE(topicMatches("/exchange/devicekeeper/777.cameras.#", "/exchange/devicekeeper/778.cameras.1.recordings"));
  EXPECT_FALSE(topicMatches("/exchange/devicekeeper/777.cameras.#", "/exchange/devicekeeper/7770.cameras.1"));
  EXPECT_TRUE(topicMatches("a.*.c", "a.b.c"));
  EXPECT_FALSE(topicMatches("a.*.c", "a.b.b.c"));
  EXPECT_TRUE(topicMatches("a.#.c", "a.b.b.c"));
  EXPECT_TRUE(topicMatches("#", "anything.at.all"));
}

TEST(LiveFeedDestinationsTest, EventAndRecordingDestinationsNameTheAccountAndCamera) {
  EXPECT_EQ(LiveFeed::eventsDestination(777, 123), "/exchange/devicekeeper/777.cameras.123.events_v24");
  EXPECT_EQ(LiveFeed::recordingsDestination(777, 123), "/exchange/devicekeeper/777.cameras.123.recordings");
}

class LiveFeedEndpointTest : public SimTest {};

TEST_F(LiveFeedEndpointTest, APlainGetOfTheFeedPathIsToldToUpgrade) {
  start();
  auto reply = client->get("/stomp/v2.0", token());
  EXPECT_EQ(reply.status, 426);
  EXPECT_EQ(sim->liveFeed().upgradeRequests(), 0u);
}

TEST_F(LiveFeedEndpointTest, AnUpgradeWithoutAValidTokenIsRefusedBeforeTheEndpoint) {
  start();
  auto reply = client->request("GET", "/stomp/v2.0",
                               {{"Connection", "Upgrade"}, {"Upgrade", "websocket"}, {"Sec-WebSocket-Version", "13"},
                                {"Sec-WebSocket-Key", "dGhlIHNhbXBsZSBub25jZQ=="}, {"Authorization", "Bearer nope"}});
  EXPECT_EQ(reply.status, 401);
  EXPECT_EQ(sim->liveFeed().upgradeRequests(), 0u);
}

TEST_F(LiveFeedEndpointTest, PublishingWithoutSubscribersReachesNoOne) {
  start();
  EXPECT_EQ(sim->liveFeed().publish(LiveFeed::eventsDestination(7, 1), "{}"), 0u);
  EXPECT_EQ(sim->liveFeed().openConnections(), 0u);
}

}  // namespace
}  // namespace dk::cloudsim::test

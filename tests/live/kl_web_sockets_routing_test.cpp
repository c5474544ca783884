// Messages of the live feed reach the right receiver, with the class type and classes the
// receivers expect, on the manager's service queue; anything malformed or mistyped is dropped.
#include <future>

#include "live/live_feed_fixture.h"
#include "model/kl_event_response.h"

namespace dk::test {
namespace {

using cloudsim::LiveFeed;
using platform::Value;

class LiveFeedRoutingTest : public LiveFeedTest {
 protected:
  // Publishes a message that is known to arrive, so that everything published before it has
  // been handled once it is in.
  void settle() {
    const size_t before = recordings->count();
    ASSERT_EQ(live().publish(LiveFeed::recordingsDestination(777, 9999), R"({"recordingId":1,"cameraId":9999})"), 1u);
    ASSERT_TRUE(pumpUntil([&] { return recordings->count() == before + 1; }));
  }
};

TEST_F(LiveFeedRoutingTest, EventsGoToTheEventReceiverWithClassType3) {
  connectFor(Value(777));
  ASSERT_EQ(live().publish("/exchange/devicekeeper/777.cameras.123.events_v24",
                           R"({"cameraId":123,"type":"motion","timestamp":"2026-12-07T10:00:00.000Z","eventId":5})"),
            1u);
  ASSERT_TRUE(pumpUntil([&] { return events->count() == 1; }));
  auto call = events->calls()[0];
  EXPECT_EQ(call.classType, 3);
  EXPECT_EQ(call.modelClass, &KLEventResponse::staticClassInfo());
  EXPECT_EQ(call.modelListClass, &KLEventListResponse::staticClassInfo());
  EXPECT_EQ(call.message["cameraId"], Value(123));
  EXPECT_EQ(call.message["type"], Value("motion"));
  EXPECT_EQ(call.queueLabel, "com.kelo.service.KLWebSocketsManager");
  EXPECT_EQ(recordings->count(), 0u);
}

TEST_F(LiveFeedRoutingTest, RecordingsGoToTheRecordingReceiverWithClassType0) {
  connectFor(Value(777));
  live().publish("/exchange/devicekeeper/777.cameras.123.recordings",
                 R"({"cameraId":123,"recordingId":88,"startTime":"2026-12-07T10:00:00.000Z","endTime":"2026-12-07T10:05:00.000Z"})");
  ASSERT_TRUE(pumpUntil([&] { return recordings->count() == 1; }));
  auto call = recordings->calls()[0];
  EXPECT_EQ(call.classType, 0);
  EXPECT_EQ(call.modelClass, nullptr);
  EXPECT_EQ(call.modelListClass, nullptr);
  EXPECT_EQ(call.message["recordingId"], Value(88));
  EXPECT_EQ(events->count(), 0u);
}

TEST_F(LiveFeedRoutingTest, MessagesThatAreNotForTheManagersOrNotSoundAreDropped) {
  connectFor(Value(777));
  const std::string events123 = LiveFeed::eventsDestination(777, 123);
  const std::vector<std::pair<std::string, std::string>> dropped = {
      {"/exchange/devicekeeper/777.cameras", R"({"cameraId":123})"},           // only "cameras"
      {"/exchange/devicekeeper/777.cameras.123.zones", R"({"cameraId":123})"},  // neither kind
      {events123, "not json at all"},
      {events123, R"([{"cameraId":123}])"},  // JSON, but not an object
      {events123, R"("cameraId")"},
      {events123, R"({"cameraId":{"id":123},"type":"motion","timestamp":"2026-12-07T10:00:00Z"})"},
      {events123, R"({"cameraId":true,"type":"motion","timestamp":"2026-12-07T10:00:00Z"})"},
      {events123, R"({"cameraId":"12a","type":"motion","timestamp":"2026-12-07T10:00:00Z"})"},
      {events123, R"({"cameraId":123,"type":"motion","timestamp":["2026"]})"},
      {LiveFeed::recordingsDestination(777, 123), R"({"cameraId":123,"recordingId":1.5})"},
      {LiveFeed::recordingsDestination(777, 123), R"({"cameraId":123,"recordingId":7,"endTime":{}})"},
  };
  for (const auto& [destination, body] : dropped) live().publish(destination, body);
  live().sendRaw(std::string("MESSAGE\nsubscription:sub-0\n\n{\"cameraId\":1}") + '\0');  // no destination
  settle();
  EXPECT_EQ(events->count(), 0u);
  EXPECT_EQ(recordings->count(), 1u);  // the settling message only
  EXPECT_TRUE(feed->isConnected());   // a bad body is dropped, the connection stays
  EXPECT_TRUE(logged("not a JSON object"));
  EXPECT_TRUE(logged("mistyped"));
}

TEST_F(LiveFeedRoutingTest, IdentifiersAsDigitStringsAndNullsAreLeftToTheReceivers) {
  connectFor(Value(777));
  live().publish(LiveFeed::eventsDestination(777, 123),
                 R"({"cameraId":"123","type":"motion","timestamp":"2026-12-07T10:00:00Z"})");
  live().publish(LiveFeed::eventsDestination(777, 123), R"({"cameraId":null,"type":"motion"})");
  ASSERT_TRUE(pumpUntil([&] { return events->count() == 2; }));
  EXPECT_EQ(events->calls()[0].message["cameraId"], Value("123"));
  EXPECT_TRUE(events->calls()[1].message["cameraId"].isNull());
}

// While the service queue is busy, a flooding broker's messages wait in a bounded backlog:
// past so many messages, or so many bytes, they are dropped with one log line per burst, and
// messages flow again once the backlog has cleared.
TEST_F(LiveFeedRoutingTest, AFloodWaitingForTheServiceQueueIsBoundedInNumberAndBytes) {
  const auto frame = [](size_t bodyBytes) {
    platform::StompFrame message;
    message.command = "MESSAGE";
    message.addHeader("destination", LiveFeed::eventsDestination(777, 123));
    std::string body = R"({"cameraId":123,"type":"motion","timestamp":"2026-12-07T10:00:00.000Z","pad":")";
    body += std::string(bodyBytes > body.size() + 2 ? bodyBytes - body.size() - 2 : 0, 'x');
    body += "\"}";
    message.body = std::move(body);
    return message;
  };
  const size_t limit = KLWebSocketsManager::kMaxPendingMessages;
  const size_t big = KLWebSocketsManager::kMaxPendingMessageBytes / 4 + 1;  // three fit, the fourth does not
  const struct {
    const char* what;
    size_t messages;
    size_t bodyBytes;
    size_t delivered;
  } floods[] = {
      {"many small messages", limit + 500, 100, limit},
      {"a few large messages", 10, big, 3},
      // Handled messages no longer count: by now more than the byte bound has arrived in all.
      {"large messages again once the backlog cleared", 10, big, 3},
  };
  const std::string dropLine = "WEBSOCKETS too many messages waiting: dropping until the backlog clears";
  size_t deliveredSoFar = 0;
  uint64_t droppedSoFar = 0;
  for (size_t round = 0; round < std::size(floods); ++round) {
    const auto& flood = floods[round];
    SCOPED_TRACE(flood.what);
    // The service queue is busy (handling a message, say) while the flood arrives.
    std::promise<void> busy, release;
    std::shared_future<void> released = release.get_future().share();
    feed->serviceQueue()->async([&busy, released] {
      busy.set_value();
      released.wait();
    });
    busy.get_future().wait();
    const auto message = frame(flood.bodyBytes);
    for (size_t i = 0; i < flood.messages; ++i) feed->handleMessagesReceived(message);
    EXPECT_EQ(feed->droppedMessages(), droppedSoFar + flood.messages - flood.delivered);
    release.set_value();
    ASSERT_TRUE(pumpUntil([&] { return events->count() == deliveredSoFar + flood.delivered; }));
    deliveredSoFar += flood.delivered;
    droppedSoFar += flood.messages - flood.delivered;
    EXPECT_EQ(loggedCount(dropLine), round + 1) << "one line per burst, not one per message";

    // The backlog has cleared: the next message is handled again.
    feed->handleMessagesReceived(frame(100));
    ASSERT_TRUE(pumpUntil([&] { return events->count() == deliveredSoFar + 1; }));
    deliveredSoFar += 1;
  }
}

TEST_F(LiveFeedRoutingTest, AReceiverThatIsGoneIsSkipped) {
  connectFor(Value(777));
  events.reset();
  live().publish(LiveFeed::eventsDestination(777, 123), R"({"cameraId":123})");
  settle();
  EXPECT_TRUE(feed->isConnected());
}

TEST_F(LiveFeedRoutingTest, TheCloudPublishesNewEventsAndRecordingChangesOfItsAccount) {
  const auto world = sim.world();
  const int64_t camera = world.cameras[0].cameraId;
  connectFor(Value(world.user.accountId));
  sim.updateWorld([&](cloudsim::World& w) { w.addEvent(camera, w.now, "motion"); });
  ASSERT_TRUE(pumpUntil([&] { return events->count() == 1; }));
  EXPECT_EQ(events->calls()[0].message["cameraId"], Value(camera));
  EXPECT_EQ(events->calls()[0].message["type"], Value("motion"));
  EXPECT_TRUE(events->calls()[0].message["timestamp"].isString());

  // A recording closed and the next one opened: one message each.
  int64_t opened = 0;
  sim.updateWorld([&](cloudsim::World& w) { opened = w.startRecording(camera, w.now + 10); });
  ASSERT_TRUE(pumpUntil([&] { return recordings->count() == 1; }));
  EXPECT_EQ(recordings->calls()[0].message["recordingId"], Value(opened));
  sim.updateWorld([&](cloudsim::World& w) {
    w.closeRecording(opened, w.now + 70);
    w.startRecording(camera, w.now + 71);
  });
  ASSERT_TRUE(pumpUntil([&] { return recordings->count() == 3; }));
  for (const auto& call : recordings->calls()) {
    EXPECT_EQ(call.message["cameraId"], Value(camera));
    EXPECT_TRUE(call.message["recordingId"].isInteger());
  }
}

}  // namespace
}  // namespace dk::test

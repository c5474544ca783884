// Messages of the live feed reach the right receiver, with the class type and classes the
// receivers expect, on the manager's service queue; anything malformed or mistyped is dropped.
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

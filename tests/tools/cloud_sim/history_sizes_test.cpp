// Histories of a given size for benchmarks, and changes made while a client watches, each with
// the live message the cloud would push about it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cloud-sim/cloud_sim.h"
#include "cloud-sim/live_changes.h"
#include "cloud-sim/world.h"

namespace dk::cloudsim {
namespace {

GenerateOptions sized(int recordings, int events, uint64_t seed = 3) {
  GenerateOptions o;
  o.seed = seed;
  o.cameras = 2;
  o.days = 20;
  o.recordingsPerCamera = recordings;
  o.eventsPerCamera = events;
  return o;
}

TEST(HistorySizes, EachCameraGetsExactlyTheAskedNumbersInsideItsRecordings) {
  const GenerateOptions o = sized(700, 3000);
  const World w = World::generate(o);
  for (const Camera& camera : w.cameras) {
    const auto recordings = w.recordingsOf(camera.cameraId);
    const auto events = w.eventsOf(camera.cameraId);
    ASSERT_EQ(recordings.size(), 700u);
    ASSERT_EQ(events.size(), 3000u);
    int gaps = 0;
    for (size_t i = 0; i + 1 < recordings.size(); ++i) {
      EXPECT_LT(recordings[i].start, recordings[i].end);
      EXPECT_LE(recordings[i].end, recordings[i + 1].start);
      gaps += recordings[i + 1].start > recordings[i].end;
    }
    EXPECT_GT(gaps, 100);
    EXPECT_LT(gaps, 400);
    // The online camera's newest recording is still open.
    EXPECT_EQ(recordings.back().closed, !camera.online);
    size_t outside = 0;
    for (const Event& e : events) {
      outside += std::none_of(recordings.begin(), recordings.end(), [&](const Recording& r) {
        return e.timestamp >= r.start && e.timestamp <= (r.closed ? r.end : o.now);
      });
    }
    EXPECT_EQ(outside, 0u);
  }
  // The seed decides the details: same seed, same world.
  const World again = World::generate(o);
  ASSERT_EQ(again.events.size(), w.events.size());
  EXPECT_EQ(again.events[1234].timestamp, w.events[1234].timestamp);
  EXPECT_NE(World::generate(sized(700, 3000, 4)).events[1234].timestamp, w.events[1234].timestamp);
}

TEST(HistorySizes, WithoutSizesTheDailyWorldIsUnchanged) {
  GenerateOptions plain;
  plain.seed = 9;
  const World a = World::generate(plain);
  const World b = World::generate(9);
  ASSERT_EQ(a.events.size(), b.events.size());
  ASSERT_EQ(a.recordings.size(), b.recordings.size());
  EXPECT_EQ(a.recordings.back().start, b.recordings.back().start);
}

TEST(LiveChanges, AddingAnEventOrClosingARecordingGivesTheMessageToPush) {
  CloudSim sim(World::generate(5, 2, 1));
  const World before = sim.world();
  const int64_t camera = before.cameras[0].cameraId;

  const LiveMessage added = addLiveEvent(sim, camera, before.now + 30, event_type::kDoorbell);
  EXPECT_EQ(added.destination, "/exchange/devicekeeper/7.cameras.1001.events_v24");
  const auto event = nlohmann::json::parse(added.body);
  EXPECT_EQ(event["cameraId"], camera);
  EXPECT_EQ(event["eventId"], added.id);
  EXPECT_EQ(event["type"], "doorbellPressed");
  EXPECT_TRUE(event["timestamp"].is_string());
  ASSERT_NE(sim.world().event(added.id), nullptr);

  const auto open = newestRecording(sim, camera);
  ASSERT_TRUE(open.has_value());
  ASSERT_FALSE(open->closed);
  const LiveMessage closed = closeLiveRecording(sim, open->recordingId, before.now + 60);
  EXPECT_EQ(closed.destination, "/exchange/devicekeeper/7.cameras.1001.recordings");
  const auto recording = nlohmann::json::parse(closed.body);
  EXPECT_EQ(recording["recordingId"], open->recordingId);
  EXPECT_TRUE(recording["endTime"].is_string());
  EXPECT_EQ(recording["closed"], true);
  EXPECT_TRUE(sim.world().recording(open->recordingId)->closed);

  const LiveMessage started = startLiveRecording(sim, camera, before.now + 60);
  EXPECT_GT(started.id, open->recordingId);
  EXPECT_FALSE(nlohmann::json::parse(started.body).contains("endTime"));
  EXPECT_EQ(closeLiveRecording(sim, 999999, before.now).id, 0);
}

}  // namespace
}  // namespace dk::cloudsim

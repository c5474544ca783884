// The generated world: deterministic, complete and self-consistent; and the server time format.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "cloud-sim/server_time.h"
#include "cloud-sim/world.h"

namespace dk::cloudsim {
namespace {

GenerateOptions options(uint64_t seed, int cameras = 4, int days = 6) {
  GenerateOptions o;
  o.seed = seed;
  o.cameras = cameras;
  o.days = days;
  return o;
}

TEST(ServerTime, FormatsWithMillisecondsAndFixedOffset) {
  // 2021-03-28T08:15:30.000Z
  EXPECT_EQ(formatServerTime(1616919330.0, 7200), "2021-03-28T10:15:30.000+02:00");
  EXPECT_EQ(formatServerTime(1616919330.25, 0), "2021-03-28T08:15:30.250Z");
  EXPECT_EQ(formatServerTime(1616919330.0, -5 * 3600 - 1800), "2021-03-28T02:45:30.000-05:30");
  // The offset moves the calendar day as well.
  EXPECT_EQ(formatServerTime(1616976000.0 - 1, 3600), "2021-03-29T00:59:59.000+01:00");
}

TEST(ServerTime, ParsesWhatItFormatsAndTheUsualVariants) {
  for (double t : {0.0, 951782400.5, 1616919330.123, 1700000000.999}) {
    for (int offset : {0, 7200, -16200}) {
      const auto parsed = parseServerTime(formatServerTime(t, offset));
      ASSERT_TRUE(parsed.has_value());
      EXPECT_NEAR(*parsed, t, 0.0005);
    }
  }
  EXPECT_EQ(parseServerTime("2021-03-28T10:15:30+02:00"), 1616919330.0);
  EXPECT_EQ(parseServerTime("2021-03-28T10:15:30.000+0200"), 1616919330.0);
  EXPECT_EQ(parseServerTime("2021-03-28T08:15:30.000Z"), 1616919330.0);
}

TEST(ServerTime, RejectsMalformedText) {
  // A "+" that reached the server unescaped arrives as a blank.
  EXPECT_FALSE(parseServerTime("2021-03-28T10:15:30.000 02:00"));
  EXPECT_FALSE(parseServerTime("2021-03-28T10:15:30.000"));
  EXPECT_FALSE(parseServerTime("2021-13-28T10:15:30.000Z"));
  EXPECT_FALSE(parseServerTime("2021-03-28 10:15:30.000Z"));
  EXPECT_FALSE(parseServerTime("2021-03-28T10:15:30.000Zjunk"));
  EXPECT_FALSE(parseServerTime(""));
}

TEST(WorldGenerator, SameSeedSameWorldOtherSeedOtherWorld) {
  const World a = World::generate(options(7));
  const World b = World::generate(options(7));
  const World c = World::generate(options(8));
  ASSERT_EQ(a.recordings.size(), b.recordings.size());
  ASSERT_EQ(a.events.size(), b.events.size());
  for (size_t i = 0; i < a.recordings.size(); ++i) {
    EXPECT_EQ(a.recordings[i].recordingId, b.recordings[i].recordingId);
    EXPECT_EQ(a.recordings[i].start, b.recordings[i].start);
    EXPECT_EQ(a.recordings[i].end, b.recordings[i].end);
  }
  for (size_t i = 0; i < a.events.size(); ++i) {
    EXPECT_EQ(a.events[i].timestamp, b.events[i].timestamp);
    EXPECT_EQ(a.events[i].type, b.events[i].type);
    EXPECT_EQ(a.events[i].category, b.events[i].category);
  }
  const bool differs = a.events.size() != c.events.size() ||
                       a.recordings.size() != c.recordings.size() ||
                       a.events.front().timestamp != c.events.front().timestamp;
  EXPECT_TRUE(differs);
}

TEST(WorldGenerator, HasAnOnlineAndAnOfflineCamera) {
  const GenerateOptions o = options(3, 2, 3);
  const World w = World::generate(o);
  ASSERT_EQ(w.cameras.size(), 2u);
  EXPECT_TRUE(w.cameras[0].online);
  EXPECT_FALSE(w.cameras[1].online);

  const auto online = w.recordingsOf(w.cameras[0].cameraId);
  ASSERT_FALSE(online.empty());
  EXPECT_FALSE(online.back().closed) << "the online camera is still recording";
  for (size_t i = 0; i + 1 < online.size(); ++i) EXPECT_TRUE(online[i].closed);

  const auto offline = w.recordingsOf(w.cameras[1].cameraId);
  ASSERT_FALSE(offline.empty());
  for (const Recording& r : offline) {
    EXPECT_TRUE(r.closed);
    EXPECT_LE(r.end, o.now - o.offlineHours * 3600);
  }
  for (const Event& e : w.eventsOf(w.cameras[1].cameraId)) {
    EXPECT_LE(e.timestamp, o.now - o.offlineHours * 3600);
  }
}

TEST(WorldGenerator, RecordingsAreOrderedDisjointAndSpanTheDaysWithGaps) {
  const GenerateOptions o = options(11, 3, 5);
  const World w = World::generate(o);
  for (size_t i = 0; i + 1 < w.recordings.size(); ++i) {
    EXPECT_LT(w.recordings[i].recordingId, w.recordings[i + 1].recordingId);
    EXPECT_LE(w.recordings[i].start, w.recordings[i + 1].start) << "identifiers grow with start";
  }
  for (const Camera& camera : w.cameras) {
    const auto list = w.recordingsOf(camera.cameraId);
    ASSERT_GT(list.size(), 10u);
    EXPECT_LT(list.front().start, o.now - o.days * 86400.0 + 3600);
    int gaps = 0;
    for (size_t i = 0; i + 1 < list.size(); ++i) {
      EXPECT_LT(list[i].start, list[i].end);
      EXPECT_LE(list[i].end, list[i + 1].start) << "recordings of one camera never overlap";
      if (list[i + 1].start > list[i].end) ++gaps;
    }
    EXPECT_GT(gaps, 0);
  }
}

TEST(WorldGenerator, EventsLieInRecordingsAndCoverEveryType) {
  const GenerateOptions o = options(5, 3, 4);
  const World w = World::generate(o);
  for (size_t i = 0; i + 1 < w.events.size(); ++i) {
    EXPECT_LT(w.events[i].eventId, w.events[i + 1].eventId);
    EXPECT_LE(w.events[i].timestamp, w.events[i + 1].timestamp);
  }
  std::map<int64_t, std::set<std::string>> typesByCamera;
  for (const Event& e : w.events) {
    typesByCamera[e.cameraId].insert(e.type);
    const auto recordings = w.recordingsOf(e.cameraId);
    const bool inside = std::any_of(recordings.begin(), recordings.end(), [&](const Recording& r) {
      return e.timestamp >= r.start && e.timestamp <= (r.closed ? r.end : o.now);
    });
    EXPECT_TRUE(inside) << "event " << e.eventId << " outside every recording";
    if (e.type == event_type::kAnalytics || e.type == event_type::kAudioCategorized) {
      EXPECT_FALSE(e.category.empty());
    }
    if (e.type == event_type::kFace) {
      EXPECT_FALSE(e.faceId.empty());
    }
  }
  const std::vector<std::string> available = w.availableEventTypes();
  const std::set<std::string> all(available.begin(), available.end());
  EXPECT_EQ(typesByCamera[w.cameras[0].cameraId], all) << "the first camera reports every type";
  EXPECT_EQ(all.size(), 7u);
}

TEST(WorldGenerator, ChangesKeepIdentifiersGrowing) {
  World w = World::generate(options(2, 2, 1));
  const int64_t camera = w.cameras[0].cameraId;
  const int64_t lastEvent = w.events.back().eventId;
  const int64_t added = w.addEvent(camera, w.now + 5, event_type::kDoorbell);
  EXPECT_EQ(added, lastEvent + 1);
  ASSERT_NE(w.event(added), nullptr);
  EXPECT_EQ(w.event(added)->type, event_type::kDoorbell);

  const Recording open = w.recordingsOf(camera).back();
  ASSERT_FALSE(open.closed);
  EXPECT_TRUE(w.closeRecording(open.recordingId, w.now + 10));
  const int64_t next = w.startRecording(camera, w.now + 10);
  EXPECT_GT(next, open.recordingId);
  EXPECT_TRUE(w.recording(open.recordingId)->closed);
  EXPECT_FALSE(w.recording(next)->closed);

  EXPECT_TRUE(w.deleteEvent(added));
  EXPECT_EQ(w.event(added), nullptr);
  EXPECT_FALSE(w.deleteEvent(added));
  EXPECT_GT(w.deleteEventsOf(camera), 0u);
  EXPECT_TRUE(w.eventsOf(camera).empty());
}

}  // namespace
}  // namespace dk::cloudsim

#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dk::cloudsim {
namespace {

// SplitMix64 with hand-made distributions: the standard library's distributions differ between
// implementations, and a seed must give the same world everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed ^ 0x5DEECE66DULL) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double uniform(double low, double high) { return low + (high - low) * uniform(); }
  size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(next() % n); }
  bool chance(double p) { return uniform() < p; }

 private:
  uint64_t state_;
};

double toMillis(double t) { return std::round(t * 1000.0) / 1000.0; }

const char* const kCameraNames[] = {"Front Door", "Garden",  "Living Room", "Garage",
                                    "Back Yard",  "Hallway", "Office",      "Driveway"};

const char* const kSoundCategories[] = {"glassBreak", "dogBark", "babyCry", "smokeAlarm"};
const char* const kObjectCategories[] = {"person", "vehicle", "animal"};

Camera makeCamera(int index, Random& random) {
  Camera c;
  c.cameraId = 1001 + index;
  c.name = kCameraNames[index % 8];
  if (index >= 8) c.name += " " + std::to_string(index / 8 + 1);
  char mac[32];
  std::snprintf(mac, sizeof mac, "00:1A:2B:3C:%02X:%02X", (index >> 8) & 0xff, index & 0xff);
  c.macAddress = mac;
  c.localHost = "192.168.1." + std::to_string(20 + index % 200);
  switch (index % 4) {
    case 0:  // a doorbell with everything
      c.deviceTypeId = 4;
      c.capabilities = {.videoMotion = true, .pir = true, .audio = true, .doorbell = true,
                        .analyticsPersonArea = true, .analyticsObjectArea = true,
                        .playAudio = true, .recordAudio = true};
      c.detectors = {.videoMotion = true, .pir = true, .sound = true, .doorbell = true,
                     .analytics = true};
      break;
    case 1:  // outdoor camera
      c.deviceTypeId = 5;
      c.capabilities = {.videoMotion = true, .pir = true, .audio = true, .recordAudio = true};
      c.detectors = {.videoMotion = true, .pir = true, .sound = false};
      break;
    case 2:  // indoor pan-tilt camera with person analytics
      c.deviceTypeId = 3;
      c.connectionType = "ethernet";
      c.capabilities = {.videoMotion = true, .audio = true, .analyticsPersonTripWire = true,
                        .ptz = true, .zoom = true, .panTilt = true, .wifi = false,
                        .playAudio = true, .recordAudio = true};
      c.detectors = {.videoMotion = true, .sound = true, .analytics = true,
                     .personDetectionOnly = true};
      c.mode = "silent";
      break;
    default:  // plain motion camera
      c.deviceTypeId = 3;
      c.capabilities = {.videoMotion = true, .pir = true};
      c.detectors = {.videoMotion = true, .pir = true};
      c.mode = "custom";
      break;
  }
  c.model = c.deviceTypeId == 4 ? "D200" : c.deviceTypeId == 5 ? "O300" : "C100";
  c.audioEnabled = c.capabilities.recordAudio;
  if (c.connectionType == "wifi") {
    const int percent = 55 + static_cast<int>(random.below(45));
    c.wifiStatus = {{.ssid = "Home-5G", .state = "connected", .strength = "high",
                     .strengthPercentage = percent, .preferred = true}};
    c.wifiSaved = {{.ssid = "Home-5G", .state = "connected", .strength = "high",
                    .strengthPercentage = percent, .preferred = true},
                   {.ssid = "Home-Guest", .state = "disconnected", .strength = "medium",
                    .strengthPercentage = 60}};
    c.wifiVisible = {{.ssid = "Home-5G", .state = "connected", .strength = "high",
                      .strengthPercentage = percent},
                     {.ssid = "Neighbour", .state = "disconnected", .strength = "",
                      .strengthPercentage = 35, .encryption = "wpa"}};
  }
  c.mobileStatus.imsi = "20404" + std::to_string(1000000000 + index);
  return c;
}

std::vector<std::string> typesFor(const Camera& camera) {
  std::vector<std::string> types;
  const auto& caps = camera.capabilities;
  if (caps.videoMotion) types.push_back(event_type::kVideoMotion);
  if (caps.pir) types.push_back(event_type::kInfrared);
  if (caps.audio) {
    types.push_back(event_type::kAudio);
    types.push_back(event_type::kAudioCategorized);
  }
  if (caps.doorbell) types.push_back(event_type::kDoorbell);
  if (caps.analytics()) {
    types.push_back(event_type::kAnalytics);
    types.push_back(event_type::kFace);
  }
  return types;
}

int weightOf(const std::string& type) {
  if (type == event_type::kVideoMotion) return 5;
  if (type == event_type::kInfrared || type == event_type::kAnalytics) return 2;
  return 1;
}

void fillDetails(Event& event, const std::vector<Face>& faces, Random& random) {
  event.category.clear();
  event.faceId.clear();
  if (event.type == event_type::kAudioCategorized) {
    event.category = kSoundCategories[random.below(4)];
  } else if (event.type == event_type::kAnalytics) {
    event.category = kObjectCategories[random.below(3)];
  } else if (event.type == event_type::kFace && !faces.empty()) {
    event.faceId = faces[random.below(faces.size())].faceId;
  }
}

std::vector<EventTypeDetail> eventCatalogue() {
  return {
      {event_type::kVideoMotion, "Motion", 5, {}},
      {event_type::kInfrared, "Infrared", 4, {}},
      {event_type::kAudio, "Sound", 6, {}},
      {event_type::kAudioCategorized,
       "Sound",
       6,
       {{"glassBreak", "Glass breaking"},
        {"dogBark", "Dog barking"},
        {"babyCry", "Baby crying"},
        {"smokeAlarm", "Smoke alarm"}}},
      {event_type::kDoorbell, "Doorbell", 1, {}},
      {event_type::kAnalytics,
       "Object",
       3,
       {{"person", "Person"}, {"vehicle", "Vehicle"}, {"animal", "Animal"}}},
      {event_type::kFace, "Face", 2, {}},
  };
}

}  // namespace

World World::generate(uint64_t seed, int cameras, int days) {
  GenerateOptions options;
  options.seed = seed;
  options.cameras = cameras;
  options.days = days;
  return generate(options);
}

World World::generate(const GenerateOptions& options) {
  Random random(options.seed);
  World world;
  world.now = options.now;
  world.utcOffsetSeconds = options.utcOffsetSeconds;
  world.eventTypes = eventCatalogue();
  world.deviceTypes = {
      {.deviceTypeId = 3, .model = "C100", .panTilt = true, .zoom = true},
      {.deviceTypeId = 4, .model = "D200", .speaker = true},
      {.deviceTypeId = 5, .model = "O300"},
  };
  const int64_t createdMs = static_cast<int64_t>(options.now - 90 * 86400.0) * 1000;
  world.faces = {{"face-0001", "Alice", "known", createdMs},
                 {"face-0002", "Bob", "known", createdMs + 3600000},
                 {"face-0003", "", "unknown", createdMs + 7200000}};

  const int cameraCount = std::max(2, options.cameras);
  const int days = std::max(1, options.days);
  for (int i = 0; i < cameraCount; ++i) world.cameras.push_back(makeCamera(i, random));
  world.cameras[1].online = false;
  world.cameras[1].wifiStatus.clear();

  world.zones.push_back({11, "Home", "active", {}});
  if (cameraCount > 2) world.zones.push_back({12, "Office", "active", {}});
  for (int i = 0; i < cameraCount; ++i) {
    Zone& zone = world.zones[i < 2 ? 0 : 1];
    zone.cameraIds.push_back(world.cameras[i].cameraId);
    world.cameras[i].zoneId = zone.zoneId;
  }

  const double historyStart = options.now - days * 86400.0;
  std::vector<Recording> recordings;
  std::vector<Event> events;
  for (const Camera& camera : world.cameras) {
    const double limit =
        camera.online ? options.now
                      : options.now - options.offlineHours * 3600.0 - random.uniform(0, 1800);
    const std::vector<std::string> types = typesFor(camera);
    int totalWeight = 0;
    for (const auto& t : types) totalWeight += weightOf(t);
    const size_t firstEvent = events.size();
    const size_t firstRecording = recordings.size();

    // One event at a time drawn between `from` and `to`.
    auto addEventBetween = [&](double from, double to) {
      Event e;
      e.cameraId = camera.cameraId;
      e.timestamp = toMillis(random.uniform(from, to));
      int pick = static_cast<int>(random.below(static_cast<size_t>(totalWeight)));
      for (const auto& type : types) {
        pick -= weightOf(type);
        if (pick < 0) {
          e.type = type;
          break;
        }
      }
      e.clipSeconds = std::round(random.uniform(8, 30));
      fillDetails(e, world.faces, random);
      events.push_back(std::move(e));
    };

    if (options.recordingsPerCamera > 0) {
      // Equal slots over the history; a recording fills its slot, some after a gap.
      const int count = options.recordingsPerCamera;
      const double slot = (limit - historyStart) / count;
      for (int k = 0; k < count; ++k) {
        Recording r;
        r.cameraId = camera.cameraId;
        const double slotStart = historyStart + k * slot;
        const double gap = random.chance(0.3) ? random.uniform(0.02, 0.3) * slot : 0;
        r.start = toMillis(slotStart + gap);
        const bool last = k + 1 == count;
        r.closed = !(last && camera.online);
        r.end = r.closed ? toMillis(slotStart + slot) : 0;
        recordings.push_back(r);
      }
    } else {
      double t = toMillis(historyStart + random.uniform(0, 1800));
      while (t < limit) {
        Recording r;
        r.cameraId = camera.cameraId;
        r.start = t;
        const double length = random.uniform(20 * 60, 2 * 3600);
        const bool last = t + length >= limit;
        if (last) {
          r.closed = !camera.online;
          r.end = camera.online ? 0 : toMillis(limit);
        } else {
          r.end = toMillis(t + length);
        }
        recordings.push_back(r);

        if (options.eventsPerCamera <= 0) {
          const double spanEnd = r.closed ? r.end : options.now;
          const double expected = options.eventsPerDay * (spanEnd - r.start) / 86400.0;
          int count = static_cast<int>(expected);
          if (random.chance(expected - count)) ++count;
          for (int k = 0; k < count; ++k) addEventBetween(r.start + 1, spanEnd);
        }

        if (last) break;
        t = r.end;
        const double gap = random.uniform();
        if (gap < 0.3) {
          t += random.uniform(30, 20 * 60);
        } else if (gap < 0.36) {
          t += random.uniform(3600, 5 * 3600);
        }
        t = toMillis(t);
      }
    }

    if (options.eventsPerCamera > 0 || options.recordingsPerCamera > 0) {
      // A given number of events (or the daily rate's worth), each in a recording chosen in
      // proportion to its length, so that every event has video around it.
      std::vector<double> cumulative;
      double total = 0;
      for (size_t k = firstRecording; k < recordings.size(); ++k) {
        const Recording& r = recordings[k];
        total += std::max(1.0, (r.closed ? r.end : options.now) - r.start);
        cumulative.push_back(total);
      }
      const int count = options.eventsPerCamera > 0
                            ? options.eventsPerCamera
                            : static_cast<int>(options.eventsPerDay * total / 86400.0);
      for (int k = 0; k < count && total > 0; ++k) {
        const double at = random.uniform(0, total);
        const size_t index = static_cast<size_t>(
            std::upper_bound(cumulative.begin(), cumulative.end(), at) - cumulative.begin());
        const Recording& r = recordings[firstRecording + std::min(index, cumulative.size() - 1)];
        const double spanEnd = r.closed ? r.end : options.now;
        addEventBetween(r.start + std::min(1.0, (spanEnd - r.start) / 2), spanEnd);
      }
    }

    // Every type the camera can report shows up at least once, spread over its history.
    const size_t cameraEvents = events.size() - firstEvent;
    if (cameraEvents >= types.size()) {
      std::sort(events.begin() + static_cast<std::ptrdiff_t>(firstEvent), events.end(),
                [](const Event& a, const Event& b) { return a.timestamp < b.timestamp; });
      for (size_t k = 0; k < types.size(); ++k) {
        const bool present = std::any_of(
            events.begin() + static_cast<std::ptrdiff_t>(firstEvent), events.end(),
            [&](const Event& e) { return e.type == types[k]; });
        if (present) continue;
        Event& e = events[firstEvent + k * cameraEvents / types.size()];
        e.type = types[k];
        fillDetails(e, world.faces, random);
      }
    }
  }

  std::stable_sort(recordings.begin(), recordings.end(),
                   [](const Recording& a, const Recording& b) { return a.start < b.start; });
  int64_t recordingId = 5001;
  for (Recording& r : recordings) r.recordingId = recordingId++;
  std::stable_sort(events.begin(), events.end(),
                   [](const Event& a, const Event& b) { return a.timestamp < b.timestamp; });
  int64_t eventId = 100001;
  for (Event& e : events) e.eventId = eventId++;
  world.recordings = std::move(recordings);
  world.events = std::move(events);
  return world;
}

Camera* World::camera(int64_t cameraId) {
  for (Camera& c : cameras)
    if (c.cameraId == cameraId) return &c;
  return nullptr;
}

const Camera* World::camera(int64_t cameraId) const {
  return const_cast<World*>(this)->camera(cameraId);
}

Zone* World::zone(int64_t zoneId) {
  for (Zone& z : zones)
    if (z.zoneId == zoneId) return &z;
  return nullptr;
}

const Event* World::event(int64_t eventId) const {
  auto it = std::lower_bound(events.begin(), events.end(), eventId,
                             [](const Event& e, int64_t id) { return e.eventId < id; });
  return it != events.end() && it->eventId == eventId ? &*it : nullptr;
}

const Recording* World::recording(int64_t recordingId) const {
  auto it = std::lower_bound(recordings.begin(), recordings.end(), recordingId,
                             [](const Recording& r, int64_t id) { return r.recordingId < id; });
  return it != recordings.end() && it->recordingId == recordingId ? &*it : nullptr;
}

std::vector<Recording> World::recordingsOf(int64_t cameraId) const {
  std::vector<Recording> out;
  for (const Recording& r : recordings)
    if (r.cameraId == cameraId) out.push_back(r);
  return out;
}

std::vector<Event> World::eventsOf(int64_t cameraId) const {
  std::vector<Event> out;
  for (const Event& e : events)
    if (e.cameraId == cameraId) out.push_back(e);
  return out;
}

std::vector<std::string> World::availableEventTypes() const {
  std::vector<std::string> out;
  for (const EventTypeDetail& d : eventTypes) out.push_back(d.eventType);
  return out;
}

int64_t World::addEvent(int64_t cameraId, double timestamp, std::string type,
                        std::string category, std::string faceId) {
  Event e;
  e.eventId = events.empty() ? 1 : events.back().eventId + 1;
  e.cameraId = cameraId;
  e.timestamp = timestamp;
  e.type = std::move(type);
  e.category = std::move(category);
  e.faceId = std::move(faceId);
  events.push_back(std::move(e));
  return events.back().eventId;
}

int64_t World::startRecording(int64_t cameraId, double start) {
  Recording r;
  r.recordingId = recordings.empty() ? 1 : recordings.back().recordingId + 1;
  r.cameraId = cameraId;
  r.start = start;
  r.closed = false;
  recordings.push_back(r);
  return r.recordingId;
}

bool World::closeRecording(int64_t recordingId, double end) {
  for (Recording& r : recordings) {
    if (r.recordingId != recordingId) continue;
    r.end = end;
    r.closed = true;
    return true;
  }
  return false;
}

bool World::deleteEvent(int64_t eventId) {
  auto it = std::find_if(events.begin(), events.end(),
                         [&](const Event& e) { return e.eventId == eventId; });
  if (it == events.end()) return false;
  events.erase(it);
  return true;
}

size_t World::deleteEventsOf(int64_t cameraId) {
  const size_t before = events.size();
  std::erase_if(events, [&](const Event& e) { return e.cameraId == cameraId; });
  return before - events.size();
}

}  // namespace dk::cloudsim

// The simulated cloud account: the user and its rights, cameras with their settings, zones,
// recordings and events over some days, faces and the event-type catalogue.
//
// A World is a plain value: copy it, change it, hand it to a CloudSim. `World::generate` builds
// a deterministic one from a seed. The CloudSim owns its own copy and guards it with a lock; use
// CloudSim::updateWorld to change the served world. A World itself is not thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dk::cloudsim {

// Event types the simulated cloud reports. The first four are the ones the client maps to
// motion, infrared, sound and categorised sound; the others are shown by their thumbnail.
namespace event_type {
inline constexpr const char* kVideoMotion = "vmdDetected";
inline constexpr const char* kInfrared = "pirDetected";
inline constexpr const char* kAudio = "audioDetected";
inline constexpr const char* kAudioCategorized = "audioCategorized";
inline constexpr const char* kDoorbell = "doorbellPressed";
inline constexpr const char* kAnalytics = "analyticsDetected";
inline constexpr const char* kFace = "faceDetected";
}  // namespace event_type

struct WifiNetwork {
  std::string ssid;
  std::string state;     // "connected", "disconnected"
  std::string strength;  // "low", "medium", "high"; empty: report strengthPercentage instead
  int strengthPercentage = 0;
  std::string encryption = "wpa2";
  bool preferred = false;
};

struct MobileStatus {
  bool enabled = false;
  std::string state = "disconnected";
  std::string network;
  std::string networkType = "LTE";
  int strengthPercentage = 0;
  std::string imsi;
};

struct CameraCapabilities {
  bool videoMotion = true;
  bool pir = false;
  bool audio = false;
  bool doorbell = false;
  bool analyticsPersonArea = false;
  bool analyticsPersonTripWire = false;
  bool analyticsObjectArea = false;
  bool analyticsObjectTripWire = false;
  bool ptz = false;
  bool zoom = false;
  bool panTilt = false;
  bool wifi = true;
  bool playAudio = false;
  bool recordAudio = false;

  bool analytics() const {
    return analyticsPersonArea || analyticsPersonTripWire || analyticsObjectArea ||
           analyticsObjectTripWire;
  }
};

// Which detectors are switched on.
struct CameraDetectors {
  bool videoMotion = true;
  bool pir = false;
  bool sound = false;
  bool doorbell = false;
  bool analytics = false;
  bool personDetectionOnly = false;
};

struct VideoSettings {
  int rotation = 0;
  std::string exposure = "auto";          // "outdoor", "50hz", "60hz", "auto"
  std::string backlight = "off";          // "off", "blc", "hlc", "wdr"
  std::string manualNightview = "Auto";   // "Auto", "Day", "Night"
};

struct FootageSettings {
  std::string resolution = "1920x1080";
  int framerate = 15;
  int maxBitRate = 2048;
};

struct Camera {
  int64_t cameraId = 0;
  std::string name;
  bool online = true;
  std::string connectionType = "wifi";
  bool audioEnabled = true;
  int64_t zoneId = -1;  // -1: in no zone
  int64_t deviceTypeId = 0;
  bool recordingOnCloud = true;
  bool recordingOnSd = false;
  std::string currentVersion = "3.2.1";
  std::string targetVersion = "3.2.1";
  std::string macAddress;
  std::string mode = "armed";  // "armed", "disarmed", "silent", "custom", "private"
  std::string previousMode;
  std::string recordingMode = "continuous";  // or "eventBased"
  int daysOfRecordings = 30;
  CameraCapabilities capabilities;
  CameraDetectors detectors;
  VideoSettings videoSettings;
  FootageSettings footageSettings;
  std::vector<WifiNetwork> wifiStatus;   // the connected network (at most one)
  std::vector<WifiNetwork> wifiSaved;
  std::vector<WifiNetwork> wifiVisible;
  MobileStatus mobileStatus;
  std::string localHost = "192.168.1.20";
  std::string globalHost = "203.0.113.10";
  std::string username = "admin";
  std::string password = "camera-pass";
  bool cloudManagedCredentials = true;
  std::string brand = "Simcam";
  std::string model;
};

struct User {
  int64_t userId = 42;
  int64_t accountId = 7;
  std::string firstName = "Alex";
  std::string lastName = "Example";
  std::string email = "user@example.com";
  std::string password = "password1";
  std::string companyName = "Example Ltd";
  std::string phone = "+31201234567";
  std::string country = "NL";
  bool allowsHelpdesk = true;
  std::string status = "active";
};

struct UserRights {
  bool demoUser = false;  // also makes the cloud refuse every change with 403
  bool microphone = true;
  bool playback = true;
  bool exporting = true;  // JSON key "export"
  bool addPnpCamera = true;
  bool addCameraManually = true;
  bool editCamera = true;
  bool deleteCamera = true;
  bool addZone = true;
  bool editZone = true;
  bool deleteZone = true;
  bool audioPir = true;
  bool edgeStorageManagement = true;
  bool deleteRecording = true;
  bool ptz = true;
};

struct Zone {
  int64_t zoneId = 0;
  std::string name;
  std::string status = "active";
  std::vector<int64_t> cameraIds;
};

// A continuous segment of stored video. Identifiers grow with the start time.
struct Recording {
  int64_t recordingId = 0;
  int64_t cameraId = 0;
  double start = 0;
  double end = 0;  // meaningful only when closed
  bool closed = true;
};

// One detection. Identifiers grow with the time the cloud learnt of the event.
struct Event {
  int64_t eventId = 0;
  int64_t cameraId = 0;
  double timestamp = 0;
  std::string type;
  std::string category;  // analytics and categorised sound
  std::string faceId;    // face events
  double clipSeconds = 15;
  uint64_t clipBytes = 0;  // 0: the world's defaultClipBytes
};

struct Face {
  std::string faceId;
  std::string name;
  std::string state;  // "known" or "unknown"
  int64_t createTime = 0;  // milliseconds since 1970
};

struct EventTypeDetail {
  std::string eventType;
  std::string translatedName;
  int priority = 0;
  std::vector<std::pair<std::string, std::string>> categoriesTranslated;
};

struct DeviceType {
  int64_t deviceTypeId = 0;
  std::string model;
  std::string brand = "Simcam";
  std::string apiFamilyId = "HostedCam";
  bool microphone = true;
  bool speaker = false;
  bool wifi = true;
  bool panTilt = false;
  bool zoom = false;
};

struct GenerateOptions {
  uint64_t seed = 1;
  int cameras = 3;  // at least 2: the first is online, the second offline
  int days = 7;
  // End of the generated history ("now" of the world). The default matches the start of the
  // tests' manual clock.
  double now = 1700000000.0;
  int utcOffsetSeconds = 7200;
  double eventsPerDay = 30;  // per camera, on average
  double offlineHours = 5;   // how long ago the offline camera went away
  // Exact sizes of each camera's history; 0 keeps the sizes the days and rates above give. With
  // recordingsPerCamera the days are cut into that many recordings (some after a gap); with
  // eventsPerCamera that many events are spread over the recorded time. Benchmarks use them to
  // ask for a history of a given size; the seed still decides every detail.
  int recordingsPerCamera = 0;
  int eventsPerCamera = 0;
};

// Audio a client sent to a camera's speaker (push-to-talk), as the cloud received it.
struct TalkSession {
  int64_t talkId = 0;
  int64_t cameraId = 0;
  int sampleRate = 0;
  uint64_t samples = 0;  // 16-bit mono samples received
  int chunks = 0;
  bool ended = false;
  double toneHz = 0;  // the pitch of what was received, from its zero crossings
  // Running state of the pitch estimate.
  uint64_t crossings = 0;
  int lastSign = 0;

  double seconds() const { return sampleRate > 0 ? static_cast<double>(samples) / sampleRate : 0; }
};

class World {
 public:
  static World generate(const GenerateOptions& options);
  static World generate(uint64_t seed, int cameras = 3, int days = 7);

  double now = 0;
  int utcOffsetSeconds = 0;
  uint64_t defaultClipBytes = 0;  // non-zero: every clip is filler of that size, not real video
  // How recordings and real clips are encoded: small MPEG-4 at 2 frames a second by default (fast
  // tests), or H.264 with B-frames at 25 frames a second like a real camera's.
  enum class VideoQuality { Small, Hd720, Hd1080 };
  VideoQuality videoQuality = VideoQuality::Small;
  // How the live playlist is written: the simulator's own (the cloud's dates, plain names), or as
  // ffmpeg's HLS muxer writes it: its dates ("+0000", after each length), no dates at all, or
  // with each segment by its absolute https address on this host.
  enum class LivePlaylistShape { Simulator, PackagerDates, PackagerUndated, PackagerAbsolute };
  LivePlaylistShape livePlaylistShape = LivePlaylistShape::Simulator;
  // The mp4 muxer's "movflags" for recordings (recording_video.h); empty: the index at the end.
  std::string recordingMovflags;
  // Seconds every recording's media times start at (a camera stamping them with its uptime).
  double recordingTimeOffset = 0;
  // Recordings served as is from a file on disk, in place of a made video (benchmarks' long
  // recordings of real weight), by recording identifier.
  std::map<int64_t, std::string> recordingFiles;

  User user;
  UserRights rights;
  std::vector<Camera> cameras;
  std::vector<Zone> zones;
  std::vector<Recording> recordings;  // ascending recordingId
  std::vector<Event> events;          // ascending eventId
  std::vector<Face> faces;
  std::vector<EventTypeDetail> eventTypes;
  std::vector<DeviceType> deviceTypes;
  std::vector<TalkSession> talks;  // ascending talkId

  Camera* camera(int64_t cameraId);
  const Camera* camera(int64_t cameraId) const;
  Zone* zone(int64_t zoneId);
  const Event* event(int64_t eventId) const;
  const Recording* recording(int64_t recordingId) const;
  std::vector<Recording> recordingsOf(int64_t cameraId) const;  // ascending recordingId
  std::vector<Event> eventsOf(int64_t cameraId) const;          // ascending eventId
  std::vector<std::string> availableEventTypes() const;

  // Changes, as the cloud would see them happen. Each returns the new identifier.
  int64_t addEvent(int64_t cameraId, double timestamp, std::string type,
                   std::string category = {}, std::string faceId = {});
  int64_t startRecording(int64_t cameraId, double start);  // an open recording
  bool closeRecording(int64_t recordingId, double end);
  bool deleteEvent(int64_t eventId);
  size_t deleteEventsOf(int64_t cameraId);
};

}  // namespace dk::cloudsim

// Changes a test (or the demo) makes to a running simulated cloud while a client watches, each
// returned as the live message the cloud would push about it: the destination under the account's
// exchange and the JSON body. The live-feed endpoint publishes these; tests without a live feed
// hand the body straight to the manager that would receive it.
//
// Thread-safe (they go through CloudSim::updateWorld).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cloud-sim/cloud_sim.h"

namespace dk::cloudsim {

struct LiveMessage {
  // "/exchange/devicekeeper/<accountId>.cameras.<cameraId>.events_v24" (or ".recordings").
  std::string destination;
  std::string body;      // JSON
  int64_t id = 0;        // the new event's or the recording's identifier; 0 when nothing changed
};

// The exchange every live destination starts with.
inline constexpr char kLiveExchangePrefix[] = "/exchange/devicekeeper/";

// A new event of the camera at `timestamp` (seconds since 1970). Body: the event as the REST API
// sends it, plus "cameraId".
LiveMessage addLiveEvent(CloudSim& sim, int64_t cameraId, double timestamp, const std::string& type,
                         const std::string& category = {}, const std::string& faceId = {});
// A new, still open recording of the camera.
LiveMessage startLiveRecording(CloudSim& sim, int64_t cameraId, double start);
// Closes a recording at `end`; the body carries its start and end. Nothing changes (id 0) for an
// unknown recording.
LiveMessage closeLiveRecording(CloudSim& sim, int64_t recordingId, double end);
// The camera's newest recording, or nothing.
std::optional<Recording> newestRecording(const CloudSim& sim, int64_t cameraId);

}  // namespace dk::cloudsim

#include "cloud-sim/live_changes.h"

#include "json_shapes.h"

namespace dk::cloudsim {
namespace {

std::string destinationFor(const World& world, int64_t cameraId, const char* kind) {
  return std::string(kLiveExchangePrefix) + std::to_string(world.user.accountId) + ".cameras." +
         std::to_string(cameraId) + "." + kind;
}

}  // namespace

LiveMessage addLiveEvent(CloudSim& sim, int64_t cameraId, double timestamp, const std::string& type,
                         const std::string& category, const std::string& faceId) {
  LiveMessage message;
  sim.updateWorld([&](World& world) {
    message.id = world.addEvent(cameraId, timestamp, type, category, faceId);
    detail::Json body = detail::eventJson(*world.event(message.id), world.utcOffsetSeconds, {});
    body["cameraId"] = cameraId;
    message.body = body.dump();
    message.destination = destinationFor(world, cameraId, "events_v24");
  });
  return message;
}

LiveMessage startLiveRecording(CloudSim& sim, int64_t cameraId, double start) {
  LiveMessage message;
  sim.updateWorld([&](World& world) {
    message.id = world.startRecording(cameraId, start);
    message.body = detail::recordingJson(*world.recording(message.id), world.utcOffsetSeconds).dump();
    message.destination = destinationFor(world, cameraId, "recordings");
  });
  return message;
}

LiveMessage closeLiveRecording(CloudSim& sim, int64_t recordingId, double end) {
  LiveMessage message;
  sim.updateWorld([&](World& world) {
    if (!world.closeRecording(recordingId, end)) return;
    const Recording* recording = world.recording(recordingId);
    message.id = recordingId;
    message.body = detail::recordingJson(*recording, world.utcOffsetSeconds).dump();
    message.destination = destinationFor(world, recording->cameraId, "recordings");
  });
  return message;
}

std::optional<Recording> newestRecording(const CloudSim& sim, int64_t cameraId) {
  const World world = sim.world();
  for (auto it = world.recordings.rbegin(); it != world.recordings.rend(); ++it) {
    if (it->cameraId == cameraId) return *it;
  }
  return std::nullopt;
}

}  // namespace dk::cloudsim

// Recordings as video: "/media/cameras/{camera}/recordings/{recording}.mp4" answers a real
// MPEG-4 video of the recording, one frame per half second with the camera's name and the time.
// An open recording is served up to the world's "now" and says so in "X-Recording-Open", so a
// player can ask again later for the part recorded since.
#include <cstring>

#include "api_routes.h"
#include "recording_video.h"

namespace dk::cloudsim::detail {
namespace {

HttpReply videoReply(std::shared_ptr<const std::string> video) {
  if (!video || video->empty()) return errorReply(500, "Video could not be made", "");
  HttpReply reply;
  reply.setHeader("Content-Type", "video/mp4");
  reply.streamedSize = video->size();
  reply.fill = [video](uint64_t offset, char* out, size_t count) {
    std::memcpy(out, video->data() + offset, count);
  };
  return reply;
}

HttpReply recordingVideo(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    const auto id = ctx.idAt(1);
    if (!id) return badValue(ctx, "recordingId");
    const Recording* r = ctx.world.recording(*id);
    if (!r || r->cameraId != camera.cameraId) {
      return errorReply(404, "Recording not found", ctx.request.path);
    }
    VideoSpec spec;
    spec.label = camera.name;
    spec.startTime = r->start;
    spec.duration = (r->closed ? r->end : ctx.world.now) - r->start;
    spec.utcOffsetSeconds = ctx.world.utcOffsetSeconds;
    if (spec.duration <= 0) return errorReply(404, "Recording has no video yet", ctx.request.path);
    HttpReply reply = videoReply(cachedLabelledVideo(spec));
    reply.setHeader("X-Recording-Open", r->closed ? "false" : "true");
    return reply;
  });
}

}  // namespace

HttpReply labelledClipReply(const std::string& label, double start, double seconds, int utcOffsetSeconds) {
  VideoSpec spec;
  spec.label = label;
  spec.startTime = start;
  spec.duration = seconds;
  spec.utcOffsetSeconds = utcOffsetSeconds;
  return videoReply(cachedLabelledVideo(spec));
}

void addMediaVideoRoutes(std::vector<Route>& routes) {
  routes.push_back({"GET", "/media/cameras/{camera}/recordings/{recording}.mp4", Auth::Bearer, recordingVideo});
}

}  // namespace dk::cloudsim::detail

// Recordings as video: "/media/cameras/{camera}/recordings/{recording}.mp4" answers a real
// MPEG-4 video of the recording, one frame per half second with the camera's name and the time.
// An open recording is served up to the world's "now" and says so in "X-Recording-Open", so a
// player can ask again later for the part recorded since. The world's videoQuality picks small
// MPEG-4 or camera-like H.264; byte ranges are answered (byte_range.h). Videos are encoded
// outside the world's lock.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "api_routes.h"
#include "recording_video.h"

namespace dk::cloudsim::detail {
namespace {

HttpReply videoReply(std::shared_ptr<const std::string> video) {
  if (!video || video->empty()) return errorReply(500, "Video could not be made", "");
  HttpReply reply;
  reply.setHeader("Content-Type", "video/mp4");
  reply.setHeader("Accept-Ranges", "bytes");
  reply.streamedSize = video->size();
  reply.fill = [video](uint64_t offset, char* out, size_t count) {
    std::memcpy(out, video->data() + offset, count);
  };
  return reply;
}

// A file on disk, read as its bytes are sent.
HttpReply fileReply(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const off_t size = fd >= 0 ? ::lseek(fd, 0, SEEK_END) : -1;
  if (size <= 0) {
    if (fd >= 0) ::close(fd);
    return errorReply(500, "Video could not be read", path);
  }
  auto held = std::shared_ptr<int>(new int(fd), [](int* f) {
    ::close(*f);
    delete f;
  });
  HttpReply reply;
  reply.setHeader("Content-Type", "video/mp4");
  reply.setHeader("Accept-Ranges", "bytes");
  reply.streamedSize = static_cast<uint64_t>(size);
  reply.fill = [held](uint64_t offset, char* out, size_t count) {
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(*held, out + done, count - done, static_cast<off_t>(offset + done));
      if (n <= 0) {
        std::memset(out + done, 0, count - done);
        return;
      }
      done += static_cast<size_t>(n);
    }
  };
  return reply;
}

// The reply, made once the world's lock is let go (encoding takes a while).
HttpReply deferredVideoReply(const VideoSpec& spec, std::vector<std::pair<std::string, std::string>> headers) {
  HttpReply reply;
  reply.deferred = [spec, headers = std::move(headers)] {
    HttpReply made = videoReply(cachedLabelledVideo(spec));
    if (made.status == 200) {
      for (const auto& [name, value] : headers) made.setHeader(name, value);
    }
    return made;
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
    if (auto file = ctx.world.recordingFiles.find(*id); file != ctx.world.recordingFiles.end()) {
      return fileReply(file->second);
    }
    VideoSpec spec;
    spec.label = camera.name;
    spec.startTime = r->start;
    spec.duration = (r->closed ? r->end : ctx.world.now) - r->start;
    spec.utcOffsetSeconds = ctx.world.utcOffsetSeconds;
    spec.sound = camera.audioEnabled;  // a camera whose microphone is off records no sound
    if (spec.duration <= 0) return errorReply(404, "Recording has no video yet", ctx.request.path);
    applyVideoQuality(spec, ctx.world.videoQuality);
    spec.movflags = ctx.world.recordingMovflags;
    spec.timeOffset = ctx.world.recordingTimeOffset;
    return deferredVideoReply(spec, {{"X-Recording-Open", r->closed ? "false" : "true"}});
  });
}

}  // namespace

void applyVideoQuality(VideoSpec& spec, World::VideoQuality quality) {
  if (quality == World::VideoQuality::Small) return;
  spec.h264 = true;
  spec.fps = 25;  // and a key frame every two seconds (recording_video.h)
  spec.width = quality == World::VideoQuality::Hd1080 ? 1920 : 1280;
  spec.height = quality == World::VideoQuality::Hd1080 ? 1080 : 720;
}

HttpReply labelledClipReply(const std::string& label, double start, double seconds, int utcOffsetSeconds,
                            World::VideoQuality quality) {
  VideoSpec spec;
  spec.label = label;
  spec.startTime = start;
  spec.duration = seconds;
  spec.utcOffsetSeconds = utcOffsetSeconds;
  applyVideoQuality(spec, quality);
  return deferredVideoReply(spec, {});
}

void addMediaVideoRoutes(std::vector<Route>& routes) {
  routes.push_back({"GET", "/media/cameras/{camera}/recordings/{recording}.mp4", Auth::Bearer, recordingVideo});
}

}  // namespace dk::cloudsim::detail

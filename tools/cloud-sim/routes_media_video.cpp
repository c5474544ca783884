// Recordings as video: "/media/cameras/{camera}/recordings/{recording}.mp4" answers a real
// MPEG-4 video of the recording, one frame per half second with the camera's name and the time.
// An open recording is served up to the world's "now" and says so in "X-Recording-Open", so a
// player can ask again later for the part recorded since. A "Range: bytes=a-b" request is
// answered with that part (206 and "Content-Range"), or 416 when it starts past the end.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

#include "api_routes.h"
#include "recording_video.h"

namespace dk::cloudsim::detail {
namespace {

struct ByteRange {
  uint64_t first = 0, last = 0;
};

// One "bytes=a-b", "bytes=a-" or "bytes=-n" range within `size`; nullopt when absent or not
// understood (answered whole), a range with first > last when unsatisfiable.
std::optional<ByteRange> requestedRange(const std::string& header, uint64_t size) {
  constexpr std::string_view kPrefix = "bytes=";
  if (header.compare(0, kPrefix.size(), kPrefix) != 0 || header.find(',') != std::string::npos) return std::nullopt;
  const std::string spec = header.substr(kPrefix.size());
  const size_t dash = spec.find('-');
  if (dash == std::string::npos) return std::nullopt;
  auto parse = [](std::string_view text, uint64_t& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
  };
  uint64_t a = 0, b = 0;
  const std::string_view head(spec.data(), dash), tail(spec.data() + dash + 1, spec.size() - dash - 1);
  if (head.empty()) {  // the last n bytes
    if (!parse(tail, b) || b == 0) return std::nullopt;
    return ByteRange{size > b ? size - b : 0, size - 1};
  }
  if (!parse(head, a)) return std::nullopt;
  if (tail.empty()) {
    b = size - 1;
  } else if (!parse(tail, b) || b < a) {
    return std::nullopt;
  }
  if (a >= size) return ByteRange{1, 0};
  return ByteRange{a, std::min(b, size - 1)};
}

HttpReply videoReply(std::shared_ptr<const std::string> video, const std::string& rangeHeader = {}) {
  if (!video || video->empty()) return errorReply(500, "Video could not be made", "");
  HttpReply reply;
  reply.setHeader("Content-Type", "video/mp4");
  reply.setHeader("Accept-Ranges", "bytes");
  uint64_t first = 0, count = video->size();
  if (auto range = requestedRange(rangeHeader, video->size())) {
    if (range->first > range->last) {
      HttpReply refused = errorReply(416, "Range Not Satisfiable", "");
      refused.setHeader("Content-Range", "bytes */" + std::to_string(video->size()));
      return refused;
    }
    first = range->first;
    count = range->last - range->first + 1;
    reply.status = 206;
    reply.setHeader("Content-Range", "bytes " + std::to_string(range->first) + "-" + std::to_string(range->last) +
                                         "/" + std::to_string(video->size()));
  }
  reply.streamedSize = count;
  reply.fill = [video, first](uint64_t offset, char* out, size_t n) {
    std::memcpy(out, video->data() + first + offset, n);
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
    HttpReply reply = videoReply(cachedLabelledVideo(spec), ctx.request.header("Range"));
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

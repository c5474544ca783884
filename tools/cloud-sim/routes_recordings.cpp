// Recordings: one camera's (or all cameras') recordings, paged by time bounds and a limit,
// and single recordings.
#include <charconv>
#include <limits>

#include "api_routes.h"
#include "cloud-sim/server_time.h"

namespace dk::cloudsim::detail {
namespace {

constexpr int64_t kDefaultPageSize = 100;
constexpr int64_t kMaxPageSize = 1000;

// Recordings overlapping [minTimestamp, maxTimestamp]: a recording is in when it starts at or
// before the upper bound and ends (or, still open, is running) at or after the lower bound. So
// the next older page, bounded by the oldest start time known, begins with that recording.
HttpReply listFor(RouteContext& ctx, std::optional<int64_t> cameraId) {
  std::optional<double> minTime, maxTime;
  if (const auto text = ctx.query.get("minTimestamp")) {
    minTime = parseServerTime(*text);
    if (!minTime) return badValue(ctx, "minTimestamp");
  }
  if (const auto text = ctx.query.get("maxTimestamp")) {
    maxTime = parseServerTime(*text);
    if (!maxTime) return badValue(ctx, "maxTimestamp");
  }
  int64_t limit = kDefaultPageSize;
  if (const auto text = ctx.query.get("limit")) {
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), limit);
    if (ec != std::errc() || end != text->data() + text->size() || limit < 1 || limit > kMaxPageSize) {
      return badValue(ctx, "limit");
    }
  }
  bool descending = false;
  if (const auto order = ctx.query.get("sortByRecordingIdOrder")) {
    if (*order == "desc") descending = true;
    else if (*order != "asc") return badValue(ctx, "sortByRecordingIdOrder");
  }

  auto selected = [&](const Recording& r) {
    if (cameraId && r.cameraId != *cameraId) return false;
    if (maxTime && r.start > *maxTime) return false;
    const double end = r.closed ? r.end : std::numeric_limits<double>::infinity();
    if (minTime && end < *minTime) return false;
    return true;
  };
  Json page = Json::array();
  const auto& all = ctx.world.recordings;
  auto take = [&](const Recording& r) {
    if (static_cast<int64_t>(page.size()) >= limit || !selected(r)) return;
    page.push_back(recordingJson(r, ctx.world.utcOffsetSeconds));
  };
  if (descending) {
    for (auto it = all.rbegin(); it != all.rend(); ++it) take(*it);
  } else {
    for (const Recording& r : all) take(r);
  }
  return jsonReply(200, page);
}

HttpReply cameraRecordings(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) { return listFor(ctx, camera.cameraId); });
}

HttpReply allRecordings(RouteContext& ctx) { return listFor(ctx, std::nullopt); }

HttpReply oneRecording(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    const auto id = ctx.idAt(1);
    if (!id) return badValue(ctx, "recordingId");
    const Recording* r = ctx.world.recording(*id);
    if (!r || r->cameraId != camera.cameraId) {
      return errorReply(404, "Recording not found", ctx.request.path);
    }
    return jsonReply(200, recordingJson(*r, ctx.world.utcOffsetSeconds));
  });
}

}  // namespace

void addRecordingRoutes(std::vector<Route>& routes) {
  routes.insert(routes.end(), {
      {"GET", "/rest/v2.2/cameras/all/recordings", Auth::Bearer, allRecordings},
      {"GET", "/rest/v2.2/cameras/{camera}/recordings", Auth::Bearer, cameraRecordings},
      {"GET", "/rest/v2.2/cameras/{camera}/recordings/{recording}", Auth::Bearer, oneRecording},
  });
}

}  // namespace dk::cloudsim::detail

// Recordings: one camera's (or all cameras') recordings, paged by time bounds and a limit,
// and single recordings.
#include "api_routes.h"

namespace dk::cloudsim::detail {
namespace {

constexpr int64_t kDefaultRecordingPageSize = 100;

// Recordings overlapping [minTimestamp, maxTimestamp]: a recording is in when it starts at or
// before the upper bound and ends (or, still open, is running) at or after the lower bound. So
// the next older page, bounded by the oldest start time known, begins with that recording.
HttpReply listFor(RouteContext& ctx, std::optional<int64_t> cameraId) {
  TimeBounds bounds;
  if (auto error = readTimeBounds(ctx, bounds)) return std::move(*error);
  std::optional<int64_t> requested;
  if (auto error = readLimit(ctx, requested)) return std::move(*error);
  const int64_t limit = requested.value_or(kDefaultRecordingPageSize);
  bool descending = false;
  if (const auto order = ctx.query.get("sortByRecordingIdOrder")) {
    if (*order == "desc") descending = true;
    else if (*order != "asc") return badValue(ctx, "sortByRecordingIdOrder");
  }

  auto selected = [&](const Recording& r) {
    if (cameraId && r.cameraId != *cameraId) return false;
    if (bounds.max && millis(r.start) > millis(*bounds.max)) return false;
    if (bounds.min && r.closed && millis(r.end) < millis(*bounds.min)) return false;
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

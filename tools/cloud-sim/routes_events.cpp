// Events: the paged event list with its next-page "Link" header, single events, deletion,
// thumbnails, MPEG-4 clips, the event-type catalogue and the known faces.
#include <algorithm>
#include <memory>
#include <set>

#include "api_routes.h"
#include "media.h"
#include "scene_pictures.h"

namespace dk::cloudsim::detail {
namespace {

constexpr int64_t kDefaultEventPageSize = 100;

// Link values are left as they are, except what would break a reader that splits the query at
// "&" and "=" without decoding it.
std::string linkValue(const std::string& value) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (c == '&' || c == '=' || c == '#' || c == '%' || c == '<' || c == '>' || c <= ' ' || c >= 0x7f) {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

bool wantsClipUrls(RouteContext& ctx) {
  const auto types = ctx.query.get("includeUrlTypes");
  if (!types) return false;
  for (const std::string& t : splitList(*types)) {
    if (t == "mp4Https" || t == "all") return true;
  }
  return false;
}

HttpReply listEvents(RouteContext& ctx) {
  std::set<int64_t> cameras;
  if (const auto ids = ctx.query.get("cameraIds")) {
    for (const std::string& item : splitList(*ids)) {
      const auto id = parseInteger(item);
      if (!id) return badValue(ctx, "cameraIds");
      cameras.insert(*id);
    }
  }
  std::set<std::string> types;
  if (const auto list = ctx.query.get("types")) {
    for (const std::string& t : splitList(*list)) types.insert(t);
  }
  std::optional<int64_t> maxEventId;
  if (const auto text = ctx.query.get("maxEventId")) {
    maxEventId = parseInteger(*text);
    if (!maxEventId) return badValue(ctx, "maxEventId");
  }
  TimeBounds bounds;
  if (auto error = readTimeBounds(ctx, bounds)) return std::move(*error);
  // Without a lower time bound the list is paged; with one, everything newer comes at once
  // unless a limit is asked for.
  std::optional<int64_t> limit;
  if (auto error = readLimit(ctx, limit)) return std::move(*error);
  if (!limit && !bounds.min) limit = kDefaultEventPageSize;

  const std::string clipBase = wantsClipUrls(ctx) ? ctx.baseUrl : std::string();
  Json page = Json::array();
  const Event* last = nullptr;
  bool more = false;
  const auto& events = ctx.world.events;
  // Events are kept in identifier order: a page below maxEventId starts its walk there instead
  // of passing over every newer event (long histories are paged hundreds of times).
  auto from = events.rbegin();
  if (maxEventId) {
    from = std::make_reverse_iterator(std::upper_bound(
        events.begin(), events.end(), *maxEventId, [](int64_t id, const Event& e) { return id < e.eventId; }));
  }
  for (auto it = from; it != events.rend(); ++it) {
    const Event& e = *it;
    if (!cameras.empty() && !cameras.count(e.cameraId)) continue;
    if (!types.empty() && !types.count(e.type)) continue;
    if (maxEventId && e.eventId > *maxEventId) continue;
    if (bounds.min && millis(e.timestamp) < millis(*bounds.min)) continue;
    if (bounds.max && millis(e.timestamp) > millis(*bounds.max)) continue;
    if (limit && static_cast<int64_t>(page.size()) == *limit) {
      more = true;
      break;
    }
    page.push_back(eventJson(e, ctx.world.utcOffsetSeconds, clipBase));
    last = &e;
  }

  HttpReply reply = jsonReply(200, page);
  if (more && last) {
    std::string query;
    auto add = [&](const std::string& name, const std::string& value) {
      query += (query.empty() ? "" : "&") + linkValue(name) + "=" + linkValue(value);
    };
    bool limitGiven = false;
    for (const auto& [name, value] : ctx.query.all()) {
      if (name == "maxEventId") continue;
      limitGiven = limitGiven || name == "limit";
      add(name, value);
    }
    if (!limitGiven) add("limit", std::to_string(*limit));
    add("maxEventId", std::to_string(last->eventId - 1));
    reply.setHeader("Link", "<" + ctx.baseUrl + ctx.request.path + "?" + query + ">; rel=\"next\"");
  }
  return reply;
}

const Event* eventAt(RouteContext& ctx, std::optional<HttpReply>& error) {
  const auto id = ctx.idAt(0);
  if (!id) {
    error = badValue(ctx, "eventId");
    return nullptr;
  }
  const Event* event = ctx.world.event(*id);
  if (!event) error = errorReply(404, "No such event", ctx.request.path);
  return event;
}

HttpReply getEvent(RouteContext& ctx) {
  std::optional<HttpReply> error;
  const Event* event = eventAt(ctx, error);
  if (!event) return std::move(*error);
  return jsonReply(200, eventJson(*event, ctx.world.utcOffsetSeconds,
                                  wantsClipUrls(ctx) ? ctx.baseUrl : std::string()));
}

HttpReply deleteEvent(RouteContext& ctx) {
  std::optional<HttpReply> error;
  const Event* event = eventAt(ctx, error);
  if (!event) return std::move(*error);
  ctx.world.deleteEvent(event->eventId);
  return noContent();
}

HttpReply deleteEvents(RouteContext& ctx) {
  const auto ids = ctx.query.get("cameraIds");
  if (!ids) return badValue(ctx, "cameraIds");
  std::vector<int64_t> cameras;
  for (const std::string& item : splitList(*ids)) {
    const auto id = parseInteger(item);
    if (!id) return badValue(ctx, "cameraIds");
    if (!ctx.world.camera(*id)) return errorReply(404, "Camera not found", ctx.request.path);
    cameras.push_back(*id);
  }
  if (cameras.empty()) return badValue(ctx, "cameraIds");
  for (int64_t id : cameras) ctx.world.deleteEventsOf(id);
  return noContent();
}

HttpReply thumbnail(RouteContext& ctx) {
  std::optional<HttpReply> error;
  const Event* event = eventAt(ctx, error);
  if (!event) return std::move(*error);
  return imageReply(eventThumbnailJpeg(*event, ctx.world));
}

HttpReply availableTypes(RouteContext& ctx) { return jsonReply(200, ctx.world.availableEventTypes()); }

HttpReply eventTypeDetails(RouteContext& ctx) {
  Json list = Json::array();
  for (const EventTypeDetail& d : ctx.world.eventTypes) list.push_back(eventTypeDetailJson(d));
  return jsonReply(200, list);
}

HttpReply faces(RouteContext& ctx) {
  Json list = Json::array();
  for (const Face& f : ctx.world.faces) list.push_back(faceJson(f, ctx.world.user.accountId));
  return jsonReply(200, list);
}

HttpReply mp4Reply(uint64_t bytes, double seconds, uint64_t seed) {
  auto clip = std::make_shared<Mp4Clip>(bytes, seconds, seed);
  HttpReply reply;
  reply.setHeader("Content-Type", "video/mp4");
  reply.setHeader("Accept-Ranges", "bytes");
  reply.streamedSize = clip->size();
  reply.fill = [clip](uint64_t offset, char* out, size_t count) { clip->fill(offset, out, count); };
  return reply;
}

HttpReply clip(RouteContext& ctx) {
  std::optional<HttpReply> error;
  const Event* event = eventAt(ctx, error);
  if (!event) return std::move(*error);
  // A clip of a scripted size (download tests) is filler; any other is real video.
  const uint64_t bytes = event->clipBytes ? event->clipBytes : ctx.world.defaultClipBytes;
  if (bytes) return mp4Reply(bytes, event->clipSeconds, static_cast<uint64_t>(event->eventId));
  const Camera* camera = ctx.world.camera(event->cameraId);
  return labelledClipReply(camera ? camera->name : std::string(), event->timestamp, event->clipSeconds,
                           ctx.world.utcOffsetSeconds, ctx.world.videoQuality);
}

HttpReply summary(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) {
    return mp4Reply(ctx.world.defaultClipBytes ? ctx.world.defaultClipBytes : 4096, 60,
                    static_cast<uint64_t>(camera.cameraId));
  });
}

}  // namespace

void addEventRoutes(std::vector<Route>& routes) {
  routes.insert(routes.end(), {
      {"GET", "/rest/v2.4/events", Auth::Bearer, listEvents},
      {"DELETE", "/rest/v2.3/events", Auth::Bearer, deleteEvents},
      {"GET", "/rest/v2.4/events/availableTypes", Auth::Bearer, availableTypes},
      {"GET", "/rest/v2.4/events/eventTypeDetails", Auth::Bearer, eventTypeDetails},
      {"GET", "/rest/v2.4/events/{event}.jpg", Auth::Bearer, thumbnail},
      {"GET", "/rest/v2.4/events/{event}", Auth::Bearer, getEvent},
      {"DELETE", "/rest/v2.3/events/{event}", Auth::Bearer, deleteEvent},
      {"GET", "/rest/v2.4/faces", Auth::Bearer, faces},
      {"GET", "/media/clips/{event}.mp4", Auth::Bearer, clip},
      {"GET", "/media/summaries/{camera}.mp4", Auth::Bearer, summary},
  });
}

}  // namespace dk::cloudsim::detail

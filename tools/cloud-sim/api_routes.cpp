#include "api_routes.h"

#include <charconv>

#include "cloud-sim/server_time.h"

namespace dk::cloudsim::detail {
namespace {

std::vector<std::string_view> segments(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 1;  // paths begin with "/"
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  // A trailing slash names the same resource ("/rest/v2.0/cameras/" and "/rest/v2.0/cameras").
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  return parts;
}

bool matchSegments(std::string_view pattern, std::string_view path,
                   std::vector<std::string>& captures) {
  const auto want = segments(pattern);
  const auto have = segments(path);
  if (want.size() != have.size()) return false;
  captures.clear();
  for (size_t i = 0; i < want.size(); ++i) {
    const std::string_view w = want[i];
    const std::string_view h = have[i];
    if (!w.empty() && w.front() == '{') {
      const size_t close = w.find('}');
      const std::string_view suffix = w.substr(close + 1);
      if (h.size() <= suffix.size() || h.substr(h.size() - suffix.size()) != suffix) return false;
      captures.emplace_back(h.substr(0, h.size() - suffix.size()));
    } else if (w != h) {
      return false;
    }
  }
  return true;
}

}  // namespace

RouteContext::RouteContext(const HttpRequest& request, World& world, TokenStore& tokens,
                           const CloudSimOptions& options, std::string baseUrl)
    : request(request),
      world(world),
      tokens(tokens),
      options(options),
      baseUrl(std::move(baseUrl)),
      query(QueryParams::parse(request.query)) {}

const Json& RouteContext::json() {
  if (!jsonParsed_) {
    jsonParsed_ = true;
    json_ = Json::parse(request.body, nullptr, /*allow_exceptions=*/false);
    if (json_.is_discarded()) json_ = nullptr;
  }
  return json_;
}

std::optional<std::string> RouteContext::param(const std::string& name) {
  const Json& body = json();
  if (body.is_object() && body.contains(name)) {
    const Json& v = body[name];
    if (v.is_string()) return v.get<std::string>();
    if (v.is_null()) return std::nullopt;
    return v.dump();
  }
  if (findHeader(request.headers, "Content-Type").find("application/x-www-form-urlencoded") !=
      std::string::npos) {
    if (auto v = QueryParams::parse(request.body).get(name)) return v;
  }
  return query.get(name);
}

std::optional<int64_t> RouteContext::idAt(size_t index) const {
  if (index >= captures.size()) return std::nullopt;
  return parseInteger(captures[index]);
}

std::optional<int64_t> parseInteger(const std::string& text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<HttpReply> readTimeBounds(RouteContext& ctx, TimeBounds& bounds) {
  for (auto [name, slot] : {std::pair{"minTimestamp", &bounds.min}, std::pair{"maxTimestamp", &bounds.max}}) {
    const auto text = ctx.query.get(name);
    if (!text) continue;
    *slot = parseServerTime(*text);
    if (!*slot) return badValue(ctx, name);
  }
  return std::nullopt;
}

std::optional<HttpReply> readLimit(RouteContext& ctx, std::optional<int64_t>& limit) {
  const auto text = ctx.query.get("limit");
  if (!text) return std::nullopt;
  limit = parseInteger(*text);
  if (!limit || *limit < 1 || *limit > 1000) return badValue(ctx, "limit");
  return std::nullopt;
}

Router::Router() {
  addAuthRoutes(routes_);
  addCameraRoutes(routes_);
  addCameraSettingsRoutes(routes_);
  addEventRoutes(routes_);
  addRecordingRoutes(routes_);
  addAccountRoutes(routes_);
  addMediaVideoRoutes(routes_);
  addLiveRoutes(routes_);
}

const Route* Router::find(const std::string& method, const std::string& path,
                          std::vector<std::string>& captures,
                          std::vector<std::string>& allowed) const {
  allowed.clear();
  std::vector<std::string> found;
  for (const Route& route : routes_) {
    if (!matchSegments(route.pattern, path, found)) continue;
    if (method == route.method || (method == "HEAD" && std::string_view(route.method) == "GET")) {
      captures = std::move(found);
      return &route;
    }
    allowed.emplace_back(route.method);
  }
  return nullptr;
}

HttpReply jsonReply(int status, const Json& body) {
  HttpReply reply;
  reply.status = status;
  reply.setHeader("Content-Type", "application/json;charset=UTF-8");
  reply.body = body.dump();
  return reply;
}

HttpReply errorReply(int status, const std::string& message, const std::string& path) {
  return jsonReply(status, errorJson(status, message, path));
}

HttpReply badValue(RouteContext& ctx, const std::string& attribute) {
  return errorReply(400, "Invalid value for api attribute '" + attribute + "'", ctx.request.path);
}

HttpReply noContent() {
  HttpReply reply;
  reply.status = 204;
  return reply;
}

HttpReply imageReply(std::string jpeg) {
  HttpReply reply;
  reply.setHeader("Content-Type", "image/jpeg");
  reply.setHeader("Cache-Control", "max-age=604800");
  reply.body = std::move(jpeg);
  return reply;
}

CameraLookup cameraAt(RouteContext& ctx, size_t index) {
  CameraLookup lookup;
  const auto id = ctx.idAt(index);
  if (!id) {
    lookup.error = badValue(ctx, "cameraId");
    return lookup;
  }
  lookup.camera = ctx.world.camera(*id);
  if (!lookup.camera) lookup.error = errorReply(404, "Camera not found", ctx.request.path);
  return lookup;
}

std::optional<bool> boolParam(RouteContext& ctx, const std::string& name) {
  const auto text = ctx.param(name);
  if (!text) return std::nullopt;
  if (*text == "true" || *text == "1") return true;
  if (*text == "false" || *text == "0") return false;
  return std::nullopt;
}

}  // namespace dk::cloudsim::detail

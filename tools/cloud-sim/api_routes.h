// The REST API of the simulated cloud: the route table (method, path pattern, authorisation,
// handler) and what a handler gets to work with.
//
// Handlers run on the server threads with the world lock held (RouteContext::world), so they
// must be quick and must not keep references to the world in a reply's streamed body. The
// route table itself is built once and read-only afterwards.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cloud-sim/cloud_sim.h"
#include "http_types.h"
#include "json_shapes.h"
#include "token_store.h"
#include "url_codec.h"

namespace dk::cloudsim::detail {

enum class Auth {
  None,    // open
  Bearer,  // "Authorization: Bearer <access token>"
  Client,  // HTTP Basic client authentication (the token endpoint)
};

class RouteContext {
 public:
  RouteContext(const HttpRequest& request, World& world, TokenStore& tokens,
               const CloudSimOptions& options, std::string baseUrl);

  const HttpRequest& request;
  World& world;
  TokenStore& tokens;
  const CloudSimOptions& options;
  const std::string baseUrl;  // "http(s)://host:port" as the client addressed us
  QueryParams query;
  std::vector<std::string> captures;  // the {…} parts of the path, in order
  std::string bearerToken;            // set for Auth::Bearer routes

  // The body as JSON; null when there is none or it is not JSON.
  const Json& json();
  // A named parameter from the JSON object body, a form body or the query, as text.
  std::optional<std::string> param(const std::string& name);
  // Capture `index` as an identifier; nothing when it is not a whole number.
  std::optional<int64_t> idAt(size_t index) const;

 private:
  bool jsonParsed_ = false;
  Json json_;
};

using RouteHandler = HttpReply (*)(RouteContext&);

struct Route {
  const char* method;
  const char* pattern;  // "/rest/v2.2/cameras/{camera}/recordings", "{event}.jpg" captures a prefix
  Auth auth;
  RouteHandler handler;
};

class Router {
 public:
  Router();
  const Route* find(const std::string& method, const std::string& path,
                    std::vector<std::string>& captures, std::vector<std::string>& allowed) const;
  const std::vector<Route>& routes() const { return routes_; }

 private:
  std::vector<Route> routes_;
};

struct VideoSpec;

// Route groups, one per file.
void addAuthRoutes(std::vector<Route>& routes);
void addCameraRoutes(std::vector<Route>& routes);
void addCameraSettingsRoutes(std::vector<Route>& routes);
void addEventRoutes(std::vector<Route>& routes);
void addRecordingRoutes(std::vector<Route>& routes);
void addAccountRoutes(std::vector<Route>& routes);
void addMediaVideoRoutes(std::vector<Route>& routes);  // recordings and clips as real video
void addLiveRoutes(std::vector<Route>& routes);  // live video and push-to-talk audio
// A real video clip (see recording_video.h) as a reply.
HttpReply labelledClipReply(const std::string& label, double start, double seconds, int utcOffsetSeconds,
                            World::VideoQuality quality = World::VideoQuality::Small);
// The world's choice of picture on a video spec: small and quick by default, or a camera's H.264.
void applyVideoQuality(VideoSpec& spec, World::VideoQuality quality);

// Reply builders.
HttpReply jsonReply(int status, const Json& body);
HttpReply errorReply(int status, const std::string& message, const std::string& path);
HttpReply badValue(RouteContext& ctx, const std::string& attribute);
HttpReply noContent();
HttpReply imageReply(std::string jpeg);

// Common checks: the camera of capture `index`, or the error reply to send.
struct CameraLookup {
  Camera* camera = nullptr;
  std::optional<HttpReply> error;
};
CameraLookup cameraAt(RouteContext& ctx, size_t index);

// Runs body(camera) for the camera named by the first capture, or answers 400/404.
template <class Body>
HttpReply withCamera(RouteContext& ctx, Body&& body) {
  CameraLookup lookup = cameraAt(ctx, 0);
  if (lookup.error) return std::move(*lookup.error);
  return body(*lookup.camera);
}

// A whole number, or nothing.
std::optional<int64_t> parseInteger(const std::string& text);

// The optional "minTimestamp" and "maxTimestamp" parameters of list requests.
struct TimeBounds {
  std::optional<double> min, max;
};
// Reads them; the reply to send when one is present but not a server time.
std::optional<HttpReply> readTimeBounds(RouteContext& ctx, TimeBounds& bounds);
// Reads "limit" (1 to 1000) when present; the reply to send when it is malformed.
std::optional<HttpReply> readLimit(RouteContext& ctx, std::optional<int64_t>& limit);

// Times compared at the millisecond, the resolution of the server format.
inline int64_t millis(double seconds) { return std::llround(seconds * 1000.0); }

// "true"/"false" (text or JSON boolean) of a parameter.
std::optional<bool> boolParam(RouteContext& ctx, const std::string& name);

}  // namespace dk::cloudsim::detail

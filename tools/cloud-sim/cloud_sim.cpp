#include "cloud-sim/cloud_sim.h"

#include "stomp_endpoint.h"

#include <atomic>
#include <fstream>
#include <mutex>

#include "byte_range.h"

#include "api_routes.h"
#include "fault_table.h"
#include "http_server.h"
#include "parked_replies.h"
#include "request_log.h"
#include "tls_identity.h"
#include "token_store.h"

namespace dk::cloudsim {

using detail::HttpReply;
using detail::HttpRequest;

std::string RecordedRequest::header(const std::string& name) const {
  return detail::findHeader(headers, name);
}

struct CloudSim::State {
  explicit State(World w, CloudSimOptions o) : options(std::move(o)), world(std::move(w)) {}

  HttpReply handle(const HttpRequest& request);
  HttpReply serve(const HttpRequest& request);

  const CloudSimOptions options;
  mutable std::mutex worldMutex;
  World world;

  detail::TokenStore tokens;
  detail::FaultTable faults;
  detail::RequestLog log;
  detail::ParkedReplies parked;
  const detail::Router router;
  std::atomic<bool> requireAuth{true};
  TokenGrant defaultGrant;
  const std::shared_ptr<detail::StompEndpoint> stomp = std::make_shared<detail::StompEndpoint>();
  LiveFeed liveFeed{stomp};

  std::mutex lifecycle;  // start, stop and release
  std::unique_ptr<detail::HttpServer> server;
  std::atomic<uint16_t> port{0};
  uint16_t lastPort = 0;

  mutable std::mutex infoMutex;
  std::string lastError;
  std::optional<detail::TlsIdentity> identity;
};

namespace {

HttpReply unauthorized(const std::string& error, const std::string& description) {
  HttpReply reply = detail::jsonReply(401, {{"error", error}, {"error_description", description}});
  reply.setHeader("WWW-Authenticate", "Bearer realm=\"oauth2-resource\", error=\"" + error +
                                          "\", error_description=\"" + description + "\"");
  return reply;
}

// A body that no JSON parser accepts, but that starts like the real one.
std::string malformed(const std::string& body) {
  return body.substr(0, body.size() / 2) + "{\"truncated\":";
}

}  // namespace

HttpReply CloudSim::State::serve(const HttpRequest& request) {
  std::vector<std::string> captures, allowed;
  const detail::Route* route = router.find(request.method, request.path, captures, allowed);
  if (!route) {
    if (!allowed.empty()) {
      std::string allow;
      for (const auto& m : allowed) allow += (allow.empty() ? "" : ", ") + m;
      HttpReply reply = detail::errorReply(
          405, "Request method '" + request.method + "' not supported", request.path);
      reply.setHeader("Allow", allow);
      return reply;
    }
    return detail::errorReply(404, "No handler found for " + request.method + " " + request.path,
                              request.path);
  }

  std::string bearer;
  if (route->auth == detail::Auth::Bearer) {
    const auto token = detail::parseBearerAuthorization(request.header("Authorization"));
    if (token) bearer = *token;
    if (requireAuth) {
      if (!token) {
        return unauthorized("unauthorized", "Full authentication is required to access this resource");
      }
      if (!tokens.use(*token)) return unauthorized("invalid_token", "Invalid access token: " + *token);
    }
  }

  const std::string host = request.header("Host");
  const std::string baseUrl = std::string(request.tls ? "https://" : "http://") +
                              (host.empty() ? "127.0.0.1:" + std::to_string(port.load()) : host);
  std::lock_guard lock(worldMutex);
  const bool changes = request.method != "GET" && request.method != "HEAD";
  if (changes && world.rights.demoUser && request.path.rfind("/rest/", 0) == 0) {
    return detail::jsonReply(403, {{"error", "access_denied"}, {"error_description", "Access is denied"}});
  }
  detail::RouteContext context(request, world, tokens, options, baseUrl);
  context.captures = std::move(captures);
  context.bearerToken = bearer;
  return route->handler(context);
}

HttpReply CloudSim::State::handle(const HttpRequest& request) {
  RecordedRequest record;
  record.method = request.method;
  record.target = request.target;
  record.path = request.path;
  record.query = request.query;
  const detail::QueryParams query = detail::QueryParams::parse(request.query);
  for (const auto& [name, value] : query.all()) {
    record.queryParams.emplace(name, value);  // keeps the first of repeated names
  }
  record.headers = request.headers;
  record.body = request.body;
  record.tls = request.tls;
  record.connection = request.connection;

  const auto fault = faults.take(request.method, request.path);
  HttpReply reply;
  if (fault && fault->second.dropConnection) {
    reply.disposition = HttpReply::Disposition::Drop;
  } else if (fault && fault->second.status != 0) {
    reply.status = fault->second.status;
    reply.body = fault->second.body;
    if (!reply.body.empty()) reply.setHeader("Content-Type", fault->second.contentType);
    // A body served in place of a file answers ranges when the rule offers them.
    for (const auto& [name, value] : fault->second.headers) reply.setHeader(name, value);
    if (request.method == "GET") detail::applyByteRange(request.header("Range"), reply);
  } else {
    reply = serve(request);
    if (reply.deferred) {
      auto make = std::move(reply.deferred);
      reply = make();
    }
    if (request.method == "GET" || request.method == "HEAD") detail::applyByteRange(request.header("Range"), reply);
  }
  if (fault) {
    const FaultRule& rule = fault->second;
    if (reply.disposition == HttpReply::Disposition::Send) {
      if (rule.malformedJson) {
        reply.fill = nullptr;
        reply.streamedSize = 0;
        reply.body = malformed(reply.body);
        reply.setHeader("Content-Type", "application/json;charset=UTF-8");
      } else if (rule.emptyBody) {
        reply.fill = nullptr;
        reply.streamedSize = 0;
        reply.body.clear();
      }
      for (const auto& [name, value] : rule.headers) reply.setHeader(name, value);
    }
    reply.delaySeconds = rule.delaySeconds;
    if (rule.holdUntilReleased) reply.holdTag = fault->first;
  }
  record.status = reply.disposition == HttpReply::Disposition::Send ? reply.status : 0;
  log.append(std::move(record));
  return reply;
}

CloudSim::CloudSim(World world, CloudSimOptions options)
    : state_(std::make_unique<State>(std::move(world), std::move(options))) {
  state_->defaultGrant = state_->tokens.issue(true);
}

CloudSim::~CloudSim() { stop(); }

uint16_t CloudSim::start() {
  std::lock_guard lifecycle(state_->lifecycle);
  if (state_->server && state_->server->running()) return state_->port;

  detail::HttpServer::Tls tls;
  if (state_->options.https) {
    std::lock_guard info(state_->infoMutex);
    if (!state_->identity) {
      std::string error;
      state_->identity = detail::makeTlsIdentity(&error);
      if (!state_->identity) {
        state_->lastError = error;
        return 0;
      }
    }
    tls.certificateChainPem = state_->identity->serverCertificatePem + state_->identity->caCertificatePem;
    tls.privateKeyPem = state_->identity->serverPrivateKeyPem;
  }

  State* state = state_.get();
  state_->server = std::make_unique<detail::HttpServer>(
      [state](const HttpRequest& request) { return state->handle(request); }, state_->parked);
  state_->server->setWebSocketEndpoint(state_->stomp);
  std::string error;
  const detail::HttpServer::Tls* useTls = state_->options.https ? &tls : nullptr;
  uint16_t bound = 0;
  // After a restart, the same port again when it is free, so clients keep their base URL.
  if (state_->options.port == 0 && state_->lastPort != 0) {
    bound = state_->server->start(state_->lastPort, state_->options.threads, useTls, &error);
  }
  if (bound == 0) bound = state_->server->start(state_->options.port, state_->options.threads, useTls, &error);
  if (bound == 0) {
    state_->server.reset();
    std::lock_guard info(state_->infoMutex);
    state_->lastError = error;
    return 0;
  }
  state_->port = bound;
  state_->lastPort = bound;
  return bound;
}

void CloudSim::stop() {
  std::lock_guard lifecycle(state_->lifecycle);
  if (!state_->server) return;
  state_->server->stop();
  state_->server.reset();
  state_->port = 0;
}

bool CloudSim::running() const { return state_->port.load() != 0; }

std::string CloudSim::lastError() const {
  std::lock_guard info(state_->infoMutex);
  return state_->lastError;
}

std::string CloudSim::host() const { return "127.0.0.1"; }
uint16_t CloudSim::port() const { return state_->port; }
bool CloudSim::https() const { return state_->options.https; }

std::string CloudSim::baseUrl() const {
  return std::string(https() ? "https://" : "http://") + host() + ":" + std::to_string(port());
}

std::string CloudSim::caCertificatePem() const {
  std::lock_guard info(state_->infoMutex);
  return state_->identity ? state_->identity->caCertificatePem : std::string();
}

bool CloudSim::writeCaCertificate(const std::string& path) const {
  const std::string pem = caCertificatePem();
  if (pem.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << pem;
  out.close();
  return static_cast<bool>(out);
}

std::string CloudSim::accessToken() const { return state_->defaultGrant.accessToken; }
std::string CloudSim::refreshToken() const { return state_->defaultGrant.refreshToken; }
TokenGrant CloudSim::issueToken(bool withRefreshToken) { return state_->tokens.issue(withRefreshToken); }
void CloudSim::revokeToken(const std::string& accessToken) { state_->tokens.revoke(accessToken); }
void CloudSim::expireTokenAfter(const std::string& accessToken, int requests) {
  state_->tokens.expireAfter(accessToken, requests);
}
TokenGrant CloudSim::rotateToken(const std::string& accessToken) {
  state_->tokens.revoke(accessToken);
  return state_->tokens.issue(true);
}
bool CloudSim::isTokenValid(const std::string& accessToken) const {
  return state_->tokens.isValid(accessToken);
}
void CloudSim::setRequireAuth(bool required) { state_->requireAuth = required; }

int CloudSim::addFault(FaultRule rule) { return state_->faults.add(std::move(rule)); }
void CloudSim::removeFault(int faultId) { state_->faults.remove(faultId); }
void CloudSim::clearFaults() { state_->faults.clear(); }
int CloudSim::faultHits(int faultId) const { return state_->faults.hits(faultId); }

size_t CloudSim::heldCount() const { return state_->parked.count(); }

size_t CloudSim::release(int faultId) {
  std::lock_guard lifecycle(state_->lifecycle);
  return state_->parked.release(faultId);
}

bool CloudSim::waitForHeld(size_t count, std::chrono::milliseconds timeout) const {
  return state_->parked.waitFor(count, timeout);
}

std::vector<RecordedRequest> CloudSim::requests() const { return state_->log.all(); }

std::vector<RecordedRequest> CloudSim::requestsTo(const std::string& path) const {
  std::vector<RecordedRequest> out;
  for (auto& r : state_->log.all())
    if (r.path == path) out.push_back(std::move(r));
  return out;
}

size_t CloudSim::requestCount() const { return state_->log.count(); }
void CloudSim::clearRequests() { state_->log.clear(); }
bool CloudSim::waitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  return state_->log.waitFor(count, timeout);
}

World CloudSim::world() const {
  std::lock_guard lock(state_->worldMutex);
  return state_->world;
}

void CloudSim::updateWorld(const std::function<void(World&)>& change) {
  // The cloud tells subscribers of what changed: new events, and recordings opened or closed.
  std::vector<Event> newEvents;
  std::vector<Recording> changedRecordings;
  int64_t accountId = 0;
  int utcOffset = 0;
  {
    std::lock_guard lock(state_->worldMutex);
    World& world = state_->world;
    const int64_t lastEventId = world.events.empty() ? 0 : world.events.back().eventId;
    std::map<int64_t, bool> closedBefore;
    for (const auto& r : world.recordings) closedBefore[r.recordingId] = r.closed;
    change(world);
    for (const auto& e : world.events) {
      if (e.eventId > lastEventId) newEvents.push_back(e);
    }
    for (const auto& r : world.recordings) {
      auto it = closedBefore.find(r.recordingId);
      if (it == closedBefore.end() || it->second != r.closed) changedRecordings.push_back(r);
    }
    accountId = world.user.accountId;
    utcOffset = world.utcOffsetSeconds;
  }
  for (const auto& r : changedRecordings) state_->liveFeed.publishRecording(accountId, r, utcOffset);
  for (const auto& e : newEvents) state_->liveFeed.publishEvent(accountId, e, utcOffset);
}

LiveFeed& CloudSim::liveFeed() { return state_->liveFeed; }

}  // namespace dk::cloudsim

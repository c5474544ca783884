// CloudSim: a local stand-in for the camera cloud, serving its REST API, the OAuth2 token
// endpoint, event thumbnails and MPEG-4 clips over HTTP/1.1 or HTTPS on 127.0.0.1.
//
// A test (or the demo host) owns one CloudSim: construct it with a World, call start(), point
// the client at baseUrl() with accessToken() (and, for HTTPS, the CA file from
// writeCaCertificate()), script faults, read the request log, and let the destructor stop it.
// The server runs on its own small thread pool.
//
// Thread-safety: every public member may be called from any thread at any time, also while
// requests are being served. Results are snapshots (copies).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cloud-sim/live_feed.h"
#include "cloud-sim/world.h"

namespace dk::cloudsim {

struct CloudSimOptions {
  bool https = false;
  uint16_t port = 0;  // 0: an ephemeral port
  int threads = 3;
  // HTTP Basic client authentication of "oauth/token": any client identifier with this secret.
  std::string clientSecret = "QXT";
  // Lifetime announced for issued access tokens ("expires_in"); expiry itself is scripted.
  int tokenLifetimeSeconds = 3600;
};

// One request as the server received it.
struct RecordedRequest {
  uint64_t sequence = 0;  // 1, 2, ... in arrival order
  std::string method;
  std::string target;  // as sent: path and raw query
  std::string path;
  std::string query;  // raw, without "?"
  std::map<std::string, std::string> queryParams;  // decoded; the first of repeated names
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool tls = false;
  uint64_t connection = 0;  // requests on one kept-alive connection share this number
  int status = 0;  // what was answered; 0 for a dropped connection or a WebSocket upgrade

  // Case-insensitive header look-up; empty when absent.
  std::string header(const std::string& name) const;
  bool hasQuery(const std::string& name) const { return queryParams.count(name) != 0; }
};

// A scripted misbehaviour. Requests are matched by path (exact, or prefix when `prefix`), and
// by method when `method` is not empty. The rule applies to the next `times` matching requests
// (-1: always). The first matching rule wins. What it does, combined as set:
//   - `holdUntilReleased`: the reply (or the drop) is parked until release() is called;
//   - `delaySeconds`: the reply waits that long on the server (real time);
//   - `dropConnection`: the connection is closed without a reply;
//   - `status` != 0: answered with that status and `body` instead of the real reply;
//   - `malformedJson` / `emptyBody`: the real reply's body is broken or left empty;
//   - `headers`: added to whatever is answered.
struct FaultRule {
  std::string path;
  bool prefix = false;
  std::string method;
  int times = 1;
  bool holdUntilReleased = false;
  double delaySeconds = 0;
  bool dropConnection = false;
  int status = 0;
  std::string body;
  std::string contentType = "application/json";
  bool malformedJson = false;
  bool emptyBody = false;
  std::vector<std::pair<std::string, std::string>> headers;

  static FaultRule failWith(std::string path, int status, std::string body = {}) {
    FaultRule rule;
    rule.path = std::move(path);
    rule.status = status;
    rule.body = std::move(body);
    return rule;
  }
  static FaultRule hold(std::string path) {
    FaultRule rule;
    rule.path = std::move(path);
    rule.holdUntilReleased = true;
    return rule;
  }
  static FaultRule drop(std::string path) {
    FaultRule rule;
    rule.path = std::move(path);
    rule.dropConnection = true;
    return rule;
  }
};

struct TokenGrant {
  std::string accessToken;
  std::string refreshToken;  // empty for client credentials
};

class CloudSim {
 public:
  explicit CloudSim(World world = World::generate(GenerateOptions{}), CloudSimOptions options = {});
  ~CloudSim();  // stops the server
  CloudSim(const CloudSim&) = delete;
  CloudSim& operator=(const CloudSim&) = delete;

  // Binds 127.0.0.1 and starts serving. Returns the port, or 0 on failure (see lastError()).
  // Starting a running server returns its port.
  uint16_t start();
  // Closes every connection, drops parked replies and joins the server threads. Idempotent.
  void stop();
  bool running() const;
  std::string lastError() const;

  // Where to reach it: "127.0.0.1", the port, and "http(s)://127.0.0.1:<port>".
  std::string host() const;
  uint16_t port() const;
  std::string baseUrl() const;
  bool https() const;

  // The CA that signed the server certificate (for "localhost" and 127.0.0.1), made at the first
  // HTTPS start. Empty before. writeCaCertificate() writes it as PEM; false when it cannot.
  std::string caCertificatePem() const;
  bool writeCaCertificate(const std::string& path) const;

  // Tokens. accessToken() is valid from construction, with a refresh token.
  std::string accessToken() const;
  std::string refreshToken() const;
  TokenGrant issueToken(bool withRefreshToken = true);
  void revokeToken(const std::string& accessToken);
  // The token stays valid for `requests` more authorised requests, then is rejected with 401.
  void expireTokenAfter(const std::string& accessToken, int requests);
  // Revokes the access token and returns a fresh grant in its place.
  TokenGrant rotateToken(const std::string& accessToken);
  bool isTokenValid(const std::string& accessToken) const;
  // false: the REST endpoints accept requests without a valid bearer token.
  void setRequireAuth(bool required);

  // Faults. addFault returns the rule's identifier.
  int addFault(FaultRule rule);
  void removeFault(int faultId);
  void clearFaults();
  int faultHits(int faultId) const;  // requests the rule has matched so far

  // Replies parked by holdUntilReleased rules.
  size_t heldCount() const;
  // Lets the replies parked so far by one rule (or by all, for -1) go; returns how many.
  // Requests parked later wait for a later release(): call waitForHeld() first.
  size_t release(int faultId = -1);
  // Blocks until at least `count` replies are parked; false after the timeout.
  bool waitForHeld(size_t count,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;

  // The request log.
  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requestsTo(const std::string& path) const;  // exact path
  size_t requestCount() const;
  void clearRequests();
  bool waitForRequests(size_t count,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;

  // The served data. A change that adds events or opens or closes recordings is published on
  // the live feed to the account's subscribers.
  World world() const;
  void updateWorld(const std::function<void(World&)>& change);

  // The STOMP endpoint at "/stomp/v2.0": publish, misbehave, observe.
  LiveFeed& liveFeed();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace dk::cloudsim

// A scripted HTTP/1.1 server on loopback for the HTTP layer's tests: routes by path, records every
// request, and can hold replies back, drop connections or trickle bodies. Keep-alive connections,
// one thread per connection. Thread-safe.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/error.h"

namespace dk::test {

struct RecordedRequest {
  std::string method;
  std::string target;  // path and query as sent
  std::string path;
  std::string query;
  platform::HeaderMap headers;
  std::string body;
};

struct CannedResponse {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool hold = false;   // wait for releaseHeld() (or shutdown) before answering
  bool drop = false;   // close the connection without answering
  bool omitContentLength = false;  // body ends when the connection closes
  bool drip = false;  // after the header block, one body byte per dripOne() (a server that stalls)

  static CannedResponse json(std::string body, int status = 200) {
    CannedResponse r;
    r.status = status;
    r.headers = {{"Content-Type", "application/json"}};
    r.body = std::move(body);
    return r;
  }
};

class TestHttpServer {
 public:
  using Handler = std::function<CannedResponse(const RecordedRequest&)>;

  TestHttpServer();
  ~TestHttpServer();

  int port() const { return port_; }
  std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

  // Requests to `path` (query ignored) are answered by `handler`; unknown paths get 404.
  void route(const std::string& path, Handler handler);
  void route(const std::string& path, CannedResponse response);

  std::vector<RecordedRequest> requests() const;
  size_t requestCount() const;
  size_t requestCount(const std::string& path) const;
  // Replies currently held back.
  size_t heldCount() const;
  void releaseHeld();
  // Lets every dripping reply send its next body byte.
  void dripOne();
  size_t bytesDripped() const;
  int connectionsAccepted() const { return accepted_.load(); }
  int openConnections() const { return open_.load(); }
  int maxOpenConnections() const { return maxOpen_.load(); }

 private:
  void acceptLoop();
  void serve(int fd);
  bool readRequest(int fd, std::string& buffer, RecordedRequest& request);

  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptThread_;
  mutable std::mutex mutex_;
  std::condition_variable heldCv_;
  std::map<std::string, Handler> routes_;
  std::vector<RecordedRequest> requests_;
  std::vector<int> connections_;
  std::vector<std::thread> workers_;
  size_t held_ = 0;
  uint64_t releaseGeneration_ = 0;
  uint64_t dripsAllowed_ = 0;
  size_t dripped_ = 0;
  std::atomic<int> accepted_{0};
  std::atomic<int> open_{0};
  std::atomic<int> maxOpen_{0};
};

}  // namespace dk::test

// The listener and connections of the simulator: HTTP/1.1 with keep-alive, optionally over TLS,
// on 127.0.0.1, served by a small pool of threads. What to answer is decided by the handler,
// which sees each request once; the server carries out the reply's disposition (send, delay,
// park, drop, or hand the connection to the WebSocket endpoint).
//
// Owned by CloudSim. start() and stop() are called from one thread at a time; the handler is
// called concurrently from the pool and must be thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http_types.h"
#include "parked_replies.h"

namespace dk::cloudsim::detail {

class WebSocketEndpoint;

class HttpServer {
 public:
  using Handler = std::function<HttpReply(const HttpRequest&)>;

  struct Tls {
    std::string certificateChainPem;  // server certificate first, then its CA
    std::string privateKeyPem;
  };

  HttpServer(Handler handler, ParkedReplies& parked);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds 127.0.0.1:port (0: ephemeral) and starts `threads` threads. Returns the bound port,
  // or 0 with *error set.
  uint16_t start(uint16_t port, int threads, const Tls* tls, std::string* error);
  // Closes the listener and every connection, forgets parked replies and joins the threads.
  void stop();
  bool running() const;

  // Receives connections whose reply says Upgrade. Set before start(); without one, such
  // requests are answered 503.
  void setWebSocketEndpoint(std::shared_ptr<WebSocketEndpoint> endpoint);

  // For tests only: called on a server thread with each accepted connection's socket descriptor
  // once the server has set it up, before anything is read from it. Set before start().
  void setAcceptObserverForTests(std::function<void(int socket)> observer);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dk::cloudsim::detail

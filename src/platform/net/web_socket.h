// WebSocket: one client connection carrying text messages (what the live feed's STOMP client
// rides on). BeastWebSocket is the real one, over Boost.Beast, asio and OpenSSL; tests of the
// layers above may put a scripted one in its place.
//
// open() starts the TCP connection, the TLS handshake for wss:// (with the same TlsPolicy as the
// HTTP layer) and the upgrade with the given extra headers. The handlers run on the socket's own
// I/O thread, one at a time and in order; exactly one of `opened`/`closed` follows open(), and
// after `opened` exactly one `closed` follows when the connection ends for any reason, close()
// included (with nullptr for a close we asked for). An upgrade the server refuses closes with
// the error "Invalid HTTP upgrade". Thread-safe; the object stays alive while I/O is pending.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/net/tls_policy.h"

namespace dk::platform {

// Domain and codes of WebSocket failures.
inline constexpr std::string_view kWebSocketErrorDomain = "WebSocket";
inline constexpr int64_t kWebSocketErrorInvalidUpgrade = 2;
inline constexpr int64_t kWebSocketErrorTransport = 1;
// The text of a refused upgrade, which callers test for.
inline constexpr std::string_view kInvalidHttpUpgrade = "Invalid HTTP upgrade";

struct WebSocketHandlers {
  std::function<void()> opened;
  std::function<void(std::string message)> message;
  std::function<void(ErrorPtr error)> closed;
};

class WebSocket {
 public:
  virtual ~WebSocket() = default;
  virtual void open(WebSocketHandlers handlers) = 0;
  // Queues a text message; dropped when not open.
  virtual void send(std::string message) = 0;
  // Ends the connection; `closed` follows with nullptr.
  virtual void close() = 0;
};
using WebSocketPtr = std::shared_ptr<WebSocket>;

struct WebSocketOptions {
  std::string url;  // ws://host:port/path or wss://host:port/path
  std::vector<std::pair<std::string, std::string>> headers;  // added to the upgrade request
  TlsPolicy tls;
  std::vector<std::string> subprotocols;  // Sec-WebSocket-Protocol offers, if any
  size_t maxMessageSize = size_t{2} << 20;  // a larger message closes the connection
};

// The Boost.Beast connection. A bad URL closes with an error right after open().
WebSocketPtr makeBeastWebSocket(WebSocketOptions options);

}  // namespace dk::platform

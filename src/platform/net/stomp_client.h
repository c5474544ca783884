// StompClient: a STOMP 1.2 client over one WebSocket (the live feed's connection).
//
// connect() opens the socket and sends CONNECT (accept-version 1.2, host, heart-beat and the
// caller's headers, such as the bearer token); its completion runs once, on CONNECTED or on the
// first failure. After that, MESSAGE frames go to their subscription's handler, heart-beats
// flow both ways on the current clock (a peer silent for longer than twice its promised interval
// is taken for dead), and any end of the connection - an ERROR frame, a bad frame, the socket
// closing, the dead-peer time-out - is reported once to the disconnect handler with an error.
// disconnect() sends DISCONNECT and closes without reporting.
//
// All state lives on the client's own serial queue; every handler runs there. Public calls are
// thread-safe. The client keeps itself alive while its socket is open.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/error.h"
#include "platform/net/stomp_frame.h"
#include "platform/net/web_socket.h"

namespace dk::platform {

// Domain and codes of STOMP failures; the description says what happened.
inline constexpr std::string_view kStompErrorDomain = "STOMP";
enum StompErrorCode : int64_t {
  kStompErrorFrame = 1,       // the ERROR frame's "message" header is the description
  kStompErrorProtocol = 2,    // a frame too large or malformed, or out of order
  kStompErrorHeartbeat = 3,   // the peer fell silent
  kStompErrorClosed = 4,      // the connection closed without an ERROR frame
};

class StompClient : public std::enable_shared_from_this<StompClient> {
 public:
  struct Options {
    std::string host = "/";  // the CONNECT "host" header (the broker's virtual host)
    std::vector<std::pair<std::string, std::string>> connectHeaders;
    // What we offer: send a heart-beat at least this often, want one at least this often (ms;
    // 0 for none).
    int heartbeatOutgoingMs = 10000;
    int heartbeatIncomingMs = 10000;
    size_t maxFrameSize = StompFrameParser::kDefaultMaxFrameSize;
  };
  using ConnectCompletion = std::function<void(const ErrorPtr& error)>;
  using MessageHandler = std::function<void(const StompFrame& message)>;
  using DisconnectHandler = std::function<void(const ErrorPtr& error)>;

  static std::shared_ptr<StompClient> create(WebSocketPtr socket, Options options);
  ~StompClient();

  void connect(ConnectCompletion completion);
  // Subscribes (now when connected, else as soon as CONNECTED arrives); returns the id.
  std::string subscribe(const std::string& destination, MessageHandler handler);
  void unsubscribe(const std::string& subscriptionId);
  void disconnect();
  void setDisconnectHandler(DisconnectHandler handler);

  bool connected() const;
  const QueuePtr& queue() const { return queue_; }
  // The negotiated intervals in ms (0: none), valid once connected.
  int outgoingHeartbeatMs() const;
  int incomingHeartbeatMs() const;

 private:
  enum class State { Idle, Opening, AwaitingConnected, Connected, Closed };
  struct Subscription {
    std::string destination;
    MessageHandler handler;
  };

  StompClient(WebSocketPtr socket, Options options);
  void onOpened();
  void onMessage(const std::string& bytes);
  void onClosed(const ErrorPtr& error);
  void handleFrame(const StompFrame& frame);
  void fail(ErrorPtr error);
  void finishConnect(const ErrorPtr& error);
  void sendFrame(const StompFrame& frame);
  void sendSubscribe(const std::string& id, const Subscription& subscription);
  void startHeartbeats(const std::string& serverHeartbeat);
  void checkPeer();
  void stopTimers();

  const QueuePtr queue_;
  WebSocketPtr socket_;
  Options options_;

  // Confined to queue_.
  StompFrameParser parser_;
  ConnectCompletion connectCompletion_;
  DisconnectHandler disconnectHandler_;
  std::map<std::string, Subscription> subscriptions_;
  std::shared_ptr<Timer> sendTimer_;
  std::shared_ptr<Timer> watchTimer_;
  double lastReceived_ = 0;
  std::shared_ptr<StompClient> keepAlive_;  // set while the socket is open

  mutable std::mutex mutex_;  // guards what public getters read
  State state_ = State::Idle;
  int outgoingMs_ = 0;
  int incomingMs_ = 0;
  uint64_t nextSubscription_ = 0;
};

}  // namespace dk::platform

#include "platform/net/stomp_client.h"

#include <algorithm>
#include <cstdio>

#include "platform/dispatch/clock.h"

namespace dk::platform {
namespace {

ErrorPtr stompError(int64_t code, std::string text) {
  return Error::make(std::string(kStompErrorDomain), code, std::move(text));
}

// "sx,sy" -> the two numbers; 0,0 when absent or unreadable.
std::pair<int, int> parseHeartbeat(const std::string& value) {
  int a = 0;
  int b = 0;
  if (std::sscanf(value.c_str(), "%d,%d", &a, &b) != 2 || a < 0 || b < 0) return {0, 0};
  return {a, b};
}

}  // namespace

std::shared_ptr<StompClient> StompClient::create(WebSocketPtr socket, Options options) {
  return std::shared_ptr<StompClient>(new StompClient(std::move(socket), std::move(options)));
}

StompClient::StompClient(WebSocketPtr socket, Options options)
    : queue_(DispatchQueue::createSerial("com.kelo.stomp")),
      socket_(std::move(socket)),
      options_(std::move(options)),
      parser_(options_.maxFrameSize) {}

StompClient::~StompClient() = default;

bool StompClient::connected() const {
  std::lock_guard lock(mutex_);
  return state_ == State::Connected;
}

int StompClient::outgoingHeartbeatMs() const {
  std::lock_guard lock(mutex_);
  return outgoingMs_;
}

int StompClient::incomingHeartbeatMs() const {
  std::lock_guard lock(mutex_);
  return incomingMs_;
}

void StompClient::setDisconnectHandler(DisconnectHandler handler) {
  queue_->async([self = shared_from_this(), handler = std::move(handler)]() mutable {
    self->disconnectHandler_ = std::move(handler);
  });
}

void StompClient::connect(ConnectCompletion completion) {
  queue_->async([self = shared_from_this(), completion = std::move(completion)]() mutable {
    {
      std::lock_guard lock(self->mutex_);
      if (self->state_ != State::Idle) {
        if (completion) completion(stompError(kStompErrorProtocol, "already connecting or connected"));
        return;
      }
      self->state_ = State::Opening;
    }
    self->connectCompletion_ = std::move(completion);
    // The socket's handlers keep the client alive until the socket has closed.
    WebSocketHandlers handlers;
    handlers.opened = [self] { self->queue_->async([self] { self->onOpened(); }); };
    handlers.message = [self](std::string bytes) {
      self->queue_->async([self, bytes = std::move(bytes)] { self->onMessage(bytes); });
    };
    handlers.closed = [self](ErrorPtr error) {
      self->queue_->async([self, error = std::move(error)] { self->onClosed(error); });
    };
    self->socket_->open(std::move(handlers));
  });
}

std::string StompClient::subscribe(const std::string& destination, MessageHandler handler) {
  std::string id;
  {
    std::lock_guard lock(mutex_);
    id = "sub-" + std::to_string(nextSubscription_++);
  }
  queue_->async([self = shared_from_this(), id, destination, handler = std::move(handler)]() mutable {
    Subscription subscription{destination, std::move(handler)};
    bool isConnected;
    {
      std::lock_guard lock(self->mutex_);
      isConnected = self->state_ == State::Connected;
    }
    if (isConnected) self->sendSubscribe(id, subscription);
    self->subscriptions_[id] = std::move(subscription);
  });
  return id;
}

void StompClient::unsubscribe(const std::string& subscriptionId) {
  queue_->async([self = shared_from_this(), subscriptionId] {
    if (self->subscriptions_.erase(subscriptionId) == 0) return;
    if (!self->connected()) return;
    StompFrame frame{"UNSUBSCRIBE", {{"id", subscriptionId}}, {}};
    self->sendFrame(frame);
  });
}

void StompClient::disconnect() {
  queue_->async([self = shared_from_this()] {
    State previous;
    {
      std::lock_guard lock(self->mutex_);
      previous = self->state_;
      if (previous == State::Closed) return;
      self->state_ = State::Closed;
    }
    if (previous == State::Connected) self->sendFrame(StompFrame{"DISCONNECT", {}, {}});
    self->stopTimers();
    self->connectCompletion_ = nullptr;
    self->disconnectHandler_ = nullptr;
    if (previous != State::Idle) self->socket_->close();
  });
}

void StompClient::onOpened() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Opening) return;
    state_ = State::AwaitingConnected;
  }
  lastReceived_ = now();
  StompFrame connectFrame{"CONNECT", {}, {}};
  connectFrame.addHeader("accept-version", "1.2");
  connectFrame.addHeader("host", options_.host);
  connectFrame.addHeader("heart-beat", std::to_string(options_.heartbeatOutgoingMs) + "," +
                                           std::to_string(options_.heartbeatIncomingMs));
  for (const auto& [name, value] : options_.connectHeaders) connectFrame.addHeader(name, value);
  sendFrame(connectFrame);
}

void StompClient::onMessage(const std::string& bytes) {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::AwaitingConnected && state_ != State::Connected) return;
  }
  lastReceived_ = now();
  std::vector<StompFrame> frames;
  const bool ok = parser_.feed(bytes, frames);
  for (const auto& frame : frames) {
    handleFrame(frame);
    std::lock_guard lock(mutex_);
    if (state_ == State::Closed) return;
  }
  if (!ok) fail(stompError(kStompErrorProtocol, "STOMP frame rejected: " + parser_.error()));
}

void StompClient::handleFrame(const StompFrame& frame) {
  State state;
  {
    std::lock_guard lock(mutex_);
    state = state_;
  }
  if (frame.command == "ERROR") {
    std::string text = frame.header("message").value_or(frame.body);
    if (text.empty()) text = "ERROR frame";
    fail(stompError(kStompErrorFrame, text));
  } else if (frame.command == "CONNECTED") {
    if (state != State::AwaitingConnected) {
      return fail(stompError(kStompErrorProtocol, "unexpected CONNECTED frame"));
    }
    {
      std::lock_guard lock(mutex_);
      state_ = State::Connected;
    }
    startHeartbeats(frame.header("heart-beat").value_or("0,0"));
    for (const auto& [id, subscription] : subscriptions_) sendSubscribe(id, subscription);
    finishConnect(nullptr);
  } else if (frame.command == "MESSAGE") {
    if (state != State::Connected) {
      return fail(stompError(kStompErrorProtocol, "MESSAGE frame before CONNECTED"));
    }
    auto it = subscriptions_.find(frame.header("subscription").value_or(""));
    if (it != subscriptions_.end() && it->second.handler) it->second.handler(frame);
  }
  // RECEIPT and anything else carry nothing for us.
}

void StompClient::onClosed(const ErrorPtr& error) {
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::Closed) return;
  }
  fail(error ? error : stompError(kStompErrorClosed, "connection closed"));
}

void StompClient::fail(ErrorPtr error) {
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::Closed) return;
    state_ = State::Closed;
  }
  stopTimers();
  socket_->close();
  if (connectCompletion_) {
    finishConnect(error);
  } else if (auto handler = std::move(disconnectHandler_)) {
    disconnectHandler_ = nullptr;
    handler(error);
  }
}

void StompClient::finishConnect(const ErrorPtr& error) {
  auto completion = std::move(connectCompletion_);
  connectCompletion_ = nullptr;
  if (completion) completion(error);
}

void StompClient::sendFrame(const StompFrame& frame) { socket_->send(frame.serialize()); }

void StompClient::sendSubscribe(const std::string& id, const Subscription& subscription) {
  StompFrame frame{"SUBSCRIBE", {}, {}};
  frame.addHeader("id", id);
  frame.addHeader("destination", subscription.destination);
  frame.addHeader("ack", "auto");
  sendFrame(frame);
}

void StompClient::startHeartbeats(const std::string& serverHeartbeat) {
  const auto [sx, sy] = parseHeartbeat(serverHeartbeat);
  const int cx = options_.heartbeatOutgoingMs;
  const int cy = options_.heartbeatIncomingMs;
  const int outgoing = (cx > 0 && sy > 0) ? std::max(cx, sy) : 0;
  const int incoming = (cy > 0 && sx > 0) ? std::max(cy, sx) : 0;
  {
    std::lock_guard lock(mutex_);
    outgoingMs_ = outgoing;
    incomingMs_ = incoming;
  }
  std::weak_ptr<StompClient> weak = shared_from_this();
  if (outgoing > 0) {
    sendTimer_ = Timer::scheduled(outgoing / 1000.0, true, queue_, [weak] {
      if (auto self = weak.lock(); self && self->connected()) self->socket_->send("\n");
    });
  }
  if (incoming > 0) {
    watchTimer_ = Timer::scheduled(incoming / 1000.0, true, queue_, [weak] {
      if (auto self = weak.lock()) self->checkPeer();
    });
  }
}

void StompClient::checkPeer() {
  int incoming;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Connected) return;
    incoming = incomingMs_;
  }
  // Twice the promised interval, so one late beat on a busy network is no death.
  if (incoming > 0 && now() - lastReceived_ > 2.0 * incoming / 1000.0) {
    fail(stompError(kStompErrorHeartbeat, "no heart-beat from the server"));
  }
}

void StompClient::stopTimers() {
  if (sendTimer_) sendTimer_->invalidate();
  if (watchTimer_) watchTimer_->invalidate();
  sendTimer_.reset();
  watchTimer_.reset();
}

}  // namespace dk::platform

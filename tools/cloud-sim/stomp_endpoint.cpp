// The server side of STOMP over WebSocket for the simulator. Each connection is a session on its
// own strand; the endpoint keeps the open ones so that publish and the scripted faults reach them.
#include "stomp_endpoint.h"

#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <deque>
#include <nlohmann/json.hpp>
#include <sstream>

#include "server_time.h"

namespace dk::cloudsim {
namespace detail {

namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace websocket = boost::beast::websocket;
namespace net = boost::asio;

namespace {

struct Frame {
  std::string command;
  std::map<std::string, std::string> headers;  // the first of repeated names
  std::string body;
};

// Reads the frames of one WebSocket message; clients send whole frames per message.
std::vector<Frame> readFrames(const std::string& bytes) {
  std::vector<Frame> frames;
  size_t pos = 0;
  while (pos < bytes.size()) {
    while (pos < bytes.size() && (bytes[pos] == '\n' || bytes[pos] == '\r')) ++pos;  // heart-beats
    if (pos >= bytes.size()) break;
    const size_t nul = bytes.find('\0', pos);
    std::string text = bytes.substr(pos, nul == std::string::npos ? std::string::npos : nul - pos);
    pos = nul == std::string::npos ? bytes.size() : nul + 1;
    Frame frame;
    const size_t blank = text.find("\n\n");
    std::istringstream head(text.substr(0, blank));
    frame.body = blank == std::string::npos ? std::string() : text.substr(blank + 2);
    std::string line;
    std::getline(head, frame.command);
    while (std::getline(head, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      frame.headers.emplace(line.substr(0, colon), line.substr(colon + 1));
    }
    if (!frame.command.empty() && frame.command.back() == '\r') frame.command.pop_back();
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::string frameText(const std::string& command, const std::vector<std::pair<std::string, std::string>>& headers,
                      const std::string& body) {
  std::string out = command + "\n";
  for (const auto& [k, v] : headers) out += k + ":" + v + "\n";
  if (!body.empty()) out += "content-length:" + std::to_string(body.size()) + "\n";
  out += "\n" + body;
  out.push_back('\0');
  return out;
}

}  // namespace

// One client connection; runs on the strand of its stream.
class StompSession : public std::enable_shared_from_this<StompSession> {
 public:
  virtual ~StompSession() = default;
  virtual void send(std::string bytes, bool thenClose) = 0;
  virtual void drop() = 0;
  // Subscriptions matching `destination`, by id (read under the endpoint's lock).
  std::vector<std::string> matching(const std::string& destination) const {
    std::lock_guard lock(subscriptionsMutex_);
    std::vector<std::string> ids;
    for (const auto& [id, pattern] : subscriptions_) {
      if (topicMatches(pattern, destination)) ids.push_back(id);
    }
    return ids;
  }
  std::vector<std::string> destinations() const {
    std::lock_guard lock(subscriptionsMutex_);
    std::vector<std::string> out;
    for (const auto& [id, pattern] : subscriptions_) out.push_back(pattern);
    return out;
  }

 protected:
  mutable std::mutex subscriptionsMutex_;
  std::map<std::string, std::string> subscriptions_;  // id -> destination pattern
};

namespace {

template <typename Stream>
class Session final : public StompSession {
 public:
  Session(Stream stream, std::weak_ptr<StompEndpoint> endpoint)
      : ws_(std::move(stream)), endpoint_(std::move(endpoint)) {}

  void start(StompEndpoint::Request request, LiveFeedBehaviour behaviour) {
    behaviour_ = std::move(behaviour);
    auto self = std::static_pointer_cast<Session>(shared_from_this());
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(websocket::stream_base::decorator([](websocket::response_type& res) {
      res.set(http::field::server, "cloud-sim");
      res.set(http::field::sec_websocket_protocol, "v12.stomp");
    }));
    ws_.async_accept(request, [self](beast::error_code ec) {
      if (ec) return self->closed();
      if (auto endpoint = self->endpoint_.lock()) endpoint->sessionOpened(self);
      self->read();
    });
  }

  void send(std::string bytes, bool thenClose) override {
    auto self = std::static_pointer_cast<Session>(shared_from_this());
    net::post(ws_.get_executor(), [self, bytes = std::move(bytes), thenClose]() mutable {
      if (self->done_) return;
      self->outbox_.push_back({std::move(bytes), thenClose});
      if (self->outbox_.size() == 1) self->writeNext();
    });
  }

  void drop() override {
    auto self = std::static_pointer_cast<Session>(shared_from_this());
    net::post(ws_.get_executor(), [self] {
      beast::error_code ec;
      beast::get_lowest_layer(self->ws_).socket().shutdown(net::ip::tcp::socket::shutdown_both, ec);
      beast::get_lowest_layer(self->ws_).socket().close(ec);
      self->closed();
    });
  }

 private:
  struct Outgoing {
    std::string bytes;
    bool thenClose;
  };

  void read() {
    auto self = std::static_pointer_cast<Session>(shared_from_this());
    ws_.async_read(buffer_, [self](beast::error_code ec, std::size_t) {
      if (ec) return self->closed();
      std::string bytes = beast::buffers_to_string(self->buffer_.data());
      self->buffer_.consume(self->buffer_.size());
      for (auto& frame : readFrames(bytes)) self->handle(frame);
      if (!self->done_) self->read();
    });
  }

  void handle(const Frame& frame) {
    auto endpoint = endpoint_.lock();
    if (!endpoint) return;
    if (frame.command == "CONNECT" || frame.command == "STOMP") {
      endpoint->connectReceived(frame.headers);
      if (!behaviour_.answerConnect) return;
      send(frameText("CONNECTED", {{"version", "1.2"}, {"heart-beat", behaviour_.heartbeat}, {"server", "cloud-sim"}}, {}),
           false);
    } else if (frame.command == "SUBSCRIBE") {
      auto id = frame.headers.find("id");
      auto destination = frame.headers.find("destination");
      if (id == frame.headers.end() || destination == frame.headers.end()) {
        send(frameText("ERROR", {{"message", "SUBSCRIBE needs id and destination"}}, {}), true);
        return;
      }
      {
        std::lock_guard lock(subscriptionsMutex_);
        subscriptions_[id->second] = destination->second;
      }
      endpoint->subscriptionsChanged();
    } else if (frame.command == "UNSUBSCRIBE") {
      auto id = frame.headers.find("id");
      if (id != frame.headers.end()) {
        std::lock_guard lock(subscriptionsMutex_);
        subscriptions_.erase(id->second);
      }
      endpoint->subscriptionsChanged();
    } else if (frame.command == "DISCONNECT") {
      endpoint->disconnectReceived();
      {
        std::lock_guard lock(subscriptionsMutex_);
        subscriptions_.clear();
      }
      endpoint->subscriptionsChanged();
    }
  }

  void writeNext() {
    auto self = std::static_pointer_cast<Session>(shared_from_this());
    ws_.text(true);
    writing_ = true;
    ws_.async_write(net::buffer(outbox_.front().bytes), [self](beast::error_code ec, std::size_t) {
      self->writing_ = false;
      // A drop or a failed read may have ended the session while this write was in flight; its
      // frame is still at the front until now.
      if (ec || self->done_) {
        self->outbox_.clear();
        return self->closed();
      }
      const bool thenClose = self->outbox_.front().thenClose;
      self->outbox_.pop_front();
      if (thenClose) {
        self->outbox_.clear();
        self->ws_.async_close(websocket::close_code::policy_error, [self](beast::error_code) { self->closed(); });
        return;
      }
      if (!self->outbox_.empty()) self->writeNext();
    });
  }

  void closed() {
    if (done_) return;
    done_ = true;
    // The frame being written stays until its write completes: the stream still reads its bytes.
    if (!writing_) outbox_.clear();
    {
      std::lock_guard lock(subscriptionsMutex_);
      subscriptions_.clear();
    }
    if (auto endpoint = endpoint_.lock()) endpoint->sessionClosed(this);
  }

  websocket::stream<Stream> ws_;
  std::weak_ptr<StompEndpoint> endpoint_;
  LiveFeedBehaviour behaviour_;
  beast::flat_buffer buffer_;
  std::deque<Outgoing> outbox_;
  bool done_ = false;
  bool writing_ = false;
};

// Answers an upgrade with a plain refusal and closes.
template <typename Stream>
void refuse(Stream stream, const StompEndpoint::Request& request, int status) {
  struct Refusal : std::enable_shared_from_this<Refusal> {
    Stream stream;
    http::response<http::string_body> response;
    explicit Refusal(Stream s) : stream(std::move(s)) {}
  };
  auto refusal = std::make_shared<Refusal>(std::move(stream));
  refusal->response.version(request.version());
  refusal->response.result(static_cast<http::status>(status));
  refusal->response.set(http::field::content_type, "application/json");
  refusal->response.body() = R"({"error":"upgrade refused"})";
  refusal->response.keep_alive(false);
  refusal->response.prepare_payload();
  http::async_write(refusal->stream, refusal->response, [refusal](beast::error_code, std::size_t) {
    beast::error_code ec;
    beast::get_lowest_layer(refusal->stream).socket().shutdown(net::ip::tcp::socket::shutdown_both, ec);
  });
}

}  // namespace

template <typename Stream>
void StompEndpoint::acceptStream(Stream stream, Request request) {
  LiveFeedBehaviour behaviour;
  {
    std::lock_guard lock(mutex_);
    ++upgradeRequests_;
    behaviour = behaviour_;
  }
  changed_.notify_all();
  if (behaviour.refuseUpgradeStatus != 0) return refuse(std::move(stream), request, behaviour.refuseUpgradeStatus);
  auto session = std::make_shared<Session<Stream>>(std::move(stream), weak_from_this());
  session->start(std::move(request), behaviour);
}

void StompEndpoint::accept(beast::tcp_stream stream, Request request) { acceptStream(std::move(stream), std::move(request)); }

void StompEndpoint::accept(beast::ssl_stream<beast::tcp_stream> stream, Request request) {
  acceptStream(std::move(stream), std::move(request));
}

void StompEndpoint::shutdown() {
  std::vector<std::shared_ptr<StompSession>> sessions;
  {
    std::lock_guard lock(mutex_);
    sessions.swap(sessions_);
  }
  changed_.notify_all();
}

LiveFeedBehaviour StompEndpoint::behaviour() const {
  std::lock_guard lock(mutex_);
  return behaviour_;
}

void StompEndpoint::setBehaviour(LiveFeedBehaviour behaviour) {
  std::lock_guard lock(mutex_);
  behaviour_ = std::move(behaviour);
}

std::vector<std::shared_ptr<StompSession>> StompEndpoint::sessionsSnapshot() const {
  std::lock_guard lock(mutex_);
  return sessions_;
}

size_t StompEndpoint::publish(const std::string& destination, const std::string& body) {
  size_t reached = 0;
  for (const auto& session : sessionsSnapshot()) {
    for (const auto& id : session->matching(destination)) {
      uint64_t messageId;
      {
        std::lock_guard lock(mutex_);
        messageId = ++nextMessageId_;
      }
      session->send(frameText("MESSAGE",
                              {{"subscription", id},
                               {"destination", destination},
                               {"message-id", "T_" + id + "@@session@@" + std::to_string(messageId)},
                               {"redelivered", "false"},
                               {"content-type", "application/json"}},
                              body),
                    false);
      ++reached;
    }
  }
  return reached;
}

void StompEndpoint::sendToAll(const std::string& bytes, bool thenClose) {
  for (const auto& session : sessionsSnapshot()) session->send(bytes, thenClose);
}

void StompEndpoint::dropAll() {
  for (const auto& session : sessionsSnapshot()) session->drop();
}

void StompEndpoint::sessionOpened(const std::shared_ptr<StompSession>& session) {
  {
    std::lock_guard lock(mutex_);
    sessions_.push_back(session);
  }
  changed_.notify_all();
}

void StompEndpoint::sessionClosed(const StompSession* session) {
  {
    std::lock_guard lock(mutex_);
    std::erase_if(sessions_, [session](const auto& s) { return s.get() == session; });
  }
  changed_.notify_all();
}

void StompEndpoint::connectReceived(std::map<std::string, std::string> headers) {
  {
    std::lock_guard lock(mutex_);
    connectFrames_.push_back(std::move(headers));
  }
  changed_.notify_all();
}

void StompEndpoint::subscriptionsChanged() { changed_.notify_all(); }

void StompEndpoint::disconnectReceived() {
  {
    std::lock_guard lock(mutex_);
    ++disconnectFrames_;
  }
  changed_.notify_all();
}

size_t StompEndpoint::upgradeRequests() const {
  std::lock_guard lock(mutex_);
  return upgradeRequests_;
}

size_t StompEndpoint::openConnections() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

std::vector<std::map<std::string, std::string>> StompEndpoint::connectFrames() const {
  std::lock_guard lock(mutex_);
  return connectFrames_;
}

size_t StompEndpoint::disconnectFrames() const {
  std::lock_guard lock(mutex_);
  return disconnectFrames_;
}

std::vector<std::string> StompEndpoint::subscriptions() const {
  std::vector<std::string> out;
  for (const auto& session : sessionsSnapshot()) {
    for (auto& d : session->destinations()) out.push_back(std::move(d));
  }
  return out;
}

bool StompEndpoint::waitForSubscriptions(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    size_t n = 0;
    for (const auto& session : sessions_) n += session->destinations().size();
    return n >= count;
  });
}

}  // namespace detail

// LiveFeed, the public face.

void LiveFeed::setBehaviour(LiveFeedBehaviour behaviour) { endpoint_->setBehaviour(std::move(behaviour)); }
LiveFeedBehaviour LiveFeed::behaviour() const { return endpoint_->behaviour(); }

size_t LiveFeed::publish(const std::string& destination, const std::string& body) {
  return endpoint_->publish(destination, body);
}

std::string LiveFeed::eventsDestination(int64_t accountId, int64_t cameraId) {
  return "/exchange/devicekeeper/" + std::to_string(accountId) + ".cameras." + std::to_string(cameraId) + ".events_v24";
}

std::string LiveFeed::recordingsDestination(int64_t accountId, int64_t cameraId) {
  return "/exchange/devicekeeper/" + std::to_string(accountId) + ".cameras." + std::to_string(cameraId) + ".recordings";
}

size_t LiveFeed::publishEvent(int64_t accountId, const Event& event, int utcOffsetSeconds) {
  nlohmann::json body = {{"eventId", event.eventId},
                         {"cameraId", event.cameraId},
                         {"type", event.type},
                         {"timestamp", formatServerTime(event.timestamp, utcOffsetSeconds)}};
  return publish(eventsDestination(accountId, event.cameraId), body.dump());
}

size_t LiveFeed::publishRecording(int64_t accountId, const Recording& recording, int utcOffsetSeconds) {
  nlohmann::json body = {{"recordingId", recording.recordingId},
                         {"cameraId", recording.cameraId},
                         {"startTime", formatServerTime(recording.start, utcOffsetSeconds)},
                         {"closed", recording.closed}};
  if (recording.closed) body["endTime"] = formatServerTime(recording.end, utcOffsetSeconds);
  return publish(recordingsDestination(accountId, recording.cameraId), body.dump());
}

void LiveFeed::sendError(const std::string& message) {
  endpoint_->sendToAll(detail::frameText("ERROR", {{"message", message}}, {}), false);
}
void LiveFeed::sendRaw(const std::string& bytes) { endpoint_->sendToAll(bytes, false); }
void LiveFeed::dropConnections() { endpoint_->dropAll(); }

size_t LiveFeed::upgradeRequests() const { return endpoint_->upgradeRequests(); }
size_t LiveFeed::openConnections() const { return endpoint_->openConnections(); }
std::vector<std::map<std::string, std::string>> LiveFeed::connectFrames() const { return endpoint_->connectFrames(); }
std::vector<std::string> LiveFeed::subscriptions() const { return endpoint_->subscriptions(); }
size_t LiveFeed::disconnectFrames() const { return endpoint_->disconnectFrames(); }
bool LiveFeed::waitForSubscriptions(size_t count, std::chrono::milliseconds timeout) const {
  return endpoint_->waitForSubscriptions(count, timeout);
}

namespace {
std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t dot = text.find('.', start);
    out.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return out;
}

bool matchWords(const std::vector<std::string>& p, size_t i, const std::vector<std::string>& d, size_t j) {
  if (i == p.size()) return j == d.size();
  if (p[i] == "#") {
    for (size_t k = j; k <= d.size(); ++k) {
      if (matchWords(p, i + 1, d, k)) return true;
    }
    return false;
  }
  if (j == d.size()) return false;
  if (p[i] != "*" && p[i] != d[j]) return false;
  return matchWords(p, i + 1, d, j + 1);
}
}  // namespace

bool topicMatches(const std::string& pattern, const std::string& destination) {
  return matchWords(words(pattern), 0, words(destination), 0);
}

}  // namespace dk::cloudsim

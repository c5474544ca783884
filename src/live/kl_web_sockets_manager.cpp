#include "live/kl_web_sockets_manager.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/credential_storage.h"
#include "foundation/kl_wifi_helper.h"
#include "foundation/kl_server.h"
#include "live/kl_websockets_service.h"
#include "model/kl_event_response.h"
#include "platform/net/http_errors.h"
#include "services/message_identifier.h"

namespace dk {
namespace {

std::mutex& logMutex() {
  static std::mutex mutex;
  return mutex;
}

KLWebSocketsManager::LogHandler& logHandler() {
  static KLWebSocketsManager::LogHandler handler;
  return handler;
}

void log(const std::string& line) {
  KLWebSocketsManager::LogHandler handler;
  {
    std::lock_guard lock(logMutex());
    handler = logHandler();
  }
  if (handler) {
    handler(line);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

bool contains(const std::vector<std::string>& parts, std::string_view word) {
  return std::find(parts.begin(), parts.end(), word) != parts.end();
}

bool isIdentifier(const platform::Value& value) { return messageIdentifier(value).has_value(); }

// Timestamps arrive as server-time strings or as numbers.
bool isTimestamp(const platform::Value& value) {
  return value.isString() || value.isInteger() || value.isDouble();
}

// Present, non-null values of the keys the managers act on must have the right kind; null and
// missing keys are left to the managers' own checks.
bool hasSoundFields(const platform::Value& message) {
  for (const char* key : {"cameraId", "recordingId", "eventId"}) {
    const platform::Value v = message[key];
    if (!v.isNilOrNull() && !isIdentifier(v)) return false;
  }
  for (const char* key : {"timestamp", "startTime", "endTime"}) {
    const platform::Value v = message[key];
    if (!v.isNilOrNull() && !isTimestamp(v)) return false;
  }
  return true;
}

std::string replaceAll(std::string text, std::string_view from, const std::string& to) {
  size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

}  // namespace

std::shared_ptr<KLWebSocketsManager> KLWebSocketsManager::create() {
  auto manager = std::shared_ptr<KLWebSocketsManager>(new KLWebSocketsManager());
  manager->registerForNotifications();
  return manager;
}

KLWebSocketsManager::KLWebSocketsManager()
    : KLServicesManager("KLWebSocketsManager"),
      randomState_(0x9E3779B97F4A7C15ull ^ reinterpret_cast<uintptr_t>(this)) {}

KLWebSocketsManager::~KLWebSocketsManager() {
  shouldConnect_ = false;
  connecting_ = false;
  std::shared_ptr<platform::StompClient> client;
  {
    std::lock_guard lock(mutex_);
    accountID_ = nullptr;
    client = std::move(webSocketsClient_);
    if (attemptTimer_) attemptTimer_->invalidate();
    if (reconnectTimer_) reconnectTimer_->invalidate();
  }
  if (client) client->disconnect();
}

void KLWebSocketsManager::registerForNotifications() {
  auto& center = platform::NotificationCenter::defaultCenter();
  auto self = std::static_pointer_cast<KLWebSocketsManager>(shared_from_this());
  std::weak_ptr<KLWebSocketsManager> weak = self;
  center.addObserver(self, kDisconnectWebSocketsNotification, [weak](const platform::Notification&) {
    if (auto manager = weak.lock()) manager->handle_kDisconnectWebSocketsNotification();
  });
  center.addObserver(self, kReconnectWebSocketsNotification, [weak](const platform::Notification& n) {
    if (auto manager = weak.lock()) manager->handle_kReconnectWebSocketsNotification(n);
  });
}

void KLWebSocketsManager::handle_kReconnectWebSocketsNotification(const platform::Notification& notification) {
  shouldConnect_ = true;
  platform::Value account;
  {
    std::lock_guard lock(mutex_);
    auto it = notification.userInfo.find(kWebSocketsAccountIdKey);
    if (it != notification.userInfo.end() && !it->second.isNilOrNull()) accountID_ = it->second;
    if (accountID_.isNil()) return;
    account = accountID_;
    // A turn-on starts afresh: no waiting out an earlier back-off.
    failures_ = 0;
    if (reconnectTimer_) reconnectTimer_->invalidate();
    reconnectTimer_.reset();
  }
  std::weak_ptr<KLWebSocketsManager> weak = std::static_pointer_cast<KLWebSocketsManager>(shared_from_this());
  serviceQueue()->async([weak, account] {
    auto self = weak.lock();
    if (!self) return;
    auto server = KLServer::sharedInstance();
    self->connectToWebSocketsWithIPAddress(server->ipAddress(), server->httpPort(), server->protocol(), account);
  });
}

void KLWebSocketsManager::handle_kDisconnectWebSocketsNotification() {
  shouldConnect_ = false;
  {
    std::lock_guard lock(mutex_);
    if (reconnectTimer_) reconnectTimer_->invalidate();
    reconnectTimer_.reset();
  }
  disconnectClient();
}

void KLWebSocketsManager::disconnectClient() {
  std::shared_ptr<platform::StompClient> client;
  {
    std::lock_guard lock(mutex_);
    client = std::move(webSocketsClient_);
    webSocketsClient_.reset();
    subscribed_ = false;
    ++attempt_;  // whatever the old client still reports is ignored
    if (attemptTimer_) attemptTimer_->invalidate();
    attemptTimer_.reset();
    // An attempt cut short never completes; without this the feed would stay off for good.
    connecting_ = false;
  }
  if (client) client->disconnect();
}

void KLWebSocketsManager::connectToWebSocketsWithIPAddress(const platform::Value& ipAddress,
                                                          const platform::Value& httpPort,
                                                          const platform::Value& protocol,
                                                          const platform::Value& accountID) {
  std::lock_guard step(connectLock_);
  if (KLWiFiHelper::isConnectedToCameraAP() || !shouldConnect_ || connecting_) return;
  connecting_ = true;

  auto credential = retrieveCredential();
  const bool missing = ipAddress.isNilOrNull() || httpPort.isNilOrNull() || protocol.isNilOrNull() ||
                       accountID.isNilOrNull();
  if (!credential || credential->accessToken().empty() || missing || isConnected()) {
    connecting_ = false;
    return;
  }
  // The scheme follows the server's REST protocol; the argument itself is only checked for presence.
  std::string url = replaceAll(stompUrl, "%@", ipAddress.description());
  url = replaceAll(url, "%@", httpPort.description());
  if (KLServer::sharedInstance()->protocol() == "http") url = "ws" + url.substr(3);
  const std::vector<std::pair<std::string, std::string>> headers = {
      {"Authorization", "Bearer " + credential->accessToken()}};

  platform::WebSocketOptions socketOptions;
  socketOptions.url = url;
  socketOptions.headers = headers;
  socketOptions.subprotocols = {"v12.stomp"};
  SocketFactory factory;
  Pacing pacing;
  {
    std::lock_guard lock(mutex_);
    socketOptions.tls = tlsPolicy_.value_or(platform::TlsPolicy::verifying());
    factory = socketFactory_;
    pacing = pacing_;
  }
  auto socket = factory ? factory(socketOptions) : platform::makeBeastWebSocket(socketOptions);
  platform::StompClient::Options options;
  options.host = ipAddress.description();
  options.connectHeaders = headers;
  auto client = platform::StompClient::create(std::move(socket), std::move(options));

  std::weak_ptr<KLWebSocketsManager> weak = std::static_pointer_cast<KLWebSocketsManager>(shared_from_this());
  uint64_t attempt;
  {
    std::lock_guard lock(mutex_);
    // A turn-off may have landed since the check above; it found no client to close, so the
    // step must not keep one. (It sets the flag before it takes this lock.)
    if (!shouldConnect_) {
      connecting_ = false;
      return;
    }
    attempt = ++attempt_;
    webSocketsClient_ = client;
    subscribed_ = false;
    if (attemptTimer_) attemptTimer_->invalidate();
    attemptTimer_ = platform::Timer::scheduled(pacing.attemptTimeout, false, serviceQueue(), [weak, attempt] {
      if (auto self = weak.lock()) self->attemptTimedOut(attempt);
    });
  }
  ++attempts_;
  client->setDisconnectHandler([weak, attempt](const platform::ErrorPtr& error) {
    if (auto self = weak.lock()) {
      self->serviceQueue()->async([weak, attempt, error] {
        if (auto manager = weak.lock()) manager->clientEnded(attempt, error);
      });
    }
  });
  const platform::Value account = accountID;
  client->connect([weak, attempt, account](const platform::ErrorPtr& error) {
    auto self = weak.lock();
    if (!self) return;
    self->serviceQueue()->async([weak, attempt, account, error] {
      auto manager = weak.lock();
      if (!manager) return;
      std::shared_ptr<platform::StompClient> connected;
      {
        std::lock_guard lock(manager->mutex_);
        if (attempt != manager->attempt_) return;
        if (manager->attemptTimer_) manager->attemptTimer_->invalidate();
        manager->attemptTimer_.reset();
        manager->connecting_ = false;
        // Turned off after this attempt was kept: the turn-off closes the client; no subscription.
        if (!error && !manager->shouldConnect_) return;
        if (!error) {
          manager->failures_ = 0;
          manager->subscribed_ = true;
          connected = manager->webSocketsClient_;
        }
      }
      if (error) {
        log(error->description());
        manager->clientEnded(attempt, error);
        return;
      }
      log("WEBSOCKETS connected!!!!");
      const std::string destination = std::string(stompExchangeUrl) + account.description() + ".cameras.#";
      connected->subscribe(destination, [weak](const platform::StompFrame& message) {
        if (auto m = weak.lock()) m->handleMessagesReceived(message);
      });
    });
  });
}

void KLWebSocketsManager::attemptTimedOut(uint64_t attempt) {
  {
    std::lock_guard lock(mutex_);
    if (attempt != attempt_ || !connecting_) return;
  }
  log("WEBSOCKETS connection attempt timed out");
  disconnectClient();
  websocketDidDisconnect(platform::transportError(platform::kURLErrorTimedOut));
}

void KLWebSocketsManager::clientEnded(uint64_t attempt, const platform::ErrorPtr& error) {
  {
    std::lock_guard lock(mutex_);
    if (attempt != attempt_) return;
  }
  disconnectClient();
  websocketDidDisconnect(error);
}

void KLWebSocketsManager::websocketDidDisconnect(const platform::ErrorPtr& error) {
  log("WEBSOCKETS disconnected!!!!");
  if (error) log("WEBSOCKETS error: " + error->localizedDescription());
  {
    std::lock_guard lock(mutex_);
    webSocketsClient_.reset();
    subscribed_ = false;
  }
  if (error && error->localizedDescription() == platform::kInvalidHttpUpgrade) {
    // The server refused us (a bad token, say): retrying cannot help until the next turn-on.
    shouldConnect_ = false;
    return;
  }
  scheduleReconnect();
}

double KLWebSocketsManager::nextDelay() {
  // Under mutex_.
  const double base = std::min(pacing_.maxDelay, pacing_.initialDelay * std::pow(2.0, std::min(failures_, 30)));
  ++failures_;
  double r;
  if (pacing_.random) {
    r = pacing_.random();
  } else {
    randomState_ ^= randomState_ << 13;
    randomState_ ^= randomState_ >> 7;
    randomState_ ^= randomState_ << 17;
    r = static_cast<double>(randomState_ >> 11) / static_cast<double>(uint64_t{1} << 53);
  }
  return base * (1.0 + pacing_.jitter * (2.0 * r - 1.0));
}

void KLWebSocketsManager::scheduleReconnect() {
  if (!shouldConnect_) return;
  std::weak_ptr<KLWebSocketsManager> weak = std::static_pointer_cast<KLWebSocketsManager>(shared_from_this());
  std::lock_guard lock(mutex_);
  if (accountID_.isNil()) return;
  const double delay = nextDelay();
  if (reconnectTimer_) reconnectTimer_->invalidate();
  reconnectTimer_ = platform::Timer::scheduled(delay, false, serviceQueue(), [weak] {
    auto self = weak.lock();
    if (!self) return;
    auto server = KLServer::sharedInstance();
    self->connectToWebSocketsWithIPAddress(server->ipAddress(), server->httpPort(), server->protocol(),
                                           self->accountID());
  });
}

void KLWebSocketsManager::handleMessagesReceived(const platform::StompFrame& message) {
  const size_t bytes = message.body.size();
  bool dropped = false;
  bool firstDrop = false;
  {
    std::lock_guard lock(backlogMutex_);
    // A broker that floods (hostile or broken) is not queued without end: what cannot wait is
    // dropped. A later message of the camera fetches everything newer than the cache anyway.
    if (pendingMessages_ >= kMaxPendingMessages || pendingBytes_ + bytes > kMaxPendingMessageBytes) {
      dropped = true;
      firstDrop = !dropping_;
      dropping_ = true;
    } else {
      ++pendingMessages_;
      pendingBytes_ += bytes;
    }
  }
  if (dropped) {
    ++dropped_;
    if (firstDrop) log("WEBSOCKETS too many messages waiting: dropping until the backlog clears");
    return;
  }
  std::weak_ptr<KLWebSocketsManager> weak = std::static_pointer_cast<KLWebSocketsManager>(shared_from_this());
  serviceQueue()->async([weak, message, bytes] {
    auto self = weak.lock();
    if (!self) return;
    {
      std::lock_guard lock(self->backlogMutex_);
      --self->pendingMessages_;
      self->pendingBytes_ -= bytes;
      if (self->pendingMessages_ == 0) self->dropping_ = false;
    }
    self->dispatchMessage(message);
  });
}

void KLWebSocketsManager::dispatchMessage(const platform::StompFrame& message) {
  const auto destination = message.header("destination");
  if (!destination || message.body.empty()) return;
  const platform::Value body = platform::Value::parseJSON(message.body);
  // Only a JSON object is a message; anything else would reach the managers as garbage.
  if (!body.isDictionary()) {
    log("WEBSOCKETS dropped a message that is not a JSON object");
    return;
  }
  if (!hasSoundFields(body)) {
    log("WEBSOCKETS dropped a message with mistyped fields");
    return;
  }
  const auto parts = split(*destination, '.');
  if (!contains(parts, "cameras")) return;
  static constexpr std::string_view kSelector = "handleMessageUpdate:forClassType:modelClass:modelListClass:";
  if (contains(parts, "events_v24")) {
    auto delegate = eventsDelegate();
    if (delegate && delegate->respondsToSelector(kSelector)) {
      delegate->handleMessageUpdate(body, kWebSocketsClassTypeEvents, &KLEventResponse::staticClassInfo(),
                                    &KLEventListResponse::staticClassInfo());
    }
  } else if (contains(parts, "recordings")) {
    auto delegate = recordingsDelegate();
    if (delegate && delegate->respondsToSelector(kSelector)) {
      delegate->handleMessageUpdate(body, kWebSocketsClassTypeRecordings, nullptr, nullptr);
    }
  }
}

std::optional<std::string> KLWebSocketsManager::subscribeToUpdatesOfJobWithId(const platform::Value& jobId) {
  std::shared_ptr<platform::StompClient> client;
  platform::Value account;
  {
    std::lock_guard lock(mutex_);
    if (!webSocketsClient_ || !subscribed_ || !webSocketsClient_->connected()) return std::nullopt;
    client = webSocketsClient_;
    account = accountID_;
  }
  std::weak_ptr<KLWebSocketsManager> weak = std::static_pointer_cast<KLWebSocketsManager>(shared_from_this());
  return client->subscribe(std::string(stompExchangeUrl) + account.description() + ".jobs." + jobId.description() + ".#",
                           [weak](const platform::StompFrame& message) {
                             if (auto m = weak.lock()) m->handleMessagesReceived(message);
                           });
}

void KLWebSocketsManager::setEventsDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate) {
  std::lock_guard lock(mutex_);
  eventsDelegate_ = std::move(delegate);
}
void KLWebSocketsManager::setRecordingsDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate) {
  std::lock_guard lock(mutex_);
  recordingsDelegate_ = std::move(delegate);
}
void KLWebSocketsManager::setCameraDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate) {
  std::lock_guard lock(mutex_);
  cameraDelegate_ = std::move(delegate);
}
void KLWebSocketsManager::setSimCardDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate) {
  std::lock_guard lock(mutex_);
  simCardDelegate_ = std::move(delegate);
}
void KLWebSocketsManager::setCameraJobDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate) {
  std::lock_guard lock(mutex_);
  cameraJobDelegate_ = std::move(delegate);
}
std::shared_ptr<KLWebSocketsDelegate> KLWebSocketsManager::eventsDelegate() const {
  std::lock_guard lock(mutex_);
  return eventsDelegate_.lock();
}
std::shared_ptr<KLWebSocketsDelegate> KLWebSocketsManager::recordingsDelegate() const {
  std::lock_guard lock(mutex_);
  return recordingsDelegate_.lock();
}

platform::Value KLWebSocketsManager::accountID() const {
  std::lock_guard lock(mutex_);
  return accountID_;
}

bool KLWebSocketsManager::isConnected() const {
  std::lock_guard lock(mutex_);
  return webSocketsClient_ && subscribed_ && webSocketsClient_->connected();
}

void KLWebSocketsManager::setPacing(Pacing pacing) {
  std::lock_guard lock(mutex_);
  pacing_ = std::move(pacing);
}
void KLWebSocketsManager::setSocketFactory(SocketFactory factory) {
  std::lock_guard lock(mutex_);
  socketFactory_ = std::move(factory);
}
void KLWebSocketsManager::setTlsPolicy(platform::TlsPolicy policy) {
  std::lock_guard lock(mutex_);
  tlsPolicy_ = std::move(policy);
}
void KLWebSocketsManager::setLogHandler(LogHandler handler) {
  std::lock_guard lock(logMutex());
  logHandler() = std::move(handler);
}

}  // namespace dk

// KLWebSocketsManager: holds the live feed's STOMP connection. Turned on and off by the
// notifications KLWebsocketsService posts; connects with the stored bearer token to
// "wss://<host>:<port>/stomp/v2.0" of KLServer, subscribes to the account's camera
// destinations, and hands each message to the event or recording manager (weak
// KLWebSocketsDelegate receivers) by the parts of its destination.
//
// Owned by the data manager; create() registers for the notifications. Connect steps and message
// handling run on the serial service queue; the STOMP client calls back on its own queue and is
// moved onto the service queue. Each attempt is bounded by a time-out; reconnection backs off
// (about 1 s doubling to 60 s, with jitter, reset by a successful connection) and stops after
// "Invalid HTTP upgrade" until the next turn-on. Messages waiting for the service queue are
// bounded in number and bytes: past the bound a flooding broker's messages are dropped (and
// logged) rather than queued. Every public operation is thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dispatch/timer.h"
#include "platform/foundation/notification_center.h"
#include "platform/net/stomp_client.h"
#include "platform/net/web_socket.h"
#include "services/kl_services_manager.h"
#include "services/kl_web_sockets_delegate.h"

namespace dk {

inline constexpr char stompUrl[] = "wss://%@:%@/stomp/v2.0";
inline constexpr char stompExchangeUrl[] = "/exchange/devicekeeper/";

class KLWebSocketsManager : public KLServicesManager {
 public:
  // How reconnection is paced and attempts are bounded, in seconds of the current clock.
  struct Pacing {
    double initialDelay = 1;
    double maxDelay = 60;
    double jitter = 0.25;  // each delay is scaled by a factor in [1 - jitter, 1 + jitter]
    double attemptTimeout = 30;
    std::function<double()> random;  // in [0, 1); empty: a seeded generator
  };
  // Messages received but not yet handed to the managers, at most (in number and in body bytes).
  static constexpr size_t kMaxPendingMessages = 1000;
  static constexpr size_t kMaxPendingMessageBytes = size_t{4} << 20;
  using SocketFactory = std::function<platform::WebSocketPtr(platform::WebSocketOptions options)>;
  using LogHandler = std::function<void(const std::string& line)>;

  static std::shared_ptr<KLWebSocketsManager> create();
  ~KLWebSocketsManager() override;

  void handle_kReconnectWebSocketsNotification(const platform::Notification& notification);
  void handle_kDisconnectWebSocketsNotification();
  // The connect step (runs on the calling thread; the notification handler calls it on the
  // service queue). Arguments missing (nil) stop it.
  void connectToWebSocketsWithIPAddress(const platform::Value& ipAddress, const platform::Value& httpPort,
                                        const platform::Value& protocol, const platform::Value& accountID);
  // Dispatches one STOMP MESSAGE on the service queue.
  void handleMessagesReceived(const platform::StompFrame& message);
  // The connection ended (error nil for our own close).
  void websocketDidDisconnect(const platform::ErrorPtr& error);
  // Subscribes to "<exchange><account>.jobs.<job>.#" when connected; the subscription id or nil.
  std::optional<std::string> subscribeToUpdatesOfJobWithId(const platform::Value& jobId);

  void setEventsDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate);
  void setRecordingsDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate);
  void setCameraDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate);
  void setSimCardDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate);
  void setCameraJobDelegate(std::weak_ptr<KLWebSocketsDelegate> delegate);

  platform::Value accountID() const;
  bool shouldConnect() const { return shouldConnect_.load(); }
  bool connecting() const { return connecting_.load(); }
  // Connected and subscribed.
  bool isConnected() const;
  // Connection attempts started so far.
  uint64_t connectionAttempts() const { return attempts_.load(); }
  // Messages dropped so far because too many were waiting.
  uint64_t droppedMessages() const { return dropped_.load(); }

  // Seams for tests, benchmarks and hosts.
  void setPacing(Pacing pacing);
  void setSocketFactory(SocketFactory factory);
  void setTlsPolicy(platform::TlsPolicy policy);
  // Where the feed's log lines go (default: standard error). Process-wide.
  static void setLogHandler(LogHandler handler);

 protected:
  KLWebSocketsManager();

 private:
  // Tests play a turn-off caught between storing its flag and closing the client, a moment that
  // otherwise only racing threads reach.
  friend struct KLWebSocketsManagerTestAccess;

  void registerForNotifications();
  void scheduleReconnect();
  void attemptTimedOut(uint64_t attempt);
  void clientEnded(uint64_t attempt, const platform::ErrorPtr& error);
  void disconnectClient();
  void dispatchMessage(const platform::StompFrame& message);
  std::shared_ptr<KLWebSocketsDelegate> eventsDelegate() const;
  std::shared_ptr<KLWebSocketsDelegate> recordingsDelegate() const;
  double nextDelay();

  std::mutex connectLock_;  // the connect step's lock on the manager
  std::atomic<bool> shouldConnect_{true};
  std::atomic<bool> connecting_{false};
  std::atomic<uint64_t> attempts_{0};
  std::atomic<uint64_t> dropped_{0};

  std::mutex backlogMutex_;  // guards the two counts below
  size_t pendingMessages_ = 0;
  size_t pendingBytes_ = 0;
  bool dropping_ = false;  // since the backlog last emptied

  mutable std::mutex mutex_;  // guards everything below
  platform::Value accountID_;
  std::shared_ptr<platform::StompClient> webSocketsClient_;
  bool subscribed_ = false;
  uint64_t attempt_ = 0;  // the attempt the current client belongs to
  std::shared_ptr<platform::Timer> attemptTimer_;
  std::shared_ptr<platform::Timer> reconnectTimer_;
  int failures_ = 0;  // consecutive attempts without CONNECTED
  Pacing pacing_;
  uint64_t randomState_;
  SocketFactory socketFactory_;
  std::optional<platform::TlsPolicy> tlsPolicy_;
  std::weak_ptr<KLWebSocketsDelegate> cameraDelegate_, eventsDelegate_, simCardDelegate_, cameraJobDelegate_,
      recordingsDelegate_;
};

}  // namespace dk

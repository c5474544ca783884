// The WebSocket endpoint behind LiveFeed: accepts upgraded connections from the HTTP server,
// speaks the server side of STOMP 1.2 and routes published messages to subscriptions.
// Internal to the simulator; thread-safe.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cloud-sim/live_feed.h"
#include "websocket_endpoint.h"

namespace dk::cloudsim::detail {

class StompSession;

class StompEndpoint final : public WebSocketEndpoint, public std::enable_shared_from_this<StompEndpoint> {
 public:
  void accept(boost::beast::tcp_stream stream, Request request) override;
  void accept(boost::beast::ssl_stream<boost::beast::tcp_stream> stream, Request request) override;
  void shutdown() override;

  LiveFeedBehaviour behaviour() const;
  void setBehaviour(LiveFeedBehaviour behaviour);
  size_t publish(const std::string& destination, const std::string& body);
  void sendToAll(const std::string& bytes, bool thenClose);
  void dropAll();

  // Called by sessions.
  void sessionOpened(const std::shared_ptr<StompSession>& session);
  void sessionClosed(const StompSession* session);
  void connectReceived(std::map<std::string, std::string> headers);
  void subscriptionsChanged();
  void disconnectReceived();

  size_t upgradeRequests() const;
  size_t openConnections() const;
  std::vector<std::map<std::string, std::string>> connectFrames() const;
  std::vector<std::string> subscriptions() const;
  size_t disconnectFrames() const;
  bool waitForSubscriptions(size_t count, std::chrono::milliseconds timeout) const;

 private:
  template <typename Stream>
  void acceptStream(Stream stream, Request request);
  std::vector<std::shared_ptr<StompSession>> sessionsSnapshot() const;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  LiveFeedBehaviour behaviour_;
  std::vector<std::shared_ptr<StompSession>> sessions_;
  size_t upgradeRequests_ = 0;
  std::vector<std::map<std::string, std::string>> connectFrames_;
  size_t disconnectFrames_ = 0;
  uint64_t nextMessageId_ = 0;
};

}  // namespace dk::cloudsim::detail

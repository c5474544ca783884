// LiveFeed: the simulator's STOMP-over-WebSocket endpoint at "/stomp/v2.0", on the same host and
// port as the REST API. Clients CONNECT (the upgrade needs a valid bearer token, like REST),
// SUBSCRIBE to topic patterns such as "/exchange/devicekeeper/7.cameras.#", and receive a
// MESSAGE for every publish whose destination matches ("#" any words, "*" one word).
//
// Tests script it: publish messages, and make it misbehave on demand (refuse upgrades, never
// answer CONNECT, promise heart-beats and stay silent, send ERROR or raw bytes, drop every
// connection). Owned by CloudSim; every member is thread-safe and may be called while serving.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cloud-sim/world.h"

namespace dk::cloudsim {

namespace detail {
class StompEndpoint;
}

struct LiveFeedBehaviour {
  int refuseUpgradeStatus = 0;    // != 0: answer upgrades with this status instead of 101
  bool answerConnect = true;      // false: CONNECT stays unanswered (a hung attempt)
  std::string heartbeat = "0,0";  // the CONNECTED frame's heart-beat header; beats are never sent
};

class LiveFeed {
 public:
  explicit LiveFeed(std::shared_ptr<detail::StompEndpoint> endpoint) : endpoint_(std::move(endpoint)) {}

  void setBehaviour(LiveFeedBehaviour behaviour);
  LiveFeedBehaviour behaviour() const;

  // Sends a MESSAGE with this destination and JSON body to every matching subscription;
  // returns how many subscriptions it reached.
  size_t publish(const std::string& destination, const std::string& body);
  // The cloud's messages for one camera of account `accountId`.
  size_t publishEvent(int64_t accountId, const Event& event, int utcOffsetSeconds = 0);
  size_t publishRecording(int64_t accountId, const Recording& recording, int utcOffsetSeconds = 0);
  static std::string eventsDestination(int64_t accountId, int64_t cameraId);
  static std::string recordingsDestination(int64_t accountId, int64_t cameraId);

  // Misbehaviour on the open connections: an ERROR frame (the socket stays open), raw bytes as
  // one WebSocket message, or an abrupt close of every connection.
  void sendError(const std::string& message);
  void sendRaw(const std::string& bytes);
  void dropConnections();

  // What clients did.
  size_t upgradeRequests() const;      // upgrade requests that reached the endpoint
  size_t openConnections() const;
  std::vector<std::map<std::string, std::string>> connectFrames() const;  // headers of each CONNECT
  std::vector<std::string> subscriptions() const;  // destinations of the live subscriptions
  size_t disconnectFrames() const;
  // Blocks until that many subscriptions are live; false after the timeout.
  bool waitForSubscriptions(size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;

 private:
  std::shared_ptr<detail::StompEndpoint> endpoint_;
};

// Whether a topic destination matches a subscription pattern ("#": zero or more words, "*": one).
bool topicMatches(const std::string& pattern, const std::string& destination);

}  // namespace dk::cloudsim

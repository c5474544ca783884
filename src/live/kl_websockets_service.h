// KLWebsocketsService: the process-wide on/off switch of the live feed. It keeps no state: a
// turn-on pings the cloud and posts kReconnectWebSocketsNotification, a turn-off posts
// kDisconnectWebSocketsNotification, and the live-feed manager listening for them does the rest,
// so any part of the system can switch the feed without holding the connection.
// Class operations only; safe from any thread.
#pragma once

#include <memory>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/value.h"

namespace dk {

inline constexpr char kReconnectWebSocketsNotification[] = "kReconnectWebSocketsNotification";
inline constexpr char kDisconnectWebSocketsNotification[] = "kDisconnectWebSocketsNotification";
// User-info key of the account to subscribe for.
inline constexpr char kWebSocketsAccountIdKey[] = "accountId";

class KLWebsocketsService : public platform::Object {
 public:
  std::string className() const override { return "KLWebsocketsService"; }

  // Nothing on a camera's own access point; otherwise pings the cloud and, when the ping
  // succeeds, posts the reconnect notification with {"accountId": the identifier, or null}.
  static void websocketsTurnONWithAccountID(const platform::Value& accountID);
  static void websocketsTurnOFF();
  // Follows reachability: listens for its change notification, starts monitoring, and runs the
  // handler once.
  static void startWebsockets();
  // Reachable over mobile data or Wi-Fi turns the feed on (remembered account); not reachable
  // turns it off; an unknown status does nothing.
  static void handle_AFNetworkingReachabilityDidChangeNotification();
  static std::shared_ptr<KLWebsocketsService> sharedInstance();
};

}  // namespace dk

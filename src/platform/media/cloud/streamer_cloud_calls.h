// StreamerCloudCalls: the set-up the streamer's own calls to the cloud share (the live playlist
// and segments, the talk posts): one HTTP session on the cloud's base URL, made on first use; the
// bearer token, sent only where mayCarryCredential allows it, never over plain http; redirects
// followed only within the cloud's own origin (a talk's body is the user's voice); and a deadline
// that ends each whole call, not only a silence.
//
// Owned by the one source or uplink that makes the calls; main thread only. A call and its
// deadline are held until it completes (let go at the next keep()), so a long session holds no
// more than the calls in flight. cancelAll() drops every call and deadline it holds, so nothing
// it started reports afterwards.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/timer.h"
#include "platform/net/http_session.h"

namespace dk::platform {

class StreamerCloudCalls {
 public:
  StreamerCloudCalls() = default;
  explicit StreamerCloudCalls(std::string baseURL) : baseURL_(std::move(baseURL)) {}

  // Whether the token may go with a call to `path` under the base URL.
  bool mayCarryToken(const std::string& path) const;
  // A configuration for a call to `path`: the token when it may go there, `deadline` as the
  // longest silence, redirects only to the cloud's origin. The caller adds its serializers.
  std::shared_ptr<RequestConfiguration> configuration(const std::string& path, double deadline) const;
  HttpSession& session();
  // Holds `task` until it completes or cancelAll(); `expired` runs on the main thread when it has
  // not completed `deadline` seconds from now.
  void keep(const HttpTaskPtr& task, double deadline, std::function<void()> expired);
  void cancelAll();
  // Calls (each with its deadline) held now.
  size_t heldCallCount() const { return calls_.size(); }

 private:
  struct HeldCall {
    HttpTaskPtr task;
    std::shared_ptr<Timer> deadline;
  };
  std::string baseURL_;
  std::shared_ptr<HttpSession> session_;
  std::vector<HeldCall> calls_;
};

}  // namespace dk::platform

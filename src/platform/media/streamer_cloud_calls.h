// StreamerCloudCalls: the set-up the streamer's own calls to the cloud share (the live playlist
// and segments, the talk posts): one HTTP session on the cloud's base URL, made on first use; the
// bearer token, sent only where mayCarryCredential allows it, never over plain http; and a
// deadline that ends each whole call, not only a silence.
//
// Owned by the one source or uplink that makes the calls; main thread only. cancelAll() drops
// every call and deadline it keeps, so nothing it started reports afterwards.
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
  // A configuration for a call to `path`: the token when it may go there, and `deadline` as the
  // longest silence. The caller adds its serializers.
  std::shared_ptr<RequestConfiguration> configuration(const std::string& path, double deadline) const;
  HttpSession& session();
  // Keeps `task` until cancelAll(); `expired` runs on the main thread when it has not completed
  // `deadline` seconds from now.
  void keep(const HttpTaskPtr& task, double deadline, std::function<void()> expired);
  void cancelAll();

 private:
  std::string baseURL_;
  std::shared_ptr<HttpSession> session_;
  std::vector<HttpTaskPtr> tasks_;
  std::vector<std::shared_ptr<Timer>> deadlines_;
};

}  // namespace dk::platform

// HttpSession: a set of HTTP calls sharing a base URL, a TLS policy and a completion queue (what
// the platform's HTTP session manager gives), over the process's one network thread.
//
// Every call takes its own immutable RequestConfiguration and goes through the retry layer: it is
// one HttpTask from the first attempt to its single completion, waits between attempts included,
// so that listing and cancelling by URL also reach a call that waits for its next attempt.
// Success and failure are called exactly once, on the call's callback queue, else the session's
// completion queue (the main queue unless the session says otherwise); download progress arrives
// there too, before the completion.
// While a call is in flight it holds an ActivityToken, so MainRunLoop::runUntilIdle waits for it
// (not across retry waits on a manual clock, which only move when a test advances them).
// All operations are thread-safe. Calls keep what they need alive: dropping the session does not
// cut them short (use invalidateAndCancel for that).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/foundation/value.h"
#include "platform/net/http_request.h"
#include "platform/net/tls_policy.h"

namespace dk::platform {

class HttpSession;

class HttpTask {
 public:
  enum class State { Running, Suspended, Canceling, Completed };

  virtual ~HttpTask() = default;
  virtual uint64_t taskIdentifier() const = 0;
  virtual HttpMethod method() const = 0;
  // The absolute URL of the request, query included.
  virtual const std::string& url() const = 0;
  virtual State state() const = 0;
  // Retries sent so far (0 during the first attempt).
  virtual int retriesDone() const = 0;
  // Ends the call with -999 "cancelled", also while it waits for a retry.
  virtual void cancel() = 0;
  // A suspended call moves no bytes, does not time out, and holds its next attempt; the time it
  // spends suspended does not count towards its deadline. In force when suspend() returns.
  virtual void suspend() = 0;
  virtual void resume() = 0;
};
using HttpTaskPtr = std::shared_ptr<HttpTask>;

class HttpSession {
 public:
  struct Options {
    std::string baseURL;  // relative call URLs resolve against it
    TlsPolicy tls;
    QueuePtr completionQueue;  // nullptr: the main queue
    std::string downloadDirectory;  // empty: the process's PrivateTempFolder (asked at each download)
  };
  using Success = std::function<void(const std::shared_ptr<const HttpResponseInfo>& response, const Value& body)>;
  using Failure = std::function<void(const ErrorPtr& error)>;
  // Bytes received, bytes expected (-1 when unknown) and the completed fraction (0 to 1).
  using Progress = std::function<void(int64_t completed, int64_t total, double fraction)>;

  static std::shared_ptr<HttpSession> create(Options options);
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  const std::string& baseURL() const;
  const TlsPolicy& tlsPolicy() const;

  // Sends `method` to `url` (relative to the base URL, or absolute) with `parameters`.
  HttpTaskPtr dataTask(HttpMethod method, const std::string& url, const Value& parameters,
                       RequestConfigurationPtr configuration, Success success, Failure failure);
  // GETs `url` and streams a 2xx body into a file; success receives a file-backed Data (decoded
  // as the configuration's serializer says when that is not Http).
  HttpTaskPtr downloadTask(const std::string& url, RequestConfigurationPtr configuration, Progress progress,
                           Success success, Failure failure);

  // Calls not yet completed, in the order they started.
  std::vector<HttpTaskPtr> tasks() const;
  void invalidateAndCancel();

  struct Core;

 private:
  explicit HttpSession(std::shared_ptr<Core> core);
  std::shared_ptr<Core> core_;
};

}  // namespace dk::platform

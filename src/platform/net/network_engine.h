// NetworkEngine: the one network thread that runs every HTTP transfer of the process over
// libcurl's multi interface (connection reuse, at most 10 connections per host, idle time-outs,
// overall deadlines and body caps, times read from the injectable clock). Internal to the HTTP layer: HttpSession is the interface.
//
// start(), cancel() and setPaused() are thread-safe; they post commands to the network thread.
// Transfer callbacks run on the network thread and must only hand work elsewhere.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/net/http_request.h"
#include "platform/net/tls_policy.h"

namespace dk::platform::detail {

struct TransferRequest {
  EncodedRequest request;
  double idleTimeout = 60.0;
  // Seconds the whole transfer may take, plus (length / minimumThroughput) when that is above 0;
  // the length is the announced one, else what has arrived.
  double deadline = kDefaultDeadline;
  double minimumThroughput = 0;
  // A body past this many bytes ends the transfer with -1103 (an announced one before it starts).
  int64_t maxBodyBytes = kDefaultMaxReplyBytes;
  TlsPolicy tls;
  // A redirect elsewhere than the request's own origin ends the transfer (-1022).
  bool sameOriginRedirectsOnly = false;
  // When set, a 2xx body is streamed into this file instead of memory.
  std::optional<std::string> downloadPath;
};

struct TransferResult {
  // 0 when an HTTP response arrived; otherwise the transport error code (-1001, -999, ...).
  int64_t errorCode = 0;
  std::shared_ptr<HttpResponseInfo> response;
  std::string body;         // the body when it was kept in memory
  bool bodyInFile = false;  // the body went to downloadPath
  int64_t bodyLength = 0;
};

struct TransferCallbacks {
  // Bytes received so far and expected in all (-1 when unknown).
  std::function<void(int64_t received, int64_t expected)> progress;
  std::function<void(TransferResult)> completion;
};

class TransferHandle;

class NetworkEngine {
 public:
  static NetworkEngine& shared();

  std::shared_ptr<TransferHandle> start(TransferRequest request, TransferCallbacks callbacks);
  // Ends the transfer with -999 unless it has completed already.
  void cancel(const std::shared_ptr<TransferHandle>& handle);
  // A paused transfer moves no bytes and does not time out; the time it spends paused does not
  // count towards its deadline. The pause is in force for the time checks when this returns
  // (curl itself is told on the network thread).
  void setPaused(const std::shared_ptr<TransferHandle>& handle, bool paused);

  // Number of transfers added and not yet completed (diagnostics and tests).
  size_t activeTransferCount() const;

  struct Impl;

 private:
  NetworkEngine();
  Impl* impl_;
};

}  // namespace dk::platform::detail

// RetryPolicy: how often and when a failed HTTP call is sent again.
//
// `retryCount` is the number of retries after the first attempt (0 or -1: none). A failure is
// fatal, and ends the call at once, when its HTTP status or its error code is one of
// `fatalCodes`; a non-2xx reply carries code -1011 beside its status. A cancelled call, a
// certificate that fails verification, a refused redirect and a reply over its size cap are always
// fatal. Waits start at
// `retryInterval` seconds and, when `progressive`, double after each retry. Plain value type; the
// functions are pure.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/foundation/error.h"

namespace dk::platform {

struct RetryPolicy {
  int64_t retryCount = 0;
  double retryInterval = 0.0;
  bool progressive = false;
  std::vector<int64_t> fatalCodes;
  // Every 4xx reply ends the call: asking again will not make the address right.
  bool clientErrorsAreFatal = false;

  // True when `error` must not be retried under this policy.
  bool isFatal(const Error& error) const;
  // Seconds to wait before retry number `retry` (1 for the first retry).
  double delayBeforeRetry(int retry) const;
  // Whether a call that has already been retried `retriesDone` times may be retried again.
  bool allowsRetry(int retriesDone) const { return retryCount > 0 && retriesDone < retryCount; }
};

}  // namespace dk::platform

#include "platform/net/retry_policy.h"

#include <algorithm>
#include <cmath>

#include "platform/net/http_errors.h"

namespace dk::platform {

bool RetryPolicy::isFatal(const Error& error) const {
  if (error.domain() == kURLErrorDomain) {
    if (error.code() == kURLErrorCancelled) return true;
    // A certificate that fails verification, or a redirect refused as unsafe, will not get better
    // by asking again.
    if (error.code() <= -1201 && error.code() >= -1206) return true;
    if (error.code() == kURLErrorAppTransportSecurityRequiresSecureConnection) return true;
    if (error.code() == kURLErrorDataLengthExceedsMaximum) return true;
  }
  const auto listed = [this](int64_t code) {
    return std::find(fatalCodes.begin(), fatalCodes.end(), code) != fatalCodes.end();
  };
  if (listed(error.code())) return true;
  const auto& response = error.response();
  if (clientErrorsAreFatal && response && response->statusCode >= 400 && response->statusCode < 500) return true;
  return response && response->statusCode != 0 && listed(response->statusCode);
}

double RetryPolicy::delayBeforeRetry(int retry) const {
  const double interval = std::max(0.0, retryInterval);
  if (!progressive || retry <= 1) return interval;
  // Capped so a long series cannot overflow into an endless wait.
  return interval * std::pow(2.0, std::min(retry - 1, 30));
}

}  // namespace dk::platform

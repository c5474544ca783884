#include "foundation/framework_errors.h"

#include <string>

namespace dk {
namespace {

platform::ErrorPtr frameworkError(int64_t code, std::string text) {
  return platform::Error::make(std::string(DKErrorDomain), code, std::move(text));
}

}  // namespace

platform::ErrorPtr refreshTokenInProgressError() {
  return frameworkError(KLCustomErrorRefreshTokenInProgress,
                        "Request failed: another refresh token request already in progress (101000)");
}

platform::ErrorPtr unableToRetrieveCredentialError() {
  return frameworkError(KLCustomErrorUnableToRetrieveCredential, "Request failed: unable to retrieve credential (101001)");
}

platform::ErrorPtr unableToRetrieveRefreshTokenError() {
  return frameworkError(KLCustomErrorUnableToRetrieveRefreshToken,
                        "Request failed: unable to retrieve refresh token (101002)");
}

platform::ErrorPtr unableToRefreshTokenError() {
  return frameworkError(KLCustomErrorUnableToRefreshToken,
                        "Request failed: unable to refresh token after 2 minutes of retrying (101003)");
}

platform::ErrorPtr unableToParseResponseError() {
  return frameworkError(KLCustomErrorUnableToParseResponse, "Request failed: unable to parse response (101004)");
}

platform::ErrorPtr deviceConnectedToCameraError() {
  return frameworkError(KLCustomErrorDeviceConnectedToCamera,
                        "Request failed: device connected to a camera's AP (101005)");
}

platform::ErrorPtr unableToFindWizardCameraDetailsErrorForGroupName(std::string_view groupName) {
  return frameworkError(404, "Can't find wizard camera details for group named \"" + std::string(groupName) + "\"");
}

}  // namespace dk

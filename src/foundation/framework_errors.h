// The framework's own errors: domain "DKErrorDomain", fixed codes from 101000 and fixed texts.
//
// Factories return new immutable errors carrying only their text as localized description; safe
// from any thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/foundation/error.h"

namespace dk {

inline constexpr std::string_view DKErrorDomain = "DKErrorDomain";

enum KLCustomErrorCode : int64_t {
  KLCustomErrorRefreshTokenInProgress = 101000,
  KLCustomErrorUnableToRetrieveCredential = 101001,
  KLCustomErrorUnableToRetrieveRefreshToken = 101002,
  KLCustomErrorUnableToRefreshToken = 101003,
  KLCustomErrorUnableToParseResponse = 101004,
  KLCustomErrorDeviceConnectedToCamera = 101005,
};

platform::ErrorPtr refreshTokenInProgressError();
platform::ErrorPtr unableToRetrieveCredentialError();
platform::ErrorPtr unableToRetrieveRefreshTokenError();
platform::ErrorPtr unableToRefreshTokenError();
platform::ErrorPtr unableToParseResponseError();
platform::ErrorPtr deviceConnectedToCameraError();
// Code 404 in the framework's domain, naming the wizard group that was not found.
platform::ErrorPtr unableToFindWizardCameraDetailsErrorForGroupName(std::string_view groupName);

}  // namespace dk

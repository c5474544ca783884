// Error classification: what a failed call's error means to the framework (HTTP status,
// server message, the six predicates the executor and managers branch on) and the user-facing
// text for it, looked up in the host application's localisation.
//
// Free functions over platform::Error; the HTTP response and reply body are the ones the HTTP
// layer attached to the error. The error's domain is never looked at: a status or code with a
// known value classifies the error whatever its domain. Stateless apart from the message table,
// which is built once per process on first use (its texts are those of the language then) and
// read-only afterwards; everything here may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace dk {

using platform::Error;

// The status of the HTTP response, or the error's own code when there is none (or it is 0).
int64_t httpStatusCode(const Error& error);
// The error's localized description; nullopt when it has none.
std::optional<std::string> httpDescription(const Error& error);
// The reply body decoded as JSON (a bare string or number allowed); nil when there is no body or
// it does not decode.
platform::Value httpParsedErrorBody(const Error& error);
// When the decoded body is a dictionary, the first present value among "message",
// "error_description", "error", "detail" and "title"; otherwise nil. It may be any value.
platform::Value httpParsedErrorMessage(const Error& error);
// The text to show: the message table applied to the server message, else the code table
// applied to the status, else the message table applied to the description, else the
// description itself.
std::string httpLocalizedDescription(const Error& error);
// The token a 401 reply complains about: the server message without "Invalid access token: ";
// nullopt when there is no message (or it is not text).
std::optional<std::string> accessToken(const Error& error);

bool isUnauthorizedError(const Error& error);  // 401, 101001, 101002
bool isFatalError(const Error& error);         // 400, 401, 403, 404, 405, 409, 101001, 101002
bool isForbiddenError(const Error& error);     // 403
bool isCanceledError(const Error& error);      // -999
bool isTimeoutError(const Error& error);       // -1001
bool isOfflineError(const Error& error);       // -1003, -1004, -1005, -1009, -1018

// The text for a server or transport message: the message's own entry when it is exactly a key
// of the table, else the entry of the first key it contains (without regard to case; longer keys
// are tried first, so the most specific key wins), else nullopt. Nil, null, non-text and empty
// messages give nullopt.
std::optional<std::string> prettyDescriptionFromErrorDescription(const platform::Value& message);
std::optional<std::string> prettyDescriptionFromErrorDescription(std::string_view message);
inline std::optional<std::string> prettyDescriptionFromErrorDescription(const char* message) {
  return message ? prettyDescriptionFromErrorDescription(std::string_view(message)) : std::nullopt;
}
// The text for a status or transport code; nullopt for codes without one.
std::optional<std::string> prettyDescriptionFromErrorCode(int64_t code);

}  // namespace dk

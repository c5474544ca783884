#include "foundation/error_classification.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/foundation/string_case.h"

namespace dk {
namespace {

using platform::Value;

// One row of the message table: a server or transport message and its text, either a key of the
// host's localisation or a literal.
struct MessageRow {
  std::string_view message;
  std::string_view text;
  bool literal;
};

constexpr MessageRow kMessageRows[] = {
    {"Access is denied", "AccessDenied", false},
    {"An unknown error occured, please try again in a few moments", "AnErrorOccuredPleaseTryAgain", false},
    {"Failed to get credentials", "Failed to get credentials", true},
    {"Something went wrong, and we need an internet connection to continue. Please disconnect from the Kelo network",
     "SomethingWentWrongWhileConnectingTheCamera", false},
    {"Request failed: service unavailable (503)", "ServiceUnavailable", false},
    {"Request failed: internal server error (500)", "AnUnknownErrorOccured", false},
    {"The Internet connection appears to be offline.", "TheInternetConnectionAppearsToBeOffline", false},
    {"The request timed out.", "TheRequestTimedOut", false},
    {"The network connection was lost.", "TheNetworkConnectionWasLost", false},
    {"Current password is wrong.", "CurrentPaswordIsWrong", false},
    {"Invalid credentials to delete the camera", "CurrentPaswordIsWrong", false},
    {"Could not connect to the server.", "CouldNotConnectToTheServer", false},
    {"UserDetailsService is required.", "UserDetailsService", false},
    {"length must be between 1 and 64", "LengthMustBeBetween1And64", false},
    {"not a well-formed email address", "NotAWellFormedEmailAddress", false},
    {"length must be between 8 and 50", "LengthMustBeBetween8And50", false},
    {"unauthorized", "UnknownUser", false},
    {"Unknown user", "UnknownUser", false},
    {"Could not find user resource identified with", "UnknownUser", false},
    {"does not exist", "UnknownUser", false},
    {"Password doesn't match.", "PasswordDoesntMatch", false},
    {"Invalid credentials for user", "PasswordDoesntMatch", false},
    {"Invalid value for api attribute", "InvalidValueForApiAttribute", false},
    {"An unknown error occured", "AnUnknownErrorOccured", false},
    {"User is not activated", "UserIsNotActivated", false},
    {"User could not be found", "UserCouldNotBeFound", false},
    {"BLOCKED_ACCOUNT:", "BlockedUserError", false},
    {"A server with the specified hostname could not be found.", "CouldNotConnectToTheServer", false},
    {"Invalid access token:", "Invalid access token", true},
    {"Invalid refresh token:", "InvalidRefreshToken", false},
    {"Wrong client for this refresh token:", "InvalidRefreshToken", false},
    {"Camera not found", "Camera Not Found", true},
    {"Camera is already assinged to an owner", "CameraIsAlreadyAssignedToAnOwner", false},
    {"Camera is not connected with the platform", "CameraNotConnected", false},
    {"No such event", "NoSuchEvent", false},
    {"Request failed: unauthorized (401)", "Unauthorized", true},
    {"Request failed: forbidden (403)", "AnUnknownErrorOccured", false},
    {"Request failed: not found (404)", "AnUnknownErrorOccured", false},
};

std::string lookUp(std::string_view key) { return platform::Bundle::main()->localizedString(key, "", ""); }

struct MessageEntry {
  std::string message;
  std::string lowercased;
  std::string text;
};

// Built once: the texts are resolved in the language of the first use and kept. Entries are in
// the order the containment search tries them: longest message first, so "Request failed:
// unauthorized (401) ..." finds its own entry rather than the shorter "unauthorized".
const std::vector<MessageEntry>& messageTable() {
  static const std::vector<MessageEntry>* table = [] {
    auto* entries = new std::vector<MessageEntry>;
    for (const auto& row : kMessageRows)
      entries->push_back({std::string(row.message), platform::asciiLowercase(row.message),
                          row.literal ? std::string(row.text) : lookUp(row.text)});
    std::stable_sort(entries->begin(), entries->end(),
                     [](const MessageEntry& a, const MessageEntry& b) { return a.message.size() > b.message.size(); });
    return entries;
  }();
  return *table;
}

bool statusIn(const Error& error, std::initializer_list<int64_t> codes) {
  const int64_t status = httpStatusCode(error);
  return std::find(codes.begin(), codes.end(), status) != codes.end();
}

}  // namespace

int64_t httpStatusCode(const Error& error) {
  const auto& response = error.response();
  if (response && response->statusCode != 0) return response->statusCode;
  return error.code();
}

std::optional<std::string> httpDescription(const Error& error) {
  if (error.localizedDescription().empty()) return std::nullopt;
  return error.localizedDescription();
}

Value httpParsedErrorBody(const Error& error) {
  const auto& body = error.responseBody();
  if (!body || body->empty()) return Value();
  return Value::parseJSON(*body, /*allowFragments=*/true);
}

Value httpParsedErrorMessage(const Error& error) {
  Value body = httpParsedErrorBody(error);
  if (!body.isDictionary()) return Value();
  for (const char* key : {"message", "error_description", "error", "detail", "title"}) {
    Value value = body[key];
    if (!value.isNil()) return value;
  }
  return Value();
}

std::string httpLocalizedDescription(const Error& error) {
  if (auto text = prettyDescriptionFromErrorDescription(httpParsedErrorMessage(error))) return *text;
  if (auto text = prettyDescriptionFromErrorCode(httpStatusCode(error))) return *text;
  if (auto text = prettyDescriptionFromErrorDescription(std::string_view(error.localizedDescription()))) return *text;
  return error.localizedDescription();
}

std::optional<std::string> accessToken(const Error& error) {
  Value message = httpParsedErrorMessage(error);
  if (!message.isString()) return std::nullopt;
  static constexpr std::string_view kPrefix = "Invalid access token: ";
  std::string token = message.stringValue();
  for (size_t at = token.find(kPrefix); at != std::string::npos; at = token.find(kPrefix, at)) token.erase(at, kPrefix.size());
  return token;
}

bool isUnauthorizedError(const Error& error) { return statusIn(error, {401, 101001, 101002}); }
bool isFatalError(const Error& error) { return statusIn(error, {400, 401, 403, 404, 405, 409, 101001, 101002}); }
bool isForbiddenError(const Error& error) { return statusIn(error, {403}); }
bool isCanceledError(const Error& error) { return statusIn(error, {-999}); }
bool isTimeoutError(const Error& error) { return statusIn(error, {-1001}); }
bool isOfflineError(const Error& error) { return statusIn(error, {-1003, -1004, -1005, -1009, -1018}); }

std::optional<std::string> prettyDescriptionFromErrorDescription(const Value& message) {
  if (!message.isString()) return std::nullopt;
  return prettyDescriptionFromErrorDescription(std::string_view(message.stringValue()));
}

std::optional<std::string> prettyDescriptionFromErrorDescription(std::string_view message) {
  if (message.empty()) return std::nullopt;
  const auto& table = messageTable();
  for (const auto& entry : table)
    if (entry.message == message) return entry.text;
  const std::string lowered = platform::asciiLowercase(message);
  for (const auto& entry : table)
    if (lowered.find(entry.lowercased) != std::string::npos) return entry.text;
  return std::nullopt;
}

std::optional<std::string> prettyDescriptionFromErrorCode(int64_t code) {
  switch (code) {
    case -1005: return lookUp("NoInternetConnection");
    case -1003: return lookUp("CouldNotConnectToTheServer");
    case 102: return lookUp("AnUnknownErrorOccured");
    case 104: return lookUp("AnErrorOccuredPleaseTryAgain");
    case 301: return std::string("Camera Not Found");
    case 302: return lookUp("CameraIsAlreadyAssignedToAnOwner");
    case 303: return lookUp("CameraNotConnected");
    case 306: return lookUp("WifiAndMobileCannotBeDisabled");
    case 307: return lookUp("CameraNotConnectedToMobile");
    case 401: return std::string("Unauthorized");
    default: return std::nullopt;
  }
}

}  // namespace dk

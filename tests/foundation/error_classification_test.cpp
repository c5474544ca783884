#include <gtest/gtest.h>

#include "foundation/error_classification.h"
#include "foundation/framework_errors.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/locale.h"

namespace dk {
namespace {

using platform::Error;
using platform::HttpResponseInfo;
using platform::Value;

Error httpError(int status, std::optional<std::string> body = std::nullopt, std::string description = "Request failed") {
  auto response = std::make_shared<HttpResponseInfo>();
  response->statusCode = status;
  return Error(std::string(platform::kResponseSerializationErrorDomain), -1011, std::move(description), response,
               std::move(body));
}

Error transportError(int64_t code, std::string description = "") {
  return Error(std::string(platform::kURLErrorDomain), code, std::move(description));
}

std::string hostText(const char* key) { return platform::Bundle::main()->localizedString(key, "", ""); }

class ErrorClassification : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::Locale::setPreferredLanguages(std::vector<std::string>{"en"}); }
  static void TearDownTestSuite() { platform::Locale::setPreferredLanguages(std::nullopt); }
};

TEST_F(ErrorClassification, PredicatesReadTheHttpStatusElseTheOwnCode) {
  Error notFound = httpError(404);
  EXPECT_EQ(httpStatusCode(notFound), 404);
  EXPECT_TRUE(isFatalError(notFound));
  EXPECT_FALSE(isUnauthorizedError(notFound));

  Error offline = transportError(-1009);
  EXPECT_EQ(httpStatusCode(offline), -1009);
  EXPECT_TRUE(isOfflineError(offline));
  EXPECT_FALSE(isFatalError(offline));

  // A response whose status is 0 does not hide the error's own code.
  Error timedOut(std::string(platform::kURLErrorDomain), -1001, "", std::make_shared<HttpResponseInfo>());
  EXPECT_TRUE(isTimeoutError(timedOut));
  EXPECT_TRUE(isCanceledError(transportError(-999)));
  EXPECT_TRUE(isForbiddenError(httpError(403)));
  EXPECT_TRUE(isFatalError(httpError(403)));
  for (int64_t code : {-1003, -1004, -1005, -1018}) EXPECT_TRUE(isOfflineError(transportError(code))) << code;
  for (int status : {400, 405, 409}) EXPECT_TRUE(isFatalError(httpError(status))) << status;
  for (int status : {402, 410, 500, 503}) EXPECT_FALSE(isFatalError(httpError(status))) << status;
}

TEST_F(ErrorClassification, FrameworkCredentialCodesAreUnauthorizedInAnyDomain) {
  Error foreign("SomeOtherDomain", 101002, "x");
  EXPECT_TRUE(isUnauthorizedError(foreign));
  EXPECT_TRUE(isFatalError(foreign));
  EXPECT_TRUE(isUnauthorizedError(*unableToRetrieveCredentialError()));
  EXPECT_FALSE(isUnauthorizedError(*refreshTokenInProgressError()));
  EXPECT_FALSE(isFatalError(*deviceConnectedToCameraError()));
}

TEST_F(ErrorClassification, ServerMessageIsTheFirstPresentKey) {
  EXPECT_EQ(httpParsedErrorMessage(httpError(400, R"({"error": "x", "message": "y"})")), Value("y"));
  EXPECT_EQ(httpParsedErrorMessage(httpError(400, R"({"title": "t", "detail": "d"})")), Value("d"));
  EXPECT_TRUE(httpParsedErrorMessage(httpError(400, R"(["message"])")).isNil());
  Error fragment = httpError(400, R"("x")");
  EXPECT_EQ(httpParsedErrorBody(fragment), Value("x"));
  EXPECT_TRUE(httpParsedErrorMessage(fragment).isNil());
  EXPECT_TRUE(httpParsedErrorBody(httpError(500, "<html>oops</html>")).isNil());
  EXPECT_TRUE(httpParsedErrorBody(httpError(500)).isNil());
  // A message that is not text travels as it is but shows as no message.
  Error objectMessage = httpError(400, R"({"error": {"code": 7}})");
  EXPECT_TRUE(httpParsedErrorMessage(objectMessage).isDictionary());
  EXPECT_EQ(prettyDescriptionFromErrorDescription(httpParsedErrorMessage(objectMessage)), std::nullopt);
  EXPECT_EQ(accessToken(objectMessage), std::nullopt);
}

TEST_F(ErrorClassification, AccessTokenIsTheMessageWithoutItsPrefix) {
  EXPECT_EQ(accessToken(httpError(401, R"({"error_description": "Invalid access token: T"})")), "T");
  EXPECT_EQ(accessToken(httpError(401, R"({"message": "Full authentication is required"})")),
            "Full authentication is required");
  EXPECT_EQ(accessToken(httpError(401)), std::nullopt);
}

TEST_F(ErrorClassification, MessagesMapToHostTextsExactlyOrByContainment) {
  EXPECT_EQ(prettyDescriptionFromErrorDescription("Unknown user"), hostText("UnknownUser"));
  EXPECT_EQ(prettyDescriptionFromErrorDescription("Invalid access token: abc"), "Invalid access token");
  EXPECT_EQ(prettyDescriptionFromErrorDescription("User with id 7 does not exist"), hostText("UnknownUser"));
  EXPECT_EQ(prettyDescriptionFromErrorDescription("CAMERA NOT FOUND here"), "Camera Not Found");
  EXPECT_EQ(prettyDescriptionFromErrorDescription("Request failed: unauthorized (401)"), "Unauthorized");
  // The more specific entry wins over "unauthorized" contained in it.
  EXPECT_EQ(prettyDescriptionFromErrorDescription("Request failed: unauthorized (401) for /rest/v2"), "Unauthorized");
  EXPECT_EQ(prettyDescriptionFromErrorDescription("unauthorized"), hostText("UnknownUser"));
  EXPECT_EQ(prettyDescriptionFromErrorDescription("The request timed out."), "The request timed out.");
  EXPECT_EQ(prettyDescriptionFromErrorDescription(""), std::nullopt);
  EXPECT_EQ(prettyDescriptionFromErrorDescription("Something else entirely"), std::nullopt);
  EXPECT_EQ(prettyDescriptionFromErrorDescription(Value()), std::nullopt);
  EXPECT_EQ(prettyDescriptionFromErrorDescription(Value::null()), std::nullopt);
  EXPECT_FALSE(hostText("UnknownUser").empty());
}

TEST_F(ErrorClassification, CodesMapToHostTexts) {
  EXPECT_EQ(prettyDescriptionFromErrorCode(500), std::nullopt);
  EXPECT_EQ(prettyDescriptionFromErrorCode(301), "Camera Not Found");
  EXPECT_EQ(prettyDescriptionFromErrorCode(401), "Unauthorized");
  EXPECT_EQ(prettyDescriptionFromErrorCode(-1005), hostText("NoInternetConnection"));
  EXPECT_EQ(prettyDescriptionFromErrorCode(306), hostText("WifiAndMobileCannotBeDisabled"));
}

TEST_F(ErrorClassification, LocalizedDescriptionPrefersMessageThenCodeThenDescription) {
  EXPECT_EQ(httpLocalizedDescription(httpError(401, R"({"message": "No such event"})")), hostText("NoSuchEvent"));
  EXPECT_EQ(httpLocalizedDescription(httpError(401, R"({"message": "unmapped"})")), "Unauthorized");
  EXPECT_EQ(httpLocalizedDescription(transportError(-1001, "The request timed out.")), hostText("TheRequestTimedOut"));
  EXPECT_EQ(httpLocalizedDescription(transportError(-1, "Something odd")), "Something odd");
}

TEST(FrameworkErrors, CarryTheirDomainCodeAndExactText) {
  const std::pair<platform::ErrorPtr, const char*> cases[] = {
      {refreshTokenInProgressError(), "Request failed: another refresh token request already in progress (101000)"},
      {unableToRetrieveCredentialError(), "Request failed: unable to retrieve credential (101001)"},
      {unableToRetrieveRefreshTokenError(), "Request failed: unable to retrieve refresh token (101002)"},
      {unableToRefreshTokenError(), "Request failed: unable to refresh token after 2 minutes of retrying (101003)"},
      {unableToParseResponseError(), "Request failed: unable to parse response (101004)"},
      {deviceConnectedToCameraError(), "Request failed: device connected to a camera's AP (101005)"},
  };
  int64_t code = 101000;
  for (const auto& [error, text] : cases) {
    EXPECT_EQ(error->domain(), "DKErrorDomain");
    EXPECT_EQ(error->code(), code++);
    EXPECT_EQ(error->localizedDescription(), text);
    EXPECT_TRUE(error->userInfo().empty());
  }
  auto wizard = unableToFindWizardCameraDetailsErrorForGroupName("Indoor");
  EXPECT_EQ(wizard->code(), 404);
  EXPECT_EQ(wizard->localizedDescription(), "Can't find wizard camera details for group named \"Indoor\"");
}

}  // namespace
}  // namespace dk

#include <gtest/gtest.h>

#include "platform/foundation/data.h"
#include "platform/net/http_errors.h"
#include "platform/net/http_request.h"
#include "platform/net/response_serializer.h"
#include "platform/net/retry_policy.h"

namespace dk::platform {
namespace {

RequestConfiguration jsonConfiguration() {
  RequestConfiguration c;
  c.requestSerializer = RequestSerializerKind::Json;
  c.responseSerializer = ResponseSerializerKind::Json;
  return c;
}

TEST(EncodeRequest, GetAndDeletePutParametersInTheQueryAppendingToAnExistingOne) {
  ErrorPtr error;
  auto get = encodeRequest(HttpMethod::Get, "https://h:443/rest/v2.0/cameras/7/snapshot?resolution=1280x720",
                           Value(ValueDictionary{{"b", Value(2)}, {"a", Value("1")}}), jsonConfiguration(), &error);
  ASSERT_TRUE(get);
  EXPECT_EQ(get->url, "https://h:443/rest/v2.0/cameras/7/snapshot?resolution=1280x720&a=1&b=2");
  EXPECT_FALSE(get->body);
  auto del = encodeRequest(HttpMethod::Delete, "https://h:443/x", Value(ValueDictionary{{"password", Value("p w")}}),
                           jsonConfiguration(), &error);
  ASSERT_TRUE(del);
  EXPECT_EQ(del->url, "https://h:443/x?password=p%20w");
}

TEST(EncodeRequest, JsonWritesABodyAndItsContentTypeUnlessTheCallSetsOne) {
  ErrorPtr error;
  auto post = encodeRequest(HttpMethod::Patch, "https://h:443/z", Value(ValueArray{Value("1"), Value("2")}),
                            jsonConfiguration(), &error);
  ASSERT_TRUE(post);
  EXPECT_EQ(post->url, "https://h:443/z");
  EXPECT_EQ(post->body, "[\"1\",\"2\"]");
  EXPECT_EQ(post->headers.at("Content-Type"), "application/json");

  RequestConfiguration custom = jsonConfiguration();
  custom.headers["content-type"] = "application/vnd.custom+json";
  auto put = encodeRequest(HttpMethod::Put, "https://h:443/z", Value(ValueDictionary{{"name", Value("Default")}}),
                           custom, &error);
  ASSERT_TRUE(put);
  EXPECT_EQ(put->headers.at("Content-Type"), "application/vnd.custom+json");
  EXPECT_EQ(put->body, "{\"name\":\"Default\"}");
}

TEST(EncodeRequest, HttpSerializerSendsAFormBodyAndNoBodyWithoutParameters) {
  RequestConfiguration form;
  ErrorPtr error;
  auto post = encodeRequest(HttpMethod::Post, "https://h:443/oauth/token",
                            Value(ValueDictionary{{"grant_type", Value("password")}, {"scope", Value("write")}}), form,
                            &error);
  ASSERT_TRUE(post);
  EXPECT_EQ(post->body, "grant_type=password&scope=write");
  EXPECT_EQ(post->headers.at("Content-Type"), "application/x-www-form-urlencoded");
  auto bare = encodeRequest(HttpMethod::Post, "https://h:443/x", Value(), form, &error);
  ASSERT_TRUE(bare);
  EXPECT_FALSE(bare->body);
  EXPECT_EQ(bare->headers.count("Content-Type"), 0u);
}

TEST(EncodeRequest, CallHeadersReplaceDefaultsAndBadInputIsAnErrorNotACrash) {
  RequestConfiguration c;
  c.headers["User-Agent"] = "Probe";
  ErrorPtr error;
  auto request = encodeRequest(HttpMethod::Get, "http://h/x", Value(), c, &error);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->headers.at("User-Agent"), "Probe");
  EXPECT_EQ(request->headers.at("Accept-Language"), "en;q=1");

  EXPECT_FALSE(encodeRequest(HttpMethod::Get, "not a url", Value(), c, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kURLErrorBadURL);
  EXPECT_FALSE(encodeRequest(HttpMethod::Get, "ftp://h/x", Value(), c, &error));
  EXPECT_EQ(error->code(), kURLErrorUnsupportedURL);
  EXPECT_FALSE(encodeRequest(HttpMethod::Post, "http://h/x", Value("scalar"), jsonConfiguration(), &error));
  EXPECT_EQ(error->domain(), kCocoaErrorDomain);
}

std::shared_ptr<const HttpResponseInfo> response(int status, std::string contentType) {
  auto info = std::make_shared<HttpResponseInfo>();
  info->statusCode = status;
  info->url = "https://h:443/x";
  if (!contentType.empty()) info->headers["Content-Type"] = std::move(contentType);
  return info;
}

TEST(ValidateResponse, ANon2xxStatusIsMinus1011WithThePlatformText) {
  const auto error = validateResponse(jsonConfiguration(), response(401, "application/json"), 10, std::string("{}"));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), "com.alamofire.error.serialization.response");
  EXPECT_EQ(error->code(), -1011);
  EXPECT_EQ(error->localizedDescription(), "Request failed: unauthorized (401)");
  ASSERT_TRUE(error->response());
  EXPECT_EQ(error->response()->statusCode, 401);
  EXPECT_EQ(error->responseBody(), "{}");
  EXPECT_EQ(localizedStringForStatusCode(500), "internal server error");
  EXPECT_EQ(localizedStringForStatusCode(418), "client error");
}

TEST(ValidateResponse, ContentTypeMustBeAcceptedUnlessTheBodyIsEmptyWithoutType) {
  auto c = jsonConfiguration();
  EXPECT_FALSE(validateResponse(c, response(200, "application/json; charset=utf-8"), 2, std::nullopt));
  EXPECT_FALSE(validateResponse(c, response(204, ""), 0, std::nullopt));
  auto html = validateResponse(c, response(200, "image/png"), 5, std::nullopt);
  ASSERT_TRUE(html);
  EXPECT_EQ(html->code(), -1016);
  EXPECT_EQ(html->localizedDescription(), "Request failed: unacceptable content-type: image/png");
  c.acceptableContentTypes = std::vector<std::string>{"application/json", "text/html", "text/plain"};
  EXPECT_FALSE(validateResponse(c, response(200, "text/html"), 5, std::nullopt));
  // Status wins over content type.
  EXPECT_EQ(validateResponse(c, response(500, "image/png"), 5, std::nullopt)->code(), -1011);
}

TEST(DecodeResponseBody, JsonHttpAndImageKinds) {
  ErrorPtr error;
  auto ok = decodeResponseBody(ResponseSerializerKind::Json, response(200, "application/json"),
                               std::make_shared<const Data>("{\"values\":[1,2]}"), &error);
  EXPECT_FALSE(error);
  EXPECT_EQ(ok["values"].count(), 2u);
  EXPECT_TRUE(decodeResponseBody(ResponseSerializerKind::Json, nullptr, std::make_shared<const Data>(" "), &error).isNil());
  EXPECT_FALSE(error);

  auto bad = decodeResponseBody(ResponseSerializerKind::Json, response(200, "application/json"),
                                std::make_shared<const Data>("{\"values\":"), &error);
  EXPECT_TRUE(bad.isNil());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 3840);
  EXPECT_EQ(error->responseBody(), "{\"values\":");

  error = nullptr;
  auto raw = decodeResponseBody(ResponseSerializerKind::Http, nullptr, std::make_shared<const Data>("mp4", "video/mp4"), &error);
  auto data = raw.objectAs<Data>();
  ASSERT_TRUE(data);
  EXPECT_EQ(data->bytes(), "mp4");

  setImageDecoder([](const DataPtr& d) { return Value("decoded " + std::to_string(d->length())); });
  auto image = decodeResponseBody(ResponseSerializerKind::Image, nullptr, std::make_shared<const Data>("abcd"), &error);
  setImageDecoder(nullptr);
  EXPECT_EQ(image.stringValue(), "decoded 4");
}

ErrorPtr statusError(int status) { return unacceptableStatusError(response(status, "application/json"), std::nullopt); }

TEST(DecodeResponseBody, AJsonReplyTooDenseToHoldFailsAsAMalformedOneDoes) {
  // A megabyte of "[0]" would make a tree thirty times its size.
  std::string dense = "{\"events\":[[0]";
  while (dense.size() < 1000000) dense += ",[0]";
  dense += "]}";
  ErrorPtr error;
  const Value decoded = decodeResponseBody(ResponseSerializerKind::Json, response(200, "application/json"),
                                           std::make_shared<const Data>(dense), &error);
  EXPECT_TRUE(decoded.isNil());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 3840);
  EXPECT_EQ(error->responseBody(), dense);
}

TEST(RetryPolicy, FatalByStatusByCodeAndAlwaysOnCancel) {
  RetryPolicy p{3, 3.0, true, {400, 404, 500, -1003, -1004}};
  EXPECT_TRUE(p.isFatal(*statusError(404)));
  EXPECT_FALSE(p.isFatal(*statusError(503)));
  EXPECT_TRUE(p.isFatal(*transportError(kURLErrorCannotConnectToHost)));
  EXPECT_FALSE(p.isFatal(*transportError(kURLErrorTimedOut)));
  EXPECT_TRUE(p.isFatal(*transportError(kURLErrorCancelled)));
  // Every non-2xx status carries -1011, so listing -1011 makes all of them fatal.
  RetryPolicy withBadResponse{3, 3.0, true, {-1011}};
  EXPECT_TRUE(withBadResponse.isFatal(*statusError(503)));
  EXPECT_TRUE(RetryPolicy{}.isFatal(*transportError(kURLErrorCancelled)));
}

TEST(RetryPolicy, CountIsRetriesAfterTheFirstAttemptAndWaitsDoubleWhenProgressive) {
  RetryPolicy p{3, 2.0, true, {}};
  EXPECT_TRUE(p.allowsRetry(0));
  EXPECT_TRUE(p.allowsRetry(2));
  EXPECT_FALSE(p.allowsRetry(3));
  EXPECT_DOUBLE_EQ(p.delayBeforeRetry(1), 2.0);
  EXPECT_DOUBLE_EQ(p.delayBeforeRetry(2), 4.0);
  EXPECT_DOUBLE_EQ(p.delayBeforeRetry(3), 8.0);
  p.progressive = false;
  EXPECT_DOUBLE_EQ(p.delayBeforeRetry(3), 2.0);
  EXPECT_FALSE((RetryPolicy{-1, 3.0, false, {}}.allowsRetry(0)));
  EXPECT_FALSE((RetryPolicy{0, 3.0, false, {}}.allowsRetry(0)));
}

}  // namespace
}  // namespace dk::platform

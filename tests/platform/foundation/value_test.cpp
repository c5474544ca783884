#include <gtest/gtest.h>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace dk::platform {
namespace {

TEST(Value, NilNullAndValueAreThreeStates) {
  Value json = Value::parseJSON(R"({"a": null, "b": 0})");
  EXPECT_TRUE(json["a"].isNull());
  EXPECT_FALSE(json["a"].isNil());
  EXPECT_TRUE(json["missing"].isNil());
  EXPECT_TRUE(json["b"].isInteger());
  EXPECT_FALSE(json["b"].isNilOrNull());
}

TEST(Value, NumbersPrintAsThePlatformPrintsThem) {
  EXPECT_EQ(Value(180).description(), "180");
  EXPECT_EQ(Value(180.0).description(), "180");
  EXPECT_EQ(Value(0.1).description(), "0.1");
  EXPECT_EQ(Value(1616919330.5).description(), "1616919330.5");
  EXPECT_EQ(Value(true).description(), "1");
  EXPECT_EQ(Value().description(), "(null)");
  EXPECT_EQ(Value::null().description(), "<null>");
}

TEST(Value, NumbersCompareNumericallyAcrossRepresentations) {
  EXPECT_EQ(Value(1), Value(1.0));
  EXPECT_EQ(Value(true), Value(1));
  EXPECT_NE(Value(1), Value("1"));
  EXPECT_NE(Value(), Value::null());
}

TEST(Value, KeyPathsWalkNestedDictionaries) {
  Value json = Value::parseJSON(R"({"camera": {"settings": {"rec": {"fps": 15}}, "list": [1]}})");
  EXPECT_EQ(json.valueForKeyPath("camera.settings.rec.fps").integerValue(), 15);
  EXPECT_TRUE(json.valueForKeyPath("camera.list.0").isNil());
  EXPECT_TRUE(json.valueForKeyPath("camera.nothing.fps").isNil());
}

TEST(Value, JSONParsingRejectsMalformedInputAndFragmentsUnlessAllowed) {
  std::string error;
  EXPECT_TRUE(Value::parseJSON("{\"a\": ", false, &error).isNil());
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(Value::parseJSON("\"x\"").isNil());
  EXPECT_EQ(Value::parseJSON("\"x\"", true).stringValue(), "x");
  EXPECT_TRUE(Value::parseJSON("null", true).isNull());
}

TEST(Value, JSONRoundTripKeepsTypes) {
  const char* text = R"({"a":[1,2.5,"x",true,null],"b":{"c":-9007199254740993}})";
  Value v = Value::parseJSON(text);
  EXPECT_EQ(v["b"]["c"].integerValue(), -9007199254740993LL);
  EXPECT_EQ(Value::parseJSON(v.toJSON()), v);
}

TEST(Value, CopiesShareImmutableCollections) {
  ValueArray big(1000, Value(1));
  Value a(big);
  Value b = a;
  EXPECT_EQ(&a.arrayValue(), &b.arrayValue());
}

TEST(Error, CarriesHttpDetailsAndPrintsLikeThePlatform) {
  auto response = std::make_shared<HttpResponseInfo>();
  response->statusCode = 404;
  response->headers["content-type"] = "application/json";
  Error e(std::string(kResponseSerializationErrorDomain), kURLErrorBadServerResponse,
          "Request failed: not found (404)", response, std::string("{}"));
  EXPECT_EQ(e.response()->headers.at("Content-Type"), "application/json");
  EXPECT_EQ(e.description(),
            "Error Domain=com.alamofire.error.serialization.response Code=-1011 \"Request failed: not found (404)\"");
}

}  // namespace
}  // namespace dk::platform

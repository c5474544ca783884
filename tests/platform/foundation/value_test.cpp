#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

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

TEST(ValueDictionary, BehavesAsAnOrderedMap) {
  ValueDictionary d{{"b", Value(2)}, {"a", Value(1)}, {"b", Value(3)}};
  EXPECT_EQ(d.size(), 2u);
  EXPECT_EQ(d.at("b").integerValue(), 2);  // as a map: the first of a repeated key stays
  EXPECT_EQ(d.begin()->first, "a");
  d["c"] = Value("x");
  d["a"] = Value(10);
  EXPECT_FALSE(d.insert({"c", Value("y")}).second);
  EXPECT_TRUE(d.emplace("0", Value::null()).second);
  d.insert_or_assign("b", Value(20));
  std::string order;
  for (const auto& [key, value] : d) order += key;
  EXPECT_EQ(order, "0abc");
  EXPECT_EQ(d["a"].integerValue(), 10);
  EXPECT_EQ(d["b"].integerValue(), 20);
  EXPECT_EQ(d.find("c")->second.stringValue(), "x");
  EXPECT_EQ(d.find("cc"), d.end());
  EXPECT_EQ(d.count("0"), 1u);
  EXPECT_EQ(d.erase("0"), 1u);
  EXPECT_EQ(d.erase("0"), 0u);
  EXPECT_FALSE(d.contains("0"));
  EXPECT_THROW(d.at("missing"), std::out_of_range);
  EXPECT_EQ(d, (ValueDictionary{{"c", Value("x")}, {"b", Value(20)}, {"a", Value(10)}}));
  // Look-ups through Value and key paths see the same entries.
  const Value v(ValueDictionary{{"outer", Value(d)}});
  EXPECT_EQ(v.valueForKeyPath("outer.c").stringValue(), "x");
  EXPECT_TRUE(v["outer"]["zz"].isNil());
}

TEST(ValueDictionary, EntriesInAnyOrderKeepTheLastOfARepeatedKey) {
  ValueDictionary::Entries entries;
  for (int i = 40; i > 0; --i) entries.emplace_back("k" + std::to_string(i % 30), Value(i));
  const auto d = ValueDictionary::withEntries(std::move(entries));
  EXPECT_EQ(d.size(), 30u);
  EXPECT_EQ(d.at("k5").integerValue(), 5);    // 35 came first, 5 last
  EXPECT_EQ(d.at("k29").integerValue(), 29);  // only once
  EXPECT_TRUE(std::is_sorted(d.begin(), d.end(), [](const auto& a, const auto& b) { return a.first < b.first; }));
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

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace dk::platform {
namespace {

Value parse(std::string_view text) { return Value::parseJSON(text, true); }

TEST(JSONReader, ReadsEveryKindWithTheRightNumberTypes) {
  Value v = parse(R"( {"s":"a\"b\\c\/d\n\t","t":true,"f":false,"n":null,"i":-42,"z":-0,"d":1.5e3,
                      "big":9223372036854775807,"bigger":9223372036854775808,"neg":-9223372036854775809,
                      "a":[[],{},[1,[2]]]} )");
  ASSERT_TRUE(v.isDictionary());
  EXPECT_EQ(v["s"].stringValue(), "a\"b\\c/d\n\t");
  EXPECT_TRUE(v["t"].isBool() && v["t"].boolValue());
  EXPECT_TRUE(v["n"].isNull());
  EXPECT_TRUE(v["i"].isInteger());
  EXPECT_EQ(v["i"].integerValue(), -42);
  EXPECT_TRUE(v["z"].isInteger());
  EXPECT_TRUE(v["d"].isDouble());
  EXPECT_EQ(v["d"].doubleValue(), 1500.0);
  EXPECT_EQ(v["big"].integerValue(), INT64_MAX);
  EXPECT_TRUE(v["bigger"].isDouble());
  EXPECT_TRUE(v["neg"].isDouble());
  EXPECT_EQ(v["a"][size_t{2}][size_t{1}][size_t{0}].integerValue(), 2);
}

TEST(JSONReader, DecodesUnicodeEscapesAndKeepsUtf8) {
  EXPECT_EQ(parse(R"("\u00e9\u20ac")").stringValue(), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(parse(R"("\ud83d\ude00")").stringValue(), "\xF0\x9F\x98\x80");
  EXPECT_EQ(parse("\"caf\xC3\xA9 \xF0\x9F\x98\x80\"").stringValue(), "caf\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(parse("\xEF\xBB\xBF[1]").count(), 1u);  // a byte-order mark is skipped
}

TEST(JSONReader, LaterDuplicateKeysWin) { EXPECT_EQ(parse(R"({"a":1,"a":2})")["a"].integerValue(), 2); }

TEST(JSONReader, RejectsWhatIsNotJSONWithAMessage) {
  const std::vector<std::string> bad = {
      "", "   ", "01", "1.", ".5", "+1", "-", "1e", "1e+", "[1,]", "{\"a\":1,}", "{'a':1}", "[1 2]", "{\"a\" 1}",
      "{1:2}", "tru", "nul", "{}x", "[", "{\"a\":", "\"abc", std::string("\"a\x01\""), "\"\\x\"", "\"\\u12\"",
      "\"\\ud800\"", "\"\\ud800\\u0041\"", "\"\\udc00\"", "\"\xC3\x28\"", "\"\xED\xA0\x80\"", "\"\xC0\xAF\"",
      "\"\xF4\x90\x80\x80\"", "\"\xFF\"", "1e400", "NaN", "[1]]"};
  for (const auto& text : bad) {
    std::string error;
    EXPECT_TRUE(Value::parseJSON(text, true, &error).isNil()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(JSONReader, NestingIsBounded) {
  EXPECT_TRUE(parse(std::string(500, '[') + std::string(500, ']')).isArray());
  std::string error;
  EXPECT_TRUE(Value::parseJSON(std::string(100000, '['), true, &error).isNil());
  EXPECT_NE(error.find("nesting"), std::string::npos);
}

TEST(JSONReader, WhatValueWritesReadsBackTheSame) {
  const Value original(ValueDictionary{
      {"text", Value("line\nbreak \"quoted\" \\ \xE2\x82\xAC \x01")},
      {"numbers", Value(ValueArray{Value(0), Value(-7), Value(3.25), Value(1e-300), Value(INT64_MIN)})},
      {"nested", Value(ValueDictionary{{"", Value::null()}, {"list", Value(ValueArray{Value(true), Value(false)})}})},
  });
  EXPECT_EQ(parse(original.toJSON()), original);
  EXPECT_EQ(parse(original.toJSON(true)), original);
}

}  // namespace
}  // namespace dk::platform

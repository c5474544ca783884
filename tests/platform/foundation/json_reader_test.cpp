#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
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

TEST(JSONReader, LaterDuplicateKeysWin) {
  EXPECT_EQ(parse(R"({"a":1,"a":2})")["a"].integerValue(), 2);
  const Value v = parse(R"({"b":1,"a":2,"b":3,"c":{"x":1,"x":[4]},"a":5})");
  EXPECT_EQ(v.count(), 3u);
  EXPECT_EQ(v["a"].integerValue(), 5);
  EXPECT_EQ(v["b"].integerValue(), 3);
  EXPECT_EQ(v.valueForKeyPath("c.x").count(), 1u);
}

TEST(JSONReader, MembersStayWithTheirOwnObjectAtAnyDepth) {
  // Objects and arrays nested in members of unsorted objects, closed in every order.
  const Value v = parse(R"({"z":[{"k":1,"b":{"y":[1,2,{"q":3}],"a":"A"},"c":[]}],"m":{},"a":[[{"w":0}],[]],"e":2})");
  ASSERT_TRUE(v.isDictionary());
  std::vector<std::string> keys;
  for (const auto& [key, value] : v.dictionaryValue()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "e", "m", "z"}));
  EXPECT_EQ(v["z"][size_t{0}].count(), 3u);
  EXPECT_EQ(v["z"][size_t{0}].valueForKeyPath("b.a").stringValue(), "A");
  EXPECT_EQ(v["z"][size_t{0}].valueForKeyPath("b.y")[size_t{2}]["q"].integerValue(), 3);
  EXPECT_EQ(v["z"][size_t{0}].valueForKeyPath("b.y").count(), 3u);
  EXPECT_EQ(v["a"][size_t{0}][size_t{0}]["w"].integerValue(), 0);
  EXPECT_EQ(v["a"][size_t{1}].count(), 0u);
  EXPECT_TRUE(v["m"].isDictionary());
  EXPECT_EQ(v["e"].integerValue(), 2);
  // A failure deep inside leaves nothing behind for the next document.
  EXPECT_TRUE(Value::parseJSON(R"({"a":[{"b":1,"c":[1,)", true).isNil());
  EXPECT_EQ(parse(R"({"d":1})").count(), 1u);
}

// Objects and arrays that follow one another at the top reuse the reader's working space: each
// keeps its own members, empty ones included, however many came before.
TEST(JSONReader, SiblingContainersAndEmptyOnesKeepTheirOwnContents) {
  std::string text = "[";
  for (int i = 0; i < 300; ++i) {
    text += (i ? "," : "") + std::string(R"({"n":)") + std::to_string(i) + R"(,"e":{},"a":[],"l":[)" +
            std::to_string(i) + "," + std::to_string(i + 1) + "]}";
  }
  text += R"(,[],{},[[],{}]])";
  const Value v = Value::parseJSON(text);
  ASSERT_EQ(v.count(), 303u);
  for (size_t i = 0; i < 300; i += 37) {
    EXPECT_EQ(v[i]["n"].integerValue(), static_cast<int64_t>(i));
    EXPECT_TRUE(v[i]["e"].isDictionary() && v[i]["e"].count() == 0);
    EXPECT_TRUE(v[i]["a"].isArray() && v[i]["a"].count() == 0);
    EXPECT_EQ(v[i]["l"][1].integerValue(), static_cast<int64_t>(i + 1));
  }
  EXPECT_TRUE(v[300].isArray());
  EXPECT_TRUE(v[301].isDictionary());
  EXPECT_TRUE(v[302][0].isArray() && v[302][1].isDictionary());
  EXPECT_EQ(Value::parseJSON(R"({"a":[1,{"b":[]}],"c":{"d":{}}})").toJSON(), R"({"a":[1,{"b":[]}],"c":{"d":{}}})");
}

TEST(JSONReader, NumbersTooSmallForADoubleReadAsZero) {
  const Value v = parse(R"({"tiny":1e-400,"negative":-2.5e-999,"fraction":0.0000e-5000,"list":[1E-324]})");
  ASSERT_TRUE(v.isDictionary());
  EXPECT_TRUE(v["tiny"].isDouble());
  EXPECT_EQ(v["tiny"].doubleValue(), 0.0);
  EXPECT_EQ(v["negative"].doubleValue(), 0.0);
  EXPECT_TRUE(std::signbit(v["negative"].doubleValue()));
  EXPECT_EQ(v["fraction"].doubleValue(), 0.0);
  EXPECT_EQ(v["list"][size_t{0}].doubleValue(), 0.0);
  // The smallest subnormal still reads as itself, and too large is still refused.
  EXPECT_EQ(parse("4.9406564584124654e-324").doubleValue(), 4.9406564584124654e-324);
  EXPECT_TRUE(parse("-1e400").isNil());
}

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

// 512 levels of arrays, objects or both are read; one more is refused with the reason, and so is a
// hostile depth that would otherwise exhaust the stack (100,000 objects fit in a reply's cap).
TEST(JSONReader, NestingIsBoundedAt512LevelsOfEitherKind) {
  const auto nested = [](const std::string& open, const std::string& close, int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += open;
    text += "0";
    for (int i = 0; i < levels; ++i) text += close;
    return text;
  };
  const struct {
    const char* what;
    std::string open, close;
  } shapes[] = {
      {"arrays", "[", "]"},
      {"objects", "{\"a\":", "}"},
      {"both", "[{\"a\":", "}]"},
  };
  for (const auto& shape : shapes) {
    SCOPED_TRACE(shape.what);
    const int perLevel = shape.open.size() > 1 && shape.open[0] == '[' ? 2 : 1;
    std::string error;
    const Value deepest = Value::parseJSON(nested(shape.open, shape.close, 512 / perLevel), true, &error);
    EXPECT_FALSE(deepest.isNil()) << error;
    for (const int levels : {512 / perLevel + 1, 100000}) {
      error.clear();
      EXPECT_TRUE(Value::parseJSON(nested(shape.open, shape.close, levels), true, &error).isNil()) << levels;
      EXPECT_NE(error.find("nesting too deep"), std::string::npos) << levels << ": " << error;
    }
  }
}

// `open`, then elements made by `element` until the text reaches `bytes`, then `close`.
std::string filled(char open, const std::function<std::string(int)>& element, size_t bytes, char close) {
  std::string text(1, open);
  for (int i = 0; text.size() < bytes; ++i) text += (i ? "," : "") + element(i);
  return text + close;
}

// An events reply as the cloud sends one: identifier, time, type, source, category and clip.
std::string eventsPage(size_t bytes) {
  static const char* kTypes[] = {"vmdDetected", "pirDetected", "audioDetected", "personDetected"};
  return "{\"events\":" + filled('[', [](int i) {
    const std::string id = std::to_string(2000000 - i);
    return "{\"eventId\":" + id + ",\"timestamp\":\"2021-03-28T08:" + std::to_string(10 + i % 50) + ":30.000+00:00\"," +
           "\"type\":\"" + kTypes[i % 4] + "\",\"source\":{\"sourceId\":4711,\"type\":\"camera\"}," +
           (i % 3 ? "\"category\":\"adult\"," : "") + "\"streamUrls\":{\"mp4Https\":\"https://127.0.0.1:8443/media/clips/" + id +
           ".mp4\"}}";
  }, bytes, ']') + "}";
}

// Pages of many tiny values, whose trees cost 10 to 30 times their text.
const std::vector<std::pair<const char*, std::function<std::string(int)>>> kDenseShapes = {
    {"[0,...]", [](int) { return "0"; }},
    {"[[],...]", [](int) { return "[]"; }},
    {"[\"\",...]", [](int) { return "\"\""; }},
    {"[[0],...]", [](int) { return "[0]"; }},
    {"[{\"a\":0},...]", [](int) { return "{\"a\":0}"; }},
    {"[\"a\",\"b\",...]", [](int i) { return i % 2 ? "\"b\"" : "\"a\""; }},
};

TEST(JSONReaderDensity, HostileShapesOfAMegabyteAreRefusedWithTheReason) {
  std::vector<std::pair<std::string, std::string>> texts;
  for (const auto& [label, element] : kDenseShapes) texts.emplace_back(label, filled('[', element, 1000000, ']'));
  texts.emplace_back("{\"k1\":0,...}", filled('{', [](int i) { return "\"k" + std::to_string(i) + "\":0"; }, 1000000, '}'));
  texts.emplace_back("{\"x\":[[0],...]}", "{\"x\":" + filled('[', [](int) { return "[0]"; }, 1000000, ']') + "}");
  for (const auto& [label, text] : texts) {
    std::string error;
    EXPECT_TRUE(Value::parseJSON(text, false, &error).isNil()) << label;
    EXPECT_NE(error.find("JSON too dense"), std::string::npos) << label << ": " << error;
  }
}

TEST(JSONReaderDensity, ARealEventsPageOfTheSameSizeIsReadWhole) {
  const std::string text = eventsPage(1000000);
  const size_t events = static_cast<size_t>(std::count(text.begin(), text.end(), '{') / 3);
  std::string error;
  const Value page = Value::parseJSON(text, false, &error);
  ASSERT_TRUE(page.isDictionary()) << error;
  ASSERT_EQ(page["events"].count(), events);
  const Value last = page["events"][events - 1];
  EXPECT_EQ(last["eventId"].integerValue(), 2000000 - static_cast<int64_t>(events) + 1);
  EXPECT_EQ(last.valueForKeyPath("source.type").stringValue(), "camera");
  EXPECT_EQ(last.valueForKeyPath("streamUrls.mp4Https").stringValue(),
            "https://127.0.0.1:8443/media/clips/" + std::to_string(last["eventId"].integerValue()) + ".mp4");
}

TEST(JSONReaderDensity, SmallDocumentsOfTinyValuesAreNeverRefused) {
  for (const auto& [label, element] : kDenseShapes) {
    const Value small = parse(filled('[', element, 2000, ']'));
    EXPECT_TRUE(small.isArray()) << label;
    EXPECT_GT(small.count(), 200u) << label;
  }
  // Escaped strings decode into no more than their quoted text.
  const Value escaped = parse(filled('[', [](int) { return "\"\\u00e9\\n\\u0041\\ud83d\\ude00 and some plain text\""; }, 4000, ']'));
  ASSERT_TRUE(escaped.isArray());
  EXPECT_EQ(escaped[size_t{0}].stringValue(), "\xC3\xA9\nA\xF0\x9F\x98\x80 and some plain text");
}

// Sorting a dictionary of more than a few members borrows a buffer of half its entries, so large
// dictionaries nested in another need that much more than their tree: a text padded to fall
// between the two bounds is refused, and one just over the larger bound is read whole.
TEST(JSONReaderDensity, TheSortOfALargeDictionaryCountsTowardsTheBound) {
  using Entry = ValueDictionary::value_type;
  const struct {
    size_t dictionaries, members;
  } shapes[] = {{1, 30000}, {4, 12000}};
  for (const auto& shape : shapes) {
    SCOPED_TRACE(std::to_string(shape.dictionaries) + " x " + std::to_string(shape.members));
    // {"d0":{"0":0,"1":0,...},"d1":{...},...}: keys short enough to need no allocation of their own.
    std::string text = "{";
    for (size_t d = 0; d < shape.dictionaries; ++d) {
      text += (d ? ",\"d" : "\"d") + std::to_string(d) + "\":{";
      for (size_t m = 0; m < shape.members; ++m) text.append(m ? ",\"" : "\"").append(std::to_string(m)).append("\":0");
      text += "}";
    }
    text += "}";
    // The members gather on one stack (grown by half from 16 entries) and each nested dictionary
    // is copied out of it exactly; the last one's sort then borrows half of its entries on top.
    size_t stack = 0;
    while (stack < shape.dictionaries + shape.members) stack = std::max<size_t>(16, stack + stack / 2);
    const size_t tree = (stack + shape.dictionaries * shape.members) * sizeof(Entry);
    const size_t sortBuffer = (shape.members + 1) / 2 * sizeof(Entry);
    const size_t slack = 64 * 1024;  // malloc's rounding and the containers' own blocks, with room
    ASSERT_GT(sortBuffer / 2, slack);
    // The text, padded with trailing spaces until the bound (8 bytes per byte of text plus 512 KiB)
    // allows `held` bytes.
    auto allowing = [&](size_t held) {
      const size_t length = (held - 512 * 1024 + 7) / 8;
      EXPECT_GT(length, text.size());
      return text + std::string(length - std::min(length, text.size()), ' ');
    };

    std::string error;
    const Value refused = Value::parseJSON(allowing(tree + sortBuffer / 2), false, &error);
    EXPECT_TRUE(refused.isNil());
    EXPECT_NE(error.find("JSON too dense"), std::string::npos) << error;

    error.clear();
    const Value read = Value::parseJSON(allowing(tree + sortBuffer + slack), false, &error);
    ASSERT_TRUE(read.isDictionary()) << error;
    ASSERT_EQ(read.count(), shape.dictionaries);
    const Value last = read["d" + std::to_string(shape.dictionaries - 1)];
    EXPECT_EQ(last.count(), shape.members);
    EXPECT_EQ(last[std::to_string(shape.members - 1)].integerValue(), 0);
  }
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

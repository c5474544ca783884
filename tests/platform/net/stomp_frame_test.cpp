// The STOMP frame parser: frames as a peer sends them (escaped headers, bodies with NULs under a
// content-length, several per message, split anywhere, heart-beats between) and as a hostile
// peer sends them (too large, malformed).
#include <gtest/gtest.h>

#include "platform/net/stomp_frame.h"

namespace dk::platform {
namespace {

std::vector<StompFrame> parseAll(StompFrameParser& parser, std::string_view bytes) {
  std::vector<StompFrame> frames;
  EXPECT_TRUE(parser.feed(bytes, frames)) << parser.error();
  return frames;
}

const std::string kMessage =
    "MESSAGE\ndestination:/exchange/devicekeeper/777.cameras.123.events_v24\nsubscription:sub-0\n"
    "message-id:7\ncontent-length:16\n\n{\"cameraId\":123}" + std::string(1, '\0');

TEST(StompFrameParserTest, ReadsAMessageWithItsHeadersAndBody) {
  StompFrameParser parser;
  auto frames = parseAll(parser, kMessage);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].command, "MESSAGE");
  EXPECT_EQ(frames[0].header("destination"), "/exchange/devicekeeper/777.cameras.123.events_v24");
  EXPECT_EQ(frames[0].header("subscription"), "sub-0");
  EXPECT_EQ(frames[0].body, R"({"cameraId":123})");
  EXPECT_EQ(frames[0].header("absent"), std::nullopt);
  EXPECT_EQ(parser.buffered(), 0u);
}

TEST(StompFrameParserTest, UnescapesHeadersExceptInConnected) {
  StompFrameParser parser;
  const std::string wire = std::string("MESSAGE\nkey\\cpart:a\\nb\\\\c\\rd\n\nx") + '\0' +
                           "CONNECTED\nserver:name\\c1\n\n" + '\0';
  auto frames = parseAll(parser, wire);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].header("key:part"), "a\nb\\c\rd");
  EXPECT_EQ(frames[1].header("server"), "name\\c1");  // CONNECTED headers are taken literally
}

TEST(StompFrameParserTest, TheFirstOfRepeatedHeadersCounts) {
  StompFrameParser parser;
  auto frames = parseAll(parser, std::string("MESSAGE\nfoo:first\nfoo:second\n\n") + '\0');
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].header("foo"), "first");
  EXPECT_EQ(frames[0].headers.size(), 2u);
}

TEST(StompFrameParserTest, AContentLengthBodyMayHoldNuls) {
  StompFrameParser parser;
  const std::string body("a\0b\0c", 5);
  auto frames = parseAll(parser, "MESSAGE\ncontent-length:5\n\n" + body + std::string(1, '\0'));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].body, body);
}

TEST(StompFrameParserTest, SeveralFramesInOneMessageWithEndOfLinesBetween) {
  StompFrameParser parser;
  auto frames = parseAll(parser, kMessage + "\n\r\n" + kMessage + "\n" + kMessage);
  EXPECT_EQ(frames.size(), 3u);
  EXPECT_EQ(parser.heartbeats(), 3u);
}

TEST(StompFrameParserTest, AFrameSplitAtEveryByteIsReadOnce) {
  StompFrameParser parser;
  const std::string wire = "\n" + kMessage + "\r\n" + kMessage;
  std::vector<StompFrame> frames;
  for (char c : wire) ASSERT_TRUE(parser.feed(std::string_view(&c, 1), frames));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].body, R"({"cameraId":123})");
  EXPECT_EQ(frames[1].header("message-id"), "7");
  EXPECT_EQ(parser.heartbeats(), 2u);
}

TEST(StompFrameParserTest, HeartBeatsAloneYieldNoFrame) {
  StompFrameParser parser;
  auto frames = parseAll(parser, "\n\n\r\n");
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(parser.heartbeats(), 3u);
}

TEST(StompFrameParserTest, AFrameLargerThanTheLimitIsRefusedWithoutBufferingIt) {
  StompFrameParser parser(1024);
  std::vector<StompFrame> frames;
  ASSERT_TRUE(parser.feed("MESSAGE\ndestination:x\n\n", frames));
  bool ok = true;
  for (int i = 0; i < 100 && ok; ++i) ok = parser.feed(std::string(64, 'a'), frames);
  EXPECT_FALSE(ok);
  EXPECT_NE(parser.error().find("exceeds 1024"), std::string::npos) << parser.error();
  EXPECT_EQ(parser.buffered(), 0u);
  // Once failed, it stays failed.
  EXPECT_FALSE(parser.feed(kMessage, frames));
  EXPECT_TRUE(frames.empty());
}

TEST(StompFrameParserTest, TheDefaultLimitIsOneMebibyte) {
  StompFrameParser parser;
  std::vector<StompFrame> frames;
  const std::string body(1024 * 1024 - 100, 'x');
  EXPECT_TRUE(parser.feed("MESSAGE\n\n" + body + std::string(1, '\0'), frames));
  EXPECT_EQ(frames.size(), 1u);
  EXPECT_FALSE(parser.feed("MESSAGE\n\n" + body + body, frames));
}

TEST(StompFrameParserTest, AWholeFrameOverTheLimitIsRefusedEvenWhenItArrivesAtOnce) {
  StompFrameParser parser(1024);
  std::vector<StompFrame> frames;
  EXPECT_FALSE(parser.feed("MESSAGE\n\n" + std::string(2000, 'x') + std::string(1, '\0'), frames));
  EXPECT_TRUE(frames.empty());
}

TEST(StompFrameParserTest, AContentLengthPastTheLimitIsRefusedAtOnce) {
  StompFrameParser parser;
  std::vector<StompFrame> frames;
  EXPECT_FALSE(parser.feed("MESSAGE\ncontent-length:99999999\n\n", frames));
  EXPECT_FALSE(parser.error().empty());
}

TEST(StompFrameParserTest, MalformedInputIsAnErrorNotACrash) {
  const std::vector<std::string> bad = {
      std::string("MESSAGE\nno-colon-here\n\nx") + '\0',
      std::string("MESSAGE\n:empty-name\n\nx") + '\0',
      std::string("MESSAGE\nbad:escape\\t\n\nx") + '\0',
      std::string("MESSAGE\nbad:trailing\\\n\nx") + '\0',
      std::string("MESSAGE\ncontent-length:abc\n\nx") + '\0',
      std::string("MESSAGE\ncontent-length:1\n\nxy") + '\0',
      std::string("message\n\nx") + '\0',
      std::string("\x01\x02\n\n") + '\0',
      std::string("\rX"),
  };
  for (const auto& wire : bad) {
    StompFrameParser parser;
    std::vector<StompFrame> frames;
    EXPECT_FALSE(parser.feed(wire, frames)) << "accepted: " << wire;
    EXPECT_TRUE(parser.failed());
    EXPECT_TRUE(frames.empty());
  }
}

TEST(StompFrameParserTest, FramesBeforeAFaultAreStillDelivered) {
  StompFrameParser parser;
  std::vector<StompFrame> frames;
  EXPECT_FALSE(parser.feed(kMessage + "MESSAGE\nbroken\n\n" + std::string(1, '\0'), frames));
  EXPECT_EQ(frames.size(), 1u);
}

TEST(StompFrameTest, SerializedFramesParseBackEqual) {
  StompFrame frame{"SEND", {{"destination", "/queue/a:b"}, {"note", "line1\nline2\\"}}, "body\0with nul"};
  frame.body = std::string("body\0with nul", 13);
  StompFrameParser parser;
  auto frames = parseAll(parser, frame.serialize());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].command, "SEND");
  EXPECT_EQ(frames[0].header("destination"), "/queue/a:b");
  EXPECT_EQ(frames[0].header("note"), "line1\nline2\\");
  EXPECT_EQ(frames[0].header("content-length"), "13");
  EXPECT_EQ(frames[0].body, frame.body);
}

TEST(StompFrameTest, ConnectHeadersAreWrittenLiterally) {
  StompFrame frame{"CONNECT", {{"host", "127.0.0.1"}, {"heart-beat", "10000,10000"}}, {}};
  EXPECT_EQ(frame.serialize(), std::string("CONNECT\nhost:127.0.0.1\nheart-beat:10000,10000\n\n") + '\0');
}

}  // namespace
}  // namespace dk::platform

// A reply's header block as the transport hands it over line by line: what a caller finally sees
// of status, fields and announced length, and which replies are refused by their announced size.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>

#include "platform/net/http_header_block.h"

namespace dk::platform {
namespace {

constexpr int64_t kLimit = 1000;

// Feeds the lines; false as soon as one is refused.
bool feed(HttpHeaderBlock& block, std::initializer_list<std::string_view> lines, int64_t limit = kLimit) {
  for (std::string_view line : lines) {
    if (!block.add(HttpHeaderBlock::parseLine(line), limit)) return false;
  }
  return true;
}

TEST(HttpHeaderBlockTest, StatusFieldsAndLengthOfTheLastReplyAreKept) {
  HttpHeaderBlock block;
  ASSERT_TRUE(feed(block, {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 302 Found\r\n", "location: /next\r\n",
                           "Content-Length: 5000\r\n", "\r\n", "HTTP/2 200\r\n", "content-type:  application/json \r\n",
                           "link: <a>; rel=\"next\"\r\n", "Link: <b>\r\n", "Content-Length: 42\r\n", "\r\n"}));
  ASSERT_NE(block.response(), nullptr);
  EXPECT_EQ(block.status(), 200);
  EXPECT_EQ(block.response()->statusCode, 200);
  EXPECT_EQ(block.expectedLength(), 42);
  const HeaderMap& headers = block.response()->headers;
  EXPECT_EQ(headers.count("Location"), 0u);  // the redirect's fields went with it
  ASSERT_EQ(headers.count("Content-Type"), 1u);
  EXPECT_EQ(headers.find("Content-Type")->first, "Content-Type");
  EXPECT_EQ(headers.at("Content-Type"), "application/json");
  EXPECT_EQ(headers.at("Link"), "<a>; rel=\"next\", <b>");
}

TEST(HttpHeaderBlockTest, FieldsBeforeAnyStatusLineAreIgnored) {
  HttpHeaderBlock block;
  ASSERT_TRUE(feed(block, {"Content-Length: 99999\r\n", "X: y\r\n"}));
  EXPECT_EQ(block.response(), nullptr);
  EXPECT_EQ(block.expectedLength(), -1);
}

TEST(HttpHeaderBlockTest, StatusThatIsNotThreeDigitsReadsAsZero) {
  for (std::string_view line : {"HTTP/1.1 -12 Odd\r\n", "HTTP/1.1 2x0 OK\r\n", "HTTP/1.1\r\n", "HTTP/1.1 20\r\n",
                                "HTTP/1.1 2000 OK\r\n", "HTTP/1.1 +20 OK\r\n"}) {
    HttpHeaderBlock block;
    ASSERT_TRUE(feed(block, {line}));
    EXPECT_EQ(block.status(), 0) << line;
  }
  HttpHeaderBlock block;
  ASSERT_TRUE(feed(block, {"HTTP/1.0 404\r\n"}));
  EXPECT_EQ(block.status(), 404);
}

TEST(HttpHeaderBlockTest, AnnouncedLengthOverTheLimitIsRefusedUnlessTheReplyIsARedirect) {
  HttpHeaderBlock ok;
  EXPECT_TRUE(feed(ok, {"HTTP/1.1 200 OK\r\n", "Content-Length: 1000\r\n"}));
  HttpHeaderBlock over;
  EXPECT_FALSE(feed(over, {"HTTP/1.1 200 OK\r\n", "Content-Length: 1001\r\n"}));
  HttpHeaderBlock error;
  EXPECT_FALSE(feed(error, {"HTTP/1.1 500 Oops\r\n", "Content-Length: 1001\r\n"}));
  HttpHeaderBlock redirect;
  EXPECT_TRUE(feed(redirect, {"HTTP/1.1 301 Moved\r\n", "Content-Length: 1000000\r\n"}));
  // Too large for any number is over every limit, not a wrapped or saturated guess.
  HttpHeaderBlock huge;
  EXPECT_FALSE(feed(huge, {"HTTP/1.1 200 OK\r\n", "Content-Length: 99999999999999999999999\r\n"},
                    INT64_MAX - 1));
}

TEST(HttpHeaderBlockTest, LengthThatIsNotAPlainNumberIsUnknown) {
  for (std::string_view line : {"Content-Length: -5\r\n", "Content-Length: 12abc\r\n", "Content-Length:\r\n",
                                "Content-Length: +7\r\n", "Content-Length: 1 2\r\n"}) {
    HttpHeaderBlock block;
    ASSERT_TRUE(feed(block, {"HTTP/1.1 200 OK\r\n", line}));
    EXPECT_EQ(block.expectedLength(), -1) << line;
  }
}

}  // namespace
}  // namespace dk::platform

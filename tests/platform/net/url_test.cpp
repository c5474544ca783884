#include <gtest/gtest.h>

#include "platform/net/url.h"

namespace dk::platform {
namespace {

TEST(QueryString, KeysAreSortedAndBothSidesPercentEncoded) {
  const Value parameters(ValueDictionary{
      {"sortByRecordingIdOrder", Value("desc")},
      {"maxTimestamp", Value("2024-01-01T10:00:00.000+01:00")},
      {"limit", Value(100)},
  });
  EXPECT_EQ(queryStringFromParameters(parameters),
            "limit=100&maxTimestamp=2024-01-01T10%3A00%3A00.000%2B01%3A00&sortByRecordingIdOrder=desc");
}

TEST(QueryString, NilIsSkippedNullGivesTheBareKeyAndCollectionsNest) {
  const Value parameters(ValueDictionary{
      {"absent", Value()},
      {"empty", Value::null()},
      {"ids", Value(ValueArray{Value(1), Value(2)})},
      {"filter", Value(ValueDictionary{{"b", Value(true)}, {"a", Value("x y")}})},
  });
  EXPECT_EQ(queryStringFromParameters(parameters), "empty&filter%5Ba%5D=x%20y&filter%5Bb%5D=1&ids%5B%5D=1&ids%5B%5D=2");
}

TEST(PercentEscape, KeepsOnlyUnreservedSlashAndQuestionMark) {
  EXPECT_EQ(percentEscape("aZ09-._~/?"), "aZ09-._~/?");
  EXPECT_EQ(percentEscape("!*'();:@&=+$,#[] %"), "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%23%5B%5D%20%25");
  EXPECT_EQ(percentEscape("é"), "%C3%A9");
}

TEST(PercentDecode, RoundTripsAndLeavesMalformedEscapesAlone) {
  EXPECT_EQ(percentDecode(percentEscape("2024-01-01T10:00:00.000+01:00")), "2024-01-01T10:00:00.000+01:00");
  EXPECT_EQ(percentDecode("100%"), "100%");
  EXPECT_EQ(percentDecode("%zz%4"), "%zz%4");
  EXPECT_EQ(percentDecode("a+b"), "a+b");
}

TEST(ResolveURL, RelativePathsWithAndWithoutLeadingSlashMeetUnderABaseWithoutPath) {
  EXPECT_EQ(resolveURL("https://cloud.example:443", "rest/v2.0/ping"), "https://cloud.example:443/rest/v2.0/ping");
  EXPECT_EQ(resolveURL("https://cloud.example:443", "/rest/v2.0/ping"), "https://cloud.example:443/rest/v2.0/ping");
  EXPECT_EQ(resolveURL("https://cloud.example:443/", "rest/v2.4/events/5.jpg"),
            "https://cloud.example:443/rest/v2.4/events/5.jpg");
}

TEST(ResolveURL, AbsoluteReferencesQueriesAndDotSegments) {
  EXPECT_EQ(resolveURL("https://a:1", "https://b:2/x?y=1"), "https://b:2/x?y=1");
  EXPECT_EQ(resolveURL("https://a:1/base/dir/", "../up?q=1"), "https://a:1/base/up?q=1");
  EXPECT_EQ(resolveURL("https://a:1/p", "//other/z"), "https://other/z");
  EXPECT_EQ(resolveURL("https://a:1", "/rest/v2.3/events?cameraIds=7"), "https://a:1/rest/v2.3/events?cameraIds=7");
  EXPECT_EQ(resolveURL("", "relative"), "relative");
}

// RFC 3986's own examples of resolving references (5.4.1 normal, 5.4.2 abnormal) against its base.
TEST(ResolveURL, GivesTheStandardsOwnExamples) {
  const struct {
    const char* reference;
    const char* resolved;
  } rows[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      // Abnormal: more ".." than the path has, dots that are not segments, dots in a query or
      // fragment, and a scheme-relative reference read strictly.
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(resolveURL("http://a/b/c/d;p?q", row.reference), row.resolved) << "\"" << row.reference << "\"";
  }
}

// A CDN's signed segment addresses: the query comes through byte for byte, escapes and all.
TEST(ResolveURL, KeepsASignedQueryByteForByte) {
  const std::string base = "https://cdn.example:8443/live/cam-2/720p/index.m3u8?Expires=1&Signature=x%2Fy";
  EXPECT_EQ(resolveURL(base, "index3.ts?Expires=1700000000&Signature=AbC9%2Bx~yZ_-q&Key-Pair-Id=K%3D"),
            "https://cdn.example:8443/live/cam-2/720p/index3.ts?Expires=1700000000&Signature=AbC9%2Bx~yZ_-q&Key-Pair-Id=K%3D");
  EXPECT_EQ(resolveURL(base, "../audio/./init.mp4?a=%2E%2E%2F&b=..%2F"),
            "https://cdn.example:8443/live/cam-2/audio/init.mp4?a=%2E%2E%2F&b=..%2F");
  // An escaped dot is not a dot segment.
  EXPECT_EQ(resolveURL(base, "%2E%2E/x.ts"), "https://cdn.example:8443/live/cam-2/720p/%2E%2E/x.ts");
}

TEST(ParseURL, SplitsHostPortPathAndQuery) {
  auto parts = parseURL("HTTPS://User@host.example:8443/a/b?x=1#frag");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->scheme, "https");
  EXPECT_EQ(parts->host, "host.example");
  EXPECT_EQ(parts->port, 8443);
  EXPECT_EQ(parts->path, "/a/b");
  EXPECT_EQ(parts->query, "x=1");
  EXPECT_EQ(parts->fragment, "frag");
  EXPECT_FALSE(parseURL("/no/scheme"));
  auto v6 = parseURL("http://[::1]:80/");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->host, "[::1]");
  EXPECT_EQ(v6->port, 80);
}

TEST(QueryItems, DecodesValuesOfANextPageLink) {
  const auto items = queryItems(
      "https://h:443/rest/v2.4/events?maxTimestamp=2024-01-01T10%3A00%3A00.000%2B01%3A00&limit=200&flag");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].first, "maxTimestamp");
  EXPECT_EQ(items[0].second, "2024-01-01T10:00:00.000+01:00");
  EXPECT_EQ(items[1], (std::pair<std::string, std::string>{"limit", "200"}));
  EXPECT_EQ(items[2], (std::pair<std::string, std::string>{"flag", ""}));
}

}  // namespace
}  // namespace dk::platform

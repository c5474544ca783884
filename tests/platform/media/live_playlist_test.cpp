// Reading a live playlist: what a player takes from it (in the shapes packagers write: ffmpeg's
// date-times, EVENT playlists, fMP4 with an initialisation section, absolute addresses), the
// playlists it must refuse before fetching anything (plain http, other schemes, encryption,
// variants, sizes), and the live time of playlists without dates.
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

#include "platform/media/live/live_playlist.h"

namespace dk::platform {
namespace {

// Where the camera's playlist is fetched from, and the folder its addresses are relative to.
constexpr const char* kPlaylistURL = "https://cloud.example/media/cameras/2/live/index.m3u8";
const std::string kFolder = "https://cloud.example/media/cameras/2/live/";

std::optional<LivePlaylist> parse(std::string_view text, std::string* why = nullptr) {
  return parseLivePlaylist(text, kPlaylistURL, why);
}

TEST(LivePlaylistTest, ReadsSegmentsWithTheirSequenceLengthAndStartTime) {
  const char* text =
      "#EXTM3U\r\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:41\n"
      "#EXT-X-PROGRAM-DATE-TIME:2023-11-14T22:13:18.000Z\n#EXTINF:2.000,\n41.ts\n"
      "#EXTINF:1.5,title\n42.ts\n"  // no date-time: carried on from the one before
      "#EXT-X-PROGRAM-DATE-TIME:2023-11-14T23:13:30.500+01:00\n#EXTINF:2,\n43.ts\n";
  std::string why;
  const auto playlist = parse(text, &why);
  ASSERT_TRUE(playlist) << why;
  EXPECT_DOUBLE_EQ(playlist->targetDuration, 2.0);
  ASSERT_EQ(playlist->segments.size(), 3u);
  EXPECT_EQ(playlist->segments[0].sequence, 41);
  EXPECT_EQ(playlist->segments[2].sequence, 43);
  EXPECT_EQ(playlist->segments[1].name, kFolder + "42.ts");
  EXPECT_DOUBLE_EQ(playlist->segments[0].startTime, 1699999998.0);
  EXPECT_DOUBLE_EQ(playlist->segments[1].startTime, 1700000000.0);
  EXPECT_DOUBLE_EQ(playlist->segments[1].duration, 1.5);
  EXPECT_DOUBLE_EQ(playlist->segments[2].startTime, 1700000010.5);
  EXPECT_FALSE(playlist->ended);
}

TEST(LivePlaylistTest, RefusesWhatWouldLeadElsewhereOrCannotBeBounded) {
  const std::string head = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
  for (const std::string& bad : {
           head + "#EXTINF:2,\nhttp://elsewhere.example/1.ts\n",  // in the clear
           head + "#EXTINF:2,\nhttps://name@elsewhere.example/1.ts\n",
           head + "#EXTINF:2,\nhttp:1.ts\n",  // a scheme of its own, however relative it looks
           head + "#EXTINF:2,\n//name@elsewhere.example/1.ts\n",
           head + "#EXTINF:2,\nfile:///etc/passwd\n",
           head + "#EXTINF:2,\n/media/cameras/2/live/1 .ts\n",
           head + "#EXTINF:2,\n1.ts#fragment\n",
           head + "#EXTINF:2,\n/" + std::string(LivePlaylist::kMaxAddressLength, 'a') + "\n",
           head + "#EXT-X-KEY:METHOD=AES-128,URI=\"file:///etc/passwd\"\n#EXTINF:2,\n1.ts\n",
           head + "#EXT-X-STREAM-INF:BANDWIDTH=1\nother.m3u8\n",
           head + "#EXT-X-MAP:URI=\"http://elsewhere.example/init.mp4\"\n#EXTINF:2,\n1.m4s\n",
           head + "#EXT-X-MAP:BYTERANGE=\"720@0\"\n#EXTINF:2,\n1.m4s\n",
           head + "#EXT-X-MAP:URI=\"init.mp4\",BYTERANGE=\"0@0\"\n#EXTINF:2,\n1.m4s\n",
           head + "#EXTINF:2,\n#EXT-X-BYTERANGE:1000\n1.ts\n",  // no offset, and no range before
           head + "#EXTINF:2,\n#EXT-X-BYTERANGE:1000@0\n1.ts\n#EXTINF:2,\n#EXT-X-BYTERANGE:1000\n2.ts\n",
           head + "#EXTINF:2,\n#EXT-X-BYTERANGE:-5@0\n1.ts\n",
           head + "#EXTINF:2,\n#EXT-X-BYTERANGE:1000@9223372036854775000\n1.ts\n",
           head + "#EXT-X-MAP:URI=\"init.mp4\",BYTERANGE=\"1000@9223372036854775000\"\n#EXTINF:2,\n1.m4s\n",
           head + "1.ts\n",                          // no length
           head + "#EXTINF:3600,\n1.ts\n",           // a length no live segment has
           head + "#EXTINF:nan,\n1.ts\n",
           std::string("#EXTINF:2,\n1.ts\n"),        // no header
           std::string("#EXTM3U\n#EXTINF:2,\n1.ts\n"),  // no target duration
           "#EXTM3U\n" + std::string(LivePlaylist::kMaxBytes, '#'),
       }) {
    std::string why;
    EXPECT_FALSE(parse(bad, &why)) << bad.substr(0, 120);
    EXPECT_FALSE(why.empty());
  }
}

// Addresses as CDNs and media servers write them, relative to the playlist's own URL (a query,
// escapes, dot segments, another host): each segment and initialisation section is fetched at
// the URL it resolves to, its query byte for byte; what resolves off https is refused.
TEST(LivePlaylistTest, ResolvesEveryAddressAgainstThePlaylistsOwnURL) {
  const std::string signedQuery = "?Expires=1700000000&Signature=AbC9%2Bx~yZ_-q&Key-Pair-Id=K2%3D";
  const struct {
    const char* written;
    std::optional<std::string> url;  // nullopt: refused
  } rows[] = {
      {"index3.ts?Expires=1700000000&Signature=AbC9%2Bx~yZ_-q&Key-Pair-Id=K2%3D", kFolder + "index3.ts" + signedQuery},
      {"./index3.ts", kFolder + "index3.ts"},
      {"sub/1.ts", kFolder + "sub/1.ts"},
      {"../live/./x/../index4.ts?a=%2F..%2F", kFolder + "index4.ts?a=%2F..%2F"},
      {"../../recordings/5001.mp4", "https://cloud.example/media/cameras/recordings/5001.mp4"},
      {"../../../../../../1.ts", "https://cloud.example/1.ts"},
      {".hidden.ts", kFolder + ".hidden.ts"},
      {"/media/cameras/2/live/index5.ts?sig=1", "https://cloud.example/media/cameras/2/live/index5.ts?sig=1"},
      {"//cdn.example:8443/live/index6.ts?sig=a%2Fb", "https://cdn.example:8443/live/index6.ts?sig=a%2Fb"},
      {"https://cdn.example/live/index7.ts", "https://cdn.example/live/index7.ts"},
      {"http://cdn.example/live/index7.ts", std::nullopt},
      {"http:index7.ts", std::nullopt},
      {"//user@cdn.example/index7.ts", std::nullopt},
      {"index 7.ts", std::nullopt},
      {"index7.ts#t=1", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.written);
    for (const bool map : {false, true}) {
      const std::string text =
          "#EXTM3U\n#EXT-X-TARGETDURATION:2\n" +
          (map ? "#EXT-X-MAP:URI=\"" + std::string(row.written) + "\"\n#EXTINF:2,\nindex0.m4s\n"
               : "#EXTINF:2,\n" + std::string(row.written) + "\n");
      std::string why;
      const auto playlist = parse(text, &why);
      ASSERT_EQ(playlist.has_value(), row.url.has_value()) << why;
      if (playlist) {
        EXPECT_EQ(map ? playlist->segments[0].map : playlist->segments[0].name, *row.url);
      }
    }
  }
  // A playlist moved elsewhere (another variant's folder, a redirect) resolves from there.
  const auto moved = parseLivePlaylist("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n../360p/index9.ts\n",
                                       "https://cdn.example/live/720p/index.m3u8?token=1");
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->segments[0].name, "https://cdn.example/live/360p/index9.ts");
  // The URL an address resolves to is bounded as well as the address.
  const std::string longBase = "https://cdn.example/" + std::string(LivePlaylist::kMaxURLLength - 30, 'a') + "/index.m3u8";
  EXPECT_TRUE(resolveLiveAddress(longBase, "1.ts"));
  EXPECT_FALSE(resolveLiveAddress(longBase, std::string(20, 'b') + ".ts"));
}

// ffmpeg's own forms: its date-times ("+0000"), fMP4 with an initialisation section, and
// addresses under a base URL or an absolute path, as its hls muxer writes them.
TEST(LivePlaylistTest, ReadsThePlaylistsPackagersWrite) {
  const char* fragmented =
      "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:7\n"
      "#EXT-X-MAP:URI=\"init.mp4\"\n"
      "#EXT-X-PROGRAM-DATE-TIME:2026-12-08T06:30:43.432+0000\n#EXTINF:2.000000,\nindex7.m4s\n"
      "#EXT-X-PROGRAM-DATE-TIME:2026-12-08T06:30:45.432+0000\n#EXTINF:2.000000,\n"
      "https://cdn.example/live/index8.m4s?sig=a%2Fb&exp=1\n"
      "#EXT-X-MAP:URI=\"/media/cameras/2/live/init-2.mp4\"\n"
      "#EXT-X-PROGRAM-DATE-TIME:2026-12-08T06:30:47.432+0000\n#EXTINF:1.500000,\n/media/cameras/2/live/index9.m4s\n";
  std::string why;
  const auto playlist = parse(fragmented, &why);
  ASSERT_TRUE(playlist) << why;
  ASSERT_EQ(playlist->segments.size(), 3u);
  const double first = 1796711443.432;  // 2026-12-08T06:30:43.432Z
  const struct {
    int64_t sequence;
    double start;
    const char* name;
    const char* map;
  } expected[] = {
      {7, first, "index7.m4s", "init.mp4"},
      {8, first + 2, "https://cdn.example/live/index8.m4s?sig=a%2Fb&exp=1", "init.mp4"},
      {9, first + 4, "/media/cameras/2/live/index9.m4s", "/media/cameras/2/live/init-2.mp4"},
  };
  const auto absolute = [](const std::string& address) {
    return address.starts_with("https:") ? address
           : address.starts_with("/")   ? "https://cloud.example" + address
                                        : kFolder + address;
  };
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const auto& segment = playlist->segments[i];
    EXPECT_EQ(segment.sequence, expected[i].sequence);
    EXPECT_TRUE(segment.dated);
    EXPECT_NEAR(segment.startTime, expected[i].start, 1e-6);
    EXPECT_EQ(segment.name, absolute(expected[i].name));
    EXPECT_EQ(segment.map, absolute(expected[i].map));
  }
  // MPEG-TS segments name no initialisation section.
  const auto plain = parse("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.000000,\nindex0.ts\n");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->segments[0].map, "");
  EXPECT_FALSE(plain->segments[0].dated);
}

// ffmpeg's single_file (one growing file, each segment a byte range of it, a range without an
// offset following the one before in the same file; the initialisation section a range too) and
// a discontinuity (another encoder from that segment on).
TEST(LivePlaylistTest, ReadsByteRangesAndDiscontinuities) {
  const char* text =
      "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:3\n"
      "#EXT-X-MAP:URI=\"index.m4s\",BYTERANGE=\"720@0\"\n"
      "#EXTINF:2.000000,\n#EXT-X-BYTERANGE:35000@720\nindex.m4s\n"
      "#EXTINF:2.000000,\n#EXT-X-BYTERANGE:31000\nindex.m4s\n"
      "#EXT-X-DISCONTINUITY\n#EXTINF:2.000000,\nnext.m4s\n";
  std::string why;
  const auto playlist = parse(text, &why);
  ASSERT_TRUE(playlist) << why;
  ASSERT_EQ(playlist->segments.size(), 3u);
  const struct {
    int64_t offset, length;
    bool discontinuity;
  } expected[] = {{720, 35000, false}, {35720, 31000, false}, {0, -1, true}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const auto& segment = playlist->segments[i];
    EXPECT_EQ(segment.offset, expected[i].offset);
    EXPECT_EQ(segment.length, expected[i].length);
    EXPECT_EQ(segment.discontinuity, expected[i].discontinuity);
    EXPECT_EQ(segment.map, kFolder + "index.m4s");
    EXPECT_EQ(segment.mapOffset, 0);
    EXPECT_EQ(segment.mapLength, 720);
  }
}

TEST(LivePlaylistTest, ReadsEveryOffsetOfADateTimeAndAnUnreadableOneCostsOnlyItsSegmentsDate) {
  const double base = 1796711443.432;  // 2026-12-08T06:30:43.432Z
  const struct {
    const char* text;
    std::optional<double> value;
  } rows[] = {
      {"2026-12-08T06:30:43.432Z", base},
      {"2026-12-08T06:30:43.432z", base},
      {"2026-12-08T06:30:43.432+0000", base},
      {"2026-12-08T06:30:43.432+00:00", base},
      {"2026-12-08T06:30:43.432+00", base},
      {"2026-12-08T07:30:43.432+0100", base},
      {"2026-12-08T07:30:43.432+01", base},
      {"2026-12-08T01:00:43.432-0530", base},
      {"2026-12-08T01:00:43.432-05:30", base},
      {"2026-12-08T06:30:43Z", base - 0.432},
      {"2026-12-08T06:30:43+0000", base - 0.432},
      {"2026-12-08T06:30:43.432", std::nullopt},  // no zone: whose clock?
      {"2026-12-08T06:30:43.432+000", std::nullopt},
      {"2026-12-08T06:30:43.432+00:0", std::nullopt},
      {"2026-12-08T06:30:43.432+2400", std::nullopt},
      {"2026-12-08T06:30:43.432+0060", std::nullopt},
      {"2026-12-08T06:30:43.432 +0000", std::nullopt},
      {"2026-12-08T06:30:43.+0000", std::nullopt},
      {"yesterday", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    const auto value = parseProgramDateTime(row.text);
    ASSERT_EQ(value.has_value(), row.value.has_value());
    if (value) {
      EXPECT_NEAR(*value, *row.value, 1e-6);
    }
  }

  // A date that does not read: that segment's start is carried on from the one before, or counted
  // back from the next one when it is the first; the view goes on.
  const char* text =
      "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:3\n"
      "#EXT-X-PROGRAM-DATE-TIME:tomorrow\n#EXTINF:2.000000,\nindex3.ts\n"
      "#EXT-X-PROGRAM-DATE-TIME:2026-12-08T06:30:43.432+0000\n#EXTINF:2.000000,\nindex4.ts\n"
      "#EXT-X-PROGRAM-DATE-TIME:2026-12-08T06:30:45.432+99:99\n#EXTINF:2.000000,\nindex5.ts\n";
  std::string why;
  const auto playlist = parse(text, &why);
  ASSERT_TRUE(playlist) << why;
  ASSERT_EQ(playlist->segments.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(playlist->segments[i].dated);
    EXPECT_NEAR(playlist->segments[i].startTime, base - 2 + 2.0 * static_cast<double>(i), 1e-6) << i;
  }
}

// An EVENT playlist lists every segment since the stream began: the newest are kept, numbered as
// the playlist numbers them.
TEST(LivePlaylistTest, KeepsTheNewestSegmentsOfALongPlaylist) {
  std::string text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:0\n"
                     "#EXT-X-PLAYLIST-TYPE:EVENT\n";
  const size_t count = 5000;  // nearly three hours of two-second segments
  for (size_t i = 0; i < count; ++i) {
    text += "#EXT-X-PROGRAM-DATE-TIME:2026-12-08T06:30:43.432+0000\n#EXTINF:2.000000,\nindex" +
            std::to_string(i) + ".ts\n";
  }
  ASSERT_LE(text.size(), LivePlaylist::kMaxBytes);
  std::string why;
  const auto playlist = parse(text, &why);
  ASSERT_TRUE(playlist) << why;
  ASSERT_EQ(playlist->segments.size(), LivePlaylist::kMaxSegments);
  EXPECT_EQ(playlist->segments.front().sequence, static_cast<int64_t>(count - LivePlaylist::kMaxSegments));
  EXPECT_EQ(playlist->segments.back().sequence, static_cast<int64_t>(count - 1));
  EXPECT_EQ(playlist->segments.back().name, kFolder + "index" + std::to_string(count - 1) + ".ts");
}

// Without dates, the time goes on from reload to reload by sequence numbers and lengths, anchored
// once at the clock with the newest segment ending there.
TEST(LivePlaylistTest, ATimeLineWithoutDatesCarriesOnAcrossReloadsAndOnlyMovesForward) {
  auto playlist = [](int64_t first, std::vector<double> durations) {
    std::string text = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:" + std::to_string(first) + "\n";
    for (size_t i = 0; i < durations.size(); ++i) {
      text += "#EXTINF:" + std::to_string(durations[i]) + ",\nindex" + std::to_string(first + static_cast<int64_t>(i)) + ".ts\n";
    }
    auto parsed = parse(text);
    EXPECT_TRUE(parsed);
    return parsed.value_or(LivePlaylist{});
  };
  struct Reload {
    const char* what;
    int64_t first;
    std::vector<double> durations;
    double now;
    std::vector<double> starts;
  };
  const Reload reloads[] = {
      {"the view opens: the newest ends now", 10, {2, 2, 1.5}, 1000, {994.5, 996.5, 998.5}},
      {"a reload, read late", 11, {2, 1.5, 2}, 1010, {996.5, 998.5, 1000}},
      {"the same playlist again", 11, {2, 1.5, 2}, 1011, {996.5, 998.5, 1000}},
      {"the reference has left the list", 20, {2, 2}, 1030, {1002 + 6 * 2, 1002 + 6 * 2 + 2}},
  };
  LiveTimeline timeline;
  for (const Reload& reload : reloads) {
    SCOPED_TRACE(reload.what);
    LivePlaylist p = playlist(reload.first, reload.durations);
    timeline.place(p, reload.now);
    ASSERT_EQ(p.segments.size(), reload.starts.size());
    for (size_t i = 0; i < reload.starts.size(); ++i) EXPECT_DOUBLE_EQ(p.segments[i].startTime, reload.starts[i]) << i;
  }
  // A stream that restarts its numbers is anchored anew, never before what was shown.
  timeline.reset();
  LivePlaylist restarted = playlist(0, {2, 2});
  timeline.place(restarted, 1020, 1025);
  EXPECT_DOUBLE_EQ(restarted.segments[1].startTime, 1025);
  EXPECT_DOUBLE_EQ(restarted.segments[0].startTime, 1023);
  // Dated playlists keep their own times.
  auto dated = parse(
      "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-PROGRAM-DATE-TIME:2023-11-14T22:13:20Z\n#EXTINF:2,\n1.ts\n");
  ASSERT_TRUE(dated);
  timeline.place(*dated, 5);
  EXPECT_DOUBLE_EQ(dated->segments[0].startTime, 1700000000.0);
}

// Each bound is taken at its limit and refused just past it.
TEST(LivePlaylistTest, KeepsEachBoundAtItsLimitAndRefusesPastIt) {
  const std::string head = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
  auto segments = [](size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += "#EXTINF:2,\n" + std::to_string(i) + ".ts\n";
    return text;
  };
  auto padded = [&](size_t size) {  // a playlist of exactly `size` bytes
    std::string text = head + segments(1);
    text += std::string(size - text.size() - 1, '#') + "\n";
    return text;
  };
  const int64_t largestSequence = LivePlaylist::kLargestMediaSequence;
  // A byte range `length`@`offset` of a segment, and of an initialisation section.
  const int64_t largestEnd = int64_t{1} << 50;
  auto segmentRange = [&](int64_t length, int64_t offset) {
    return head + "#EXTINF:2,\n#EXT-X-BYTERANGE:" + std::to_string(length) + "@" + std::to_string(offset) + "\n1.ts\n";
  };
  auto mapRange = [&](int64_t length, int64_t offset) {
    return head + "#EXT-X-MAP:URI=\"init.mp4\",BYTERANGE=\"" + std::to_string(length) + "@" + std::to_string(offset) +
           "\"\n#EXTINF:2,\n1.m4s\n";
  };
  struct Row {
    const char* what;
    std::string text;
    bool accepted;
  };
  const Row rows[] = {
      {"a segment's range ending at 2^50", segmentRange(1000, largestEnd - 1000), true},
      {"a segment's range a byte past 2^50", segmentRange(1000, largestEnd - 999), false},
      {"a segment's range of 2^50 bytes", segmentRange(largestEnd, 0), true},
      {"a segment's range of 2^50 + 1 bytes", segmentRange(largestEnd + 1, 0), false},
      {"an initialisation section's range ending at 2^50", mapRange(1000, largestEnd - 1000), true},
      {"an initialisation section's range a byte past 2^50", mapRange(1000, largestEnd - 999), false},
      {"an initialisation section's range whose end overflows", mapRange(1000, 9223372036854775000), false},
      {"an initialisation section's range of 2^50 + 1 bytes", mapRange(largestEnd + 1, 0), false},
      {"1 MiB", padded(LivePlaylist::kMaxBytes), true},
      {"1 MiB and a byte", padded(LivePlaylist::kMaxBytes + 1), false},
      {"a 30 s target", "#EXTM3U\n#EXT-X-TARGETDURATION:30\n" + segments(1), true},
      {"a 30.5 s target", "#EXTM3U\n#EXT-X-TARGETDURATION:30.5\n" + segments(1), false},
      {"a zero target", "#EXTM3U\n#EXT-X-TARGETDURATION:0\n" + segments(1), false},
      {"a 30 s segment", head + "#EXTINF:30,\n1.ts\n", true},
      {"a 30.5 s segment", head + "#EXTINF:30.5,\n1.ts\n", false},
      {"a 2048-character name", head + "#EXTINF:2,\n" + std::string(2045, 'a') + ".ts\n", true},
      {"a 2049-character name", head + "#EXTINF:2,\n" + std::string(2046, 'a') + ".ts\n", false},
      {"a 2048-character path", head + "#EXTINF:2,\n/" + std::string(2047, 'a') + "\n", true},
      {"a 2049-character path", head + "#EXTINF:2,\n/" + std::string(2048, 'a') + "\n", false},
      {"media sequence 0", head + "#EXT-X-MEDIA-SEQUENCE:0\n" + segments(1), true},
      {"a negative media sequence", head + "#EXT-X-MEDIA-SEQUENCE:-1\n" + segments(1), false},
      {"the largest media sequence", head + "#EXT-X-MEDIA-SEQUENCE:" + std::to_string(largestSequence) + "\n" +
                                         segments(LivePlaylist::kMaxSegments * 2), true},
      {"a media sequence whose numbers would overflow",
       head + "#EXT-X-MEDIA-SEQUENCE:" + std::to_string(largestSequence + 1) + "\n" + segments(1), false},
      {"the 64-bit limit", head + "#EXT-X-MEDIA-SEQUENCE:9223372036854775807\n" + segments(2), false},
      {"past the 64-bit limit", head + "#EXT-X-MEDIA-SEQUENCE:9223372036854775808\n" + segments(1), false},
      {"a media sequence after a segment", head + "#EXT-X-MEDIA-SEQUENCE:5\n" + segments(1) + "#EXT-X-MEDIA-SEQUENCE:0\n" +
                                              segments(1), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string why;
    const auto playlist = parse(row.text, &why);
    EXPECT_EQ(playlist.has_value(), row.accepted) << why;
    if (playlist) {
      EXPECT_GE(playlist->segments.back().sequence, playlist->mediaSequence);  // no number wrapped
    } else {
      EXPECT_FALSE(why.empty());
    }
  }
}

}  // namespace
}  // namespace dk::platform

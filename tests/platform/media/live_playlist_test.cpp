// Reading a live playlist: what a player takes from it, and the playlists it must refuse before
// fetching anything (other hosts, paths out of the stream's folder, encryption, variants, sizes).
#include <gtest/gtest.h>

#include <limits>

#include "platform/media/live_playlist.h"

namespace dk::platform {
namespace {

TEST(LivePlaylistTest, ReadsSegmentsWithTheirSequenceLengthAndStartTime) {
  const char* text =
      "#EXTM3U\r\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:41\n"
      "#EXT-X-PROGRAM-DATE-TIME:2023-11-14T22:13:18.000Z\n#EXTINF:2.000,\n41.ts\n"
      "#EXTINF:1.5,title\n42.ts\n"  // no date-time: carried on from the one before
      "#EXT-X-PROGRAM-DATE-TIME:2023-11-14T23:13:30.500+01:00\n#EXTINF:2,\n43.ts\n";
  std::string why;
  const auto playlist = parseLivePlaylist(text, &why);
  ASSERT_TRUE(playlist) << why;
  EXPECT_DOUBLE_EQ(playlist->targetDuration, 2.0);
  ASSERT_EQ(playlist->segments.size(), 3u);
  EXPECT_EQ(playlist->segments[0].sequence, 41);
  EXPECT_EQ(playlist->segments[2].sequence, 43);
  EXPECT_EQ(playlist->segments[1].name, "42.ts");
  EXPECT_DOUBLE_EQ(playlist->segments[0].startTime, 1699999998.0);
  EXPECT_DOUBLE_EQ(playlist->segments[1].startTime, 1700000000.0);
  EXPECT_DOUBLE_EQ(playlist->segments[1].duration, 1.5);
  EXPECT_DOUBLE_EQ(playlist->segments[2].startTime, 1700000010.5);
  EXPECT_FALSE(playlist->ended);
}

TEST(LivePlaylistTest, RefusesWhatWouldLeadElsewhereOrCannotBeBounded) {
  const std::string head = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
  for (const std::string& bad : {
           head + "#EXTINF:2,\nhttps://elsewhere.example/1.ts\n",
           head + "#EXTINF:2,\n../../recordings/5001.mp4\n",
           head + "#EXTINF:2,\n/media/cameras/2/live/1.ts\n",
           head + "#EXTINF:2,\n.hidden.ts\n",
           head + "#EXT-X-KEY:METHOD=AES-128,URI=\"file:///etc/passwd\"\n#EXTINF:2,\n1.ts\n",
           head + "#EXT-X-STREAM-INF:BANDWIDTH=1\nother.m3u8\n",
           head + "#EXT-X-MAP:URI=\"init.mp4\"\n#EXTINF:2,\n1.ts\n",
           head + "1.ts\n",                          // no length
           head + "#EXTINF:3600,\n1.ts\n",           // a length no live segment has
           head + "#EXTINF:nan,\n1.ts\n",
           head + "#EXT-X-PROGRAM-DATE-TIME:yesterday\n#EXTINF:2,\n1.ts\n",
           std::string("#EXTINF:2,\n1.ts\n"),        // no header
           std::string("#EXTM3U\n#EXTINF:2,\n1.ts\n"),  // no target duration
           "#EXTM3U\n" + std::string(LivePlaylist::kMaxBytes, '#'),
       }) {
    std::string why;
    EXPECT_FALSE(parseLivePlaylist(bad, &why)) << bad.substr(0, 120);
    EXPECT_FALSE(why.empty());
  }
  std::string many = head;
  for (size_t i = 0; i <= LivePlaylist::kMaxSegments; ++i) many += "#EXTINF:2,\n" + std::to_string(i) + ".ts\n";
  EXPECT_FALSE(parseLivePlaylist(many));
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
  const int64_t largestSequence = std::numeric_limits<int64_t>::max() - static_cast<int64_t>(LivePlaylist::kMaxSegments);
  struct Row {
    const char* what;
    std::string text;
    bool accepted;
  };
  const Row rows[] = {
      {"64 KiB", padded(LivePlaylist::kMaxBytes), true},
      {"64 KiB and a byte", padded(LivePlaylist::kMaxBytes + 1), false},
      {"64 segments", head + segments(LivePlaylist::kMaxSegments), true},
      {"65 segments", head + segments(LivePlaylist::kMaxSegments + 1), false},
      {"a 30 s target", "#EXTM3U\n#EXT-X-TARGETDURATION:30\n" + segments(1), true},
      {"a 30.5 s target", "#EXTM3U\n#EXT-X-TARGETDURATION:30.5\n" + segments(1), false},
      {"a zero target", "#EXTM3U\n#EXT-X-TARGETDURATION:0\n" + segments(1), false},
      {"a 30 s segment", head + "#EXTINF:30,\n1.ts\n", true},
      {"a 30.5 s segment", head + "#EXTINF:30.5,\n1.ts\n", false},
      {"a 128-character name", head + "#EXTINF:2,\n" + std::string(125, 'a') + ".ts\n", true},
      {"a 129-character name", head + "#EXTINF:2,\n" + std::string(126, 'a') + ".ts\n", false},
      {"media sequence 0", head + "#EXT-X-MEDIA-SEQUENCE:0\n" + segments(1), true},
      {"a negative media sequence", head + "#EXT-X-MEDIA-SEQUENCE:-1\n" + segments(1), false},
      {"the largest media sequence", head + "#EXT-X-MEDIA-SEQUENCE:" + std::to_string(largestSequence) + "\n" +
                                         segments(LivePlaylist::kMaxSegments), true},
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
    const auto playlist = parseLivePlaylist(row.text, &why);
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

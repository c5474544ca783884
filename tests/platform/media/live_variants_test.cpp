// Reading a multivariant playlist as media servers and CDNs write one, and the variant a live view
// of a given size plays: one it can decode, the largest that fits, else the smallest; sound in a
// rendition of its own refused; every bound of a media playlist kept.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/media/live/live_playlist.h"
#include "platform/media/live/live_variants.h"

namespace dk::platform {
namespace {

constexpr const char* kLadderURL = "https://cdn.example/live/cam-2/index.m3u8?token=Ab%2Bc";

// ffmpeg's hls muxer with master_pl_name and var_stream_map, the addresses rewritten as a CDN
// signs them, plus an audio-only variant and one in codecs the view cannot decode.
const std::string kLadder =
    "#EXTM3U\n#EXT-X-VERSION:3\n"
    "#EXT-X-STREAM-INF:BANDWIDTH=6000000,RESOLUTION=1920x1080,CODECS=\"avc1.640028,mp4a.40.2\"\n"
    "1080p/index.m3u8?Expires=1700000000&Signature=AbC9%2Bx~yZ_-q\n"
    "#EXT-X-STREAM-INF:BANDWIDTH=2500000,RESOLUTION=1280x720,CODECS=\"avc1.64001f,mp4a.40.2\"\n"
    "720p/index.m3u8?Expires=1700000000&Signature=Zz%2F9~\n"
    "#EXT-X-STREAM-INF:BANDWIDTH=900000,RESOLUTION=640x360,CODECS=\"avc1.64001e,mp4a.40.2\"\n"
    "../cam-2-low/360p.m3u8\n"
    "#EXT-X-STREAM-INF:BANDWIDTH=8000000,RESOLUTION=1280x720,CODECS=\"av01.0.08M.08,ec-3\"\n"
    "av1/index.m3u8\n"
    "#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.2\"\n"
    "sound/index.m3u8\n";

TEST(LiveVariantsTest, ChoosesTheLargestVariantThatFitsTheViewElseTheSmallest) {
  std::string why;
  const auto ladder = parseMultivariantPlaylist(kLadder, kLadderURL, &why);
  ASSERT_TRUE(ladder) << why;
  ASSERT_EQ(ladder->variants.size(), 5u);
  EXPECT_EQ(ladder->variants[0].url,
            "https://cdn.example/live/cam-2/1080p/index.m3u8?Expires=1700000000&Signature=AbC9%2Bx~yZ_-q");
  EXPECT_EQ(ladder->variants[2].url, "https://cdn.example/live/cam-2-low/360p.m3u8");
  EXPECT_EQ(ladder->variants[1].width, 1280);
  EXPECT_EQ(ladder->variants[1].height, 720);
  EXPECT_EQ(ladder->variants[1].bandwidth, 2500000);
  // The 720p in AV1 is larger in bandwidth but cannot be decoded; the sound-only one has no picture.
  const struct {
    const char* what;
    int width, height;
    size_t chosen;  // of the variants as listed
  } rows[] = {
      {"a 1080p screen", 1920, 1080, 0},
      {"a 4K screen", 3840, 2160, 0},
      {"a phone's 750 x 1334 in portrait: 720p is too tall", 750, 1334, 2},
      {"1280 x 720 exactly", 1280, 720, 1},
      {"a pixel short of 720p", 1279, 720, 2},
      {"a thumbnail: nothing fits, the smallest", 320, 180, 2},
      {"a view not laid out yet", 0, 0, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const auto variant = chooseLiveVariant(*ladder, row.width, row.height, &why);
    ASSERT_TRUE(variant) << why;
    EXPECT_EQ(variant->url, ladder->variants[row.chosen].url);
  }
}

TEST(LiveVariantsTest, DecodesOnlyCodecsTheLiveDecoderHandlesAndNeedsAPicture) {
  const struct {
    const char* codecs;
    bool decodable;
  } rows[] = {
      {"avc1.64001f,mp4a.40.2", true}, {"avc3.4d401e", true},         {"hvc1.1.6.L93.B0", true},
      {"hev1.1.6.L93.B0, mp4a.40.5", true}, {"mp4v.20.8,mp4a.40.2", true}, {"AVC1.42E01E,Opus", true},
      {"avc1.640028,mp4a.40.29", true}, {"mp4a.40.2", false},          {"avc1.64001f,ec-3", false},
      {"avc1.64001f,ac-3", false},      {"avc1.64001f,mp4a.40.34", false}, {"av01.0.08M.08", false},
      {"vp09.00.10.08", false},         {"mp4v.21", false},            {"avc1x", false},
      {"", false},
  };
  for (const auto& row : rows) EXPECT_EQ(liveCodecsDecodable(row.codecs), row.decodable) << row.codecs;

  // Without CODECS a variant is taken as decodable; with none decodable the view cannot play.
  std::string why;
  const auto unsaid = parseMultivariantPlaylist("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n"
                                                "#EXT-X-STREAM-INF:BANDWIDTH=2\nb.m3u8\n",
                                                kLadderURL);
  ASSERT_TRUE(unsaid);
  const auto first = chooseLiveVariant(*unsaid, 1920, 1080);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->url, "https://cdn.example/live/cam-2/a.m3u8");  // none gives a size: the first listed
  const auto none = parseMultivariantPlaylist(
      "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1,RESOLUTION=640x360,CODECS=\"av01.0.08M.08\"\na.m3u8\n", kLadderURL);
  ASSERT_TRUE(none);
  EXPECT_FALSE(chooseLiveVariant(*none, 1920, 1080, &why));
  EXPECT_NE(why.find("codecs"), std::string::npos) << why;
}

// Sound in a rendition of its own (its own playlist beside the pictures') cannot be played with
// the pictures: the view refuses it, clearly; sound carried with the pictures plays.
TEST(LiveVariantsTest, SoundInARenditionOfItsOwnIsRefused) {
  const std::string variant =
      "#EXT-X-STREAM-INF:BANDWIDTH=900000,RESOLUTION=640x360,CODECS=\"avc1.64001e,mp4a.40.2\",AUDIO=\"aac\"\n"
      "360p/index.m3u8\n";
  const struct {
    const char* what;
    std::string renditions;
    bool plays;
  } rows[] = {
      {"its own playlist", "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aac\",NAME=\"en\",DEFAULT=YES,URI=\"sound/en.m3u8\"\n", false},
      {"two, each its own playlist",
       "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aac\",NAME=\"en\",URI=\"en.m3u8\"\n"
       "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aac\",NAME=\"fr\",URI=\"fr.m3u8\"\n",
       false},
      {"carried with the pictures", "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aac\",NAME=\"en\",DEFAULT=YES\n", true},
      {"another group's own playlist", "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"other\",NAME=\"en\",URI=\"en.m3u8\"\n", true},
      {"subtitles of their own", "#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"aac\",NAME=\"en\",URI=\"en.m3u8\"\n", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string why;
    const auto playlist = parseMultivariantPlaylist("#EXTM3U\n" + row.renditions + variant, kLadderURL, &why);
    ASSERT_TRUE(playlist) << why;
    const auto chosen = chooseLiveVariant(*playlist, 1920, 1080, &why);
    EXPECT_EQ(chosen.has_value(), row.plays) << why;
    if (!chosen) {
      EXPECT_EQ(why, "its sound comes in a separate rendition");
    }
  }
}

// Each bound of a media playlist holds for a multivariant one, and what would lead elsewhere is
// refused before anything is fetched.
TEST(LiveVariantsTest, KeepsEachBoundAndRefusesWhatLeadsElsewhere) {
  auto variants = [](size_t count) {
    std::string text = "#EXTM3U\n";
    for (size_t i = 0; i < count; ++i) text += "#EXT-X-STREAM-INF:BANDWIDTH=1\n" + std::to_string(i) + ".m3u8\n";
    return text;
  };
  auto renditions = [](size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"n\"\n";
    return text;
  };
  auto padded = [&](size_t size) {
    std::string text = variants(1);
    text += std::string(size - text.size() - 1, '#') + "\n";
    return text;
  };
  const std::string one = "#EXT-X-STREAM-INF:BANDWIDTH=1";
  const struct {
    const char* what;
    std::string text;
    bool accepted;
  } rows[] = {
      {"1 MiB", padded(LivePlaylist::kMaxBytes), true},
      {"1 MiB and a byte", padded(LivePlaylist::kMaxBytes + 1), false},
      {"64 variants", variants(LiveVariantPlaylist::kMaxVariants), true},
      {"65 variants", variants(LiveVariantPlaylist::kMaxVariants + 1), false},
      {"64 renditions", "#EXTM3U\n" + renditions(LiveVariantPlaylist::kMaxRenditions) + variants(1).substr(8), true},
      {"65 renditions", "#EXTM3U\n" + renditions(LiveVariantPlaylist::kMaxRenditions + 1) + variants(1).substr(8), false},
      {"16384 pixels wide", "#EXTM3U\n" + one + ",RESOLUTION=16384x16\na.m3u8\n", true},
      {"16385 pixels wide", "#EXTM3U\n" + one + ",RESOLUTION=16385x16\na.m3u8\n", false},
      {"a resolution that does not read", "#EXTM3U\n" + one + ",RESOLUTION=wide\na.m3u8\n", false},
      {"1024 characters of codecs", "#EXTM3U\n" + one + ",CODECS=\"" + std::string(1024, 'a') + "\"\na.m3u8\n", true},
      {"1025 characters of codecs", "#EXTM3U\n" + one + ",CODECS=\"" + std::string(1025, 'a') + "\"\na.m3u8\n", false},
      {"a negative bandwidth", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=-1\na.m3u8\n", false},
      {"a variant in the clear", "#EXTM3U\n" + one + "\nhttp://cdn.example/a.m3u8\n", false},
      {"a variant naming a user", "#EXTM3U\n" + one + "\n//me@cdn.example/a.m3u8\n", false},
      {"a variant elsewhere over https", "#EXTM3U\n" + one + "\nhttps://other.example/a.m3u8\n", true},
      {"a variant without an address", "#EXTM3U\n" + one + "\n", false},
      {"a variant whose address is another variant's", "#EXTM3U\n" + one + "\n" + one + "\na.m3u8\n", false},
      {"an address without a variant", "#EXTM3U\na.m3u8\n", false},
      {"no variants", "#EXTM3U\n#EXT-X-VERSION:3\n", false},
      {"no header", one + "\na.m3u8\n", false},
      {"segments as well", "#EXTM3U\n" + one + "\na.m3u8\n#EXTINF:2,\n1.ts\n", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string why;
    const auto playlist = parseMultivariantPlaylist(row.text, kLadderURL, &why);
    EXPECT_EQ(playlist.has_value(), row.accepted) << why;
    if (!playlist) {
      EXPECT_FALSE(why.empty());
    }
  }
  // A media playlist is not taken for a multivariant one, nor the other way round.
  EXPECT_TRUE(isMultivariantPlaylist(kLadder));
  EXPECT_TRUE(isMultivariantPlaylist("#EXTM3U\r\n#EXT-X-STREAM-INF:BANDWIDTH=1\r\na.m3u8\r\n"));
  EXPECT_FALSE(isMultivariantPlaylist("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n1.ts\n"));
  std::string why;
  EXPECT_FALSE(parseLivePlaylist(kLadder, kLadderURL, &why));
  EXPECT_EQ(why, "not a plain live media playlist");
}

}  // namespace
}  // namespace dk::platform

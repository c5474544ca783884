// Where a live stream's segments meet, with streams made by FFmpeg's own HLS muxer and playlists
// as a packager or CDN rewrites them: which time line a segment's pictures and sound take after a
// skip, a discontinuity or a jump in the encoder's times; a partial reply that is not the range
// asked for; and the bound on a segment's video packets.
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "live_hls_fixture.h"
#include "platform/media/live/live_segment_decoder.h"
#include "test_camera_streams.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

class LiveHlsJoinsTest : public LiveHlsTest {
 protected:
  // A segment as a playlist lists it: its number, its bytes (served as "s<number>.ts"), the tags
  // before it, and its date.
  struct Listed {
    int64_t sequence = 0;
    const std::string* bytes = nullptr;
    double date = 0;
    bool discontinuity = false;
    int64_t rangeOffset = -1;  // >= 0: listed as its length at this offset of its file
  };
  static std::string fileName(int64_t sequence) { return "s" + std::to_string(sequence) + ".ts"; }
  std::string playlist(const std::vector<Listed>& listed) const {
    std::string text = "#EXTM3U\n#EXT-X-VERSION:4\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:" +
                       std::to_string(listed.front().sequence) + "\n";
    for (const Listed& l : listed) {
      if (l.discontinuity) text += "#EXT-X-DISCONTINUITY\n";
      text += "#EXTINF:2.000000,\n#EXT-X-PROGRAM-DATE-TIME:" + Packager::date(l.date) + "\n";
      if (l.rangeOffset >= 0) {
        text += "#EXT-X-BYTERANGE:" + std::to_string(l.bytes->size()) + "@" + std::to_string(l.rangeOffset) + "\n";
      }
      text += fileName(l.sequence) + "\n";
    }
    return text;
  }

  // The times of the pictures shown, in turn.
  using Shown = std::vector<double>;
  // Joins at the first playlist's newest segment, plays, and publishes the next playlist every
  // 2 s, a second into each; `serveNew` serves each segment newly listed. Plays `seconds` in all.
  Shown playThrough(const std::vector<std::vector<Listed>>& playlists, double seconds,
                    const std::function<void(const Listed&)>& serveNew, ErrorPtr* error) {
    Shown shown;
    LiveStreamSource::Listener listener;
    listener.frame = [&](const ImagePtr&, double time) { shown.push_back(time); };
    listener.failed = [error](const ErrorPtr& e) { *error = e; };
    auto source = LiveStreamSource::create(cameraId, sim->baseUrl(), std::move(listener), {});
    int64_t served = -1;
    size_t published = 0;
    auto publish = [&] {
      for (const Listed& l : playlists[published]) {
        if (l.sequence > served) serveNew(l);
        served = std::max(served, l.sequence);
      }
      servePlaylist(playlist(playlists[published++]));
    };
    publish();
    source->start();
    EXPECT_TRUE(MainRunLoop::runUntilIdle());
    source->setPlaying(true);
    for (int i = 1; i <= static_cast<int>(seconds / 0.04); ++i) {
      if (i % 50 == 25 && published < playlists.size()) publish();
      clock.advance(0.04);
    }
    source->stop();
    return shown;
  }
};

// After segments skipped, at a discontinuity, or at a jump in the encoder's times, a segment's
// pictures take the time line they belong on: the playlist's time where the stream starts anew,
// the time right after the segment before where only its times jumped far, and its own times
// where they go on within a couple of seconds (a short gap in the camera's recording).
TEST_F(LiveHlsJoinsTest, AfterASkipADiscontinuityOrAJumpInTimesPicturesTakeTheTimeLineTheyBelongOn) {
  // The same pictures three times over, the encoder's clock starting at 1 s, 11 s and 2 s.
  auto startingAt = [&](double seconds) {
    startOver();
    TestHlsOptions options = tenASecond("");
    options.startSeconds = seconds;
    return makeStream(options);
  };
  const TestHls a = startingAt(1), jumped = startingAt(11), gap = startingAt(2);
  auto file = [](const TestHls& hls, int k) { return &hls.files.at("index" + std::to_string(k) + ".ts"); };
  const double d0 = platform::now() - 2;  // segment 0 has just been written
  auto at = [&](int64_t sequence, const TestHls& hls, int k, double date, bool discontinuity = false) {
    return Listed{sequence, file(hls, k), date, discontinuity};
  };
  const Listed s0 = at(0, a, 0, d0), s1 = at(1, a, 1, d0 + 2);
  struct Row {
    const char* what;
    std::vector<std::vector<Listed>> playlists;
    double expected;  // the time of the picture after segment 1's last (d0 + 3.9)
  };
  const Row rows[] = {
      {"two segments skipped (the view fell behind)",
       {{s0}, {s0, s1}, {at(4, a, 0, d0 + 8), at(5, a, 1, d0 + 10)}},
       d0 + 8},
      {"a discontinuity, the camera off for 6 s", {{s0}, {s0, s1}, {s0, s1, at(2, a, 2, d0 + 10, true)}}, d0 + 10},
      {"the encoder's times 10 s on, no discontinuity", {{s0}, {s0, s1}, {s0, s1, at(2, jumped, 2, d0 + 4)}}, d0 + 4},
      {"the encoder's times 1 s on, no discontinuity", {{s0}, {s0, s1}, {s0, s1, at(2, gap, 2, d0 + 4)}}, d0 + 5},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    startOver();
    ErrorPtr error;
    const Shown shown = playThrough(row.playlists, 14.0, [&](const Listed& l) {
      serve(livePath(fileName(l.sequence)), *l.bytes, "video/mp2t");
    }, &error);
    ASSERT_FALSE(error) << error->description();
    // Segments 0 and 1 in turn, then the one looked at, and on at ten pictures a second.
    ASSERT_GE(shown.size(), 40u + 15u);
    EXPECT_NEAR(shown.front(), d0, 1e-3);
    EXPECT_NEAR(shown[39], d0 + 3.9, 1e-3);
    EXPECT_NEAR(shown[40], row.expected, 1e-3);
    for (size_t i = 1; i < shown.size(); ++i) {
      if (i != 40) {
        EXPECT_NEAR(shown[i] - shown[i - 1], 0.1, 1e-3) << i;
      }
    }
  }
}

// Each segment a byte range of its own file. A partial reply is used only when its Content-Range
// starts where the range asked for does; any other (starting elsewhere, or not saying) fails that
// segment alone, and the stream goes on from the next.
TEST_F(LiveHlsJoinsTest, APartialReplyOfAnotherRangeFailsItsSegmentAlone) {
  const TestHls hls = makeStream(tenASecond(""));
  constexpr int64_t kOffset = 1000;
  std::vector<std::string> bytes;
  for (int k = 0; k < 4; ++k) bytes.push_back(hls.files.at("index" + std::to_string(k) + ".ts"));
  const double d0 = platform::now() - 2;
  std::vector<Listed> all;
  for (int k = 0; k < 4; ++k) all.push_back({k, &bytes[static_cast<size_t>(k)], d0 + 2 * k, false, kOffset});
  const std::vector<std::vector<Listed>> playlists = {{all[0]}, {all[0], all[1]}, {all[0], all[1], all[2]}, all};
  const int64_t length = static_cast<int64_t>(bytes[1].size());
  const std::string size = "/" + std::to_string(kOffset + length);
  const std::string asked = "bytes=" + std::to_string(kOffset) + "-" + std::to_string(kOffset + length - 1);
  const struct {
    std::string contentRange;  // of the 206 for segment 1, its body that segment's bytes; "" for none
    bool plays;
  } rows[] = {
      {"bytes 1000-" + std::to_string(kOffset + length - 1) + size, true},
      {"bytes 0-" + std::to_string(length - 1) + size, false},
      {"bytes 1001-" + std::to_string(kOffset + length) + size, false},
      {"", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.contentRange.empty() ? "no Content-Range" : row.contentRange);
    startOver();
    ErrorPtr error;
    const Shown shown = playThrough(playlists, 9.0, [&](const Listed& l) {
      cloudsim::FaultRule rule = cloudsim::FaultRule::failWith(livePath(fileName(l.sequence)), 200,
                                                               std::string(kOffset, '\x47') + *l.bytes);
      rule.contentType = "video/mp2t";
      rule.times = -1;
      rule.headers = {{"Accept-Ranges", "bytes"}};  // the server cuts the range asked for
      if (l.sequence == 1) {
        rule.status = 206;
        rule.body = *l.bytes;
        rule.headers.clear();
        if (!row.contentRange.empty()) rule.headers = {{"Content-Range", row.contentRange}};
      }
      sim->addFault(rule);
    }, &error);
    ASSERT_FALSE(error) << error->description();
    const auto within = [&](double from) {
      return std::count_if(shown.begin(), shown.end(), [&](double t) { return t >= from - 1e-6 && t < from + 2 - 1e-6; });
    };
    EXPECT_EQ(within(d0), 20);
    EXPECT_EQ(within(d0 + 2), row.plays ? 20 : 0);
    EXPECT_EQ(within(d0 + 4), 20) << "the stream goes on";
    EXPECT_EQ(sim->requestsTo(livePath(fileName(1))).size(), 1u);
    EXPECT_EQ(sim->requestsTo(livePath(fileName(1))).front().header("Range"), asked);
  }
}

// A segment whose sound starts before its first picture that decodes (joined between key
// frames): its sound is not given out before that picture, and is then timed from it, so that
// sound and pictures stay together as they were when the stream was decoded from its start.
TEST_F(LiveHlsJoinsTest, SoundBeforeTheFirstPictureIsHeldAndTimedFromThatPicture) {
  CameraStreamOptions options;
  options.container = "hls";
  options.seconds = 6;
  options.keySeconds = 3;  // the second segment's key frame a second into it
  options.hlsFlags = "split_by_time";
  std::string why;
  const std::vector<std::string> segments = writeCameraStream(folder.path().string(), options, &why);
  ASSERT_EQ(segments.size(), 3u) << why;
  auto input = [&](size_t k, double start, bool anew) {
    return LiveSegmentInput{nullptr,
                            std::make_shared<const std::string>(segments[k]),
                            start,
                            static_cast<int64_t>(k),
                            anew,
                            LivePictureLimits::segmentBudget(2),
                            LiveSoundLimits::segmentBudget(2)};
  };
  struct Decoded {
    std::vector<double> pictures;  // of the segment looked at
    std::vector<LiveSegmentSound> sound;
  };
  // Decodes up to segment 1, from segment `from`; what segment 1 gave.
  auto decode = [&](size_t from, bool* heldBeforePicture) {
    Decoded out;
    LiveSegmentDecoder decoder;
    for (size_t k = from; k <= 1; ++k) {
      std::string failure;
      EXPECT_TRUE(decoder.add(input(k, 100 + 2.0 * static_cast<double>(k), k == from), &failure)) << failure;
      if (k == 1 && heldBeforePicture) *heldBeforePicture = decoder.takeSound().empty();
      LiveSegmentFrame frame;
      while (decoder.next(frame) == LiveSegmentDecoder::Step::Picture) {
        if (k == 1) out.pictures.push_back(frame.offset);
        for (auto& s : decoder.takeSound()) {
          if (k == 1) out.sound.push_back(std::move(s));
        }
      }
      for (auto& s : decoder.takeSound()) {
        if (k == 1) out.sound.push_back(std::move(s));
      }
    }
    return out;
  };
  const Decoded whole = decode(0, nullptr);
  bool held = false;
  const Decoded joined = decode(1, &held);
  EXPECT_TRUE(held) << "sound given out before the picture that places it";
  ASSERT_FALSE(joined.pictures.empty());
  ASSERT_GT(whole.pictures.size(), joined.pictures.size());
  EXPECT_NEAR(joined.pictures.front(), 102.0, 1e-3);  // where the segment starts
  // The same picture, decoded from the stream's start and joined: the line moved by `moved`.
  const double moved = joined.pictures.front() - whole.pictures[whole.pictures.size() - joined.pictures.size()];
  EXPECT_NEAR(moved, -1.0, 0.05);  // the key frame is a second into the segment
  ASSERT_FALSE(whole.sound.empty());
  ASSERT_EQ(joined.sound.size(), whole.sound.size());
  for (size_t i = 0; i < joined.sound.size(); ++i) {
    EXPECT_NEAR(joined.sound[i].offset, whole.sound[i].offset + moved, 1e-3) << i;
    EXPECT_EQ(joined.sound[i].samples.size(), whole.sound[i].samples.size()) << i;
  }
}

// A segment may hold two video packets for each picture it may make (MPEG-TS packs a picture in
// one, at most a field in each of two); one more is refused before anything is decoded.
TEST_F(LiveHlsJoinsTest, ASegmentWithMoreVideoPacketsThanTheBoundIsRefused) {
  const int bound = static_cast<int>(LivePictureLimits::kMaxFrames * 2);
  for (const int packets : {bound, bound + 1}) {
    SCOPED_TRACE(std::to_string(packets) + " packets");
    TestVideoOptions tiny;
    tiny.encoder = "mpeg4";
    tiny.container = "mpegts";
    tiny.width = 16;
    tiny.height = 16;
    tiny.bFrames = 0;
    tiny.fps = 100;
    tiny.gop = 100;
    tiny.frames = packets;
    const std::string path = (folder.path() / ("tiny" + std::to_string(packets) + ".ts")).string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, tiny, &why)) << why;
    ASSERT_EQ(samplesOf(path).size(), static_cast<size_t>(packets));
    LiveSegmentDecoder decoder;
    std::string failure;
    const bool added = decoder.add({nullptr, std::make_shared<const std::string>(readFile(path)), 0, 0, true,
                                    LivePictureLimits::segmentBudget(12), LiveSoundLimits::segmentBudget(12)},
                                   &failure);
    EXPECT_EQ(added, packets <= bound) << failure;
    if (!added) {
      EXPECT_EQ(failure, "a picture out of bounds");
    }
  }
}

}  // namespace
}  // namespace dk::platform::test
